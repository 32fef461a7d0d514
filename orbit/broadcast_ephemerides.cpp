#include "orbit/broadcast_ephemerides.hpp"

#include <algorithm>
#include <cmath>

#include "gnss/gps_time.hpp"

void BroadcastEphemerides::Add(int prn, const EphemerisRecord& record) {
    if (prn >= 1 && prn <= kMaxPrn) {
        byPrn_[static_cast<std::size_t>(prn)].push_back(record);
    }
}

const EphemerisRecord* BroadcastEphemerides::Nearest(int prn, double time) const {
    if (prn < 1 || prn > kMaxPrn) {
        return nullptr;
    }
    const EphemerisRecord* best = nullptr;
    double bestAge = kMaxAge;
    for (const EphemerisRecord& r : byPrn_[static_cast<std::size_t>(prn)]) {
        // The difference taken into -half week .. +half week.
        const double age = std::fabs(std::remainder(time - r.toe, kSecondsPerWeek));
        if (age < bestAge || (best == nullptr && age <= bestAge)) {
            best = &r;
            bestAge = age;
        }
    }
    return best;
}

std::size_t BroadcastEphemerides::Count() const {
    std::size_t count = 0;
    for (const auto& records : byPrn_) {
        count += records.size();
    }
    return count;
}

double BroadcastEphemerides::MedianToe() const {
    std::vector<double> toes;
    for (const auto& records : byPrn_) {
        for (const EphemerisRecord& r : records) {
            toes.push_back(r.toe);
        }
    }
    std::sort(toes.begin(), toes.end());
    return toes.empty() ? 0.0 : toes[toes.size() / 2];
}
