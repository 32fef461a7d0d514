#include "tools/sim/navigation_ephemerides.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "formats/rinex/rinex_navigation.hpp"
#include "gnss/gps_time.hpp"

namespace {

// Difference of two times of week, taken into -half week .. +half week.
double WeekDifference(double a, double b) {
    return std::remainder(a - b, kSecondsPerWeek);
}

}  // namespace

bool NavigationEphemerides::Load(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a directory, not a navigation file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the navigation file";
        return false;
    }
    RinexError parseError;
    const std::optional<RinexNavigationFile> file = ReadRinexNavigation(in, parseError);
    if (!file) {
        error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
        return false;
    }
    for (const RinexEphemeris& r : file->records) {
        if (r.health != 0.0 || r.prn < 1 || r.prn > kMaxPrn) {
            continue;
        }
        byPrn_[static_cast<std::size_t>(r.prn)].push_back(ToEphemerisRecord(r));
    }
    if (HealthyRecordCount() == 0) {
        error = path + ": holds no healthy GPS ephemeris";
        return false;
    }
    return true;
}

std::optional<EphemerisRecord> NavigationEphemerides::Ephemeris(int prn, double time) const {
    if (prn < 1 || prn > kMaxPrn) {
        return std::nullopt;
    }
    const EphemerisRecord* best = nullptr;
    double bestAge = kMaxAge;
    // Ties go to the record that comes first in the file.
    for (const EphemerisRecord& r : byPrn_[static_cast<std::size_t>(prn)]) {
        const double age = std::fabs(WeekDifference(time, r.toe));
        if (age < bestAge || (best == nullptr && age <= bestAge)) {
            best = &r;
            bestAge = age;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}

double NavigationEphemerides::DefaultStart() const {
    std::vector<double> toes;
    for (const auto& records : byPrn_) {
        for (const EphemerisRecord& r : records) {
            toes.push_back(r.toe);
        }
    }
    std::sort(toes.begin(), toes.end());
    return toes.empty() ? 0.0 : toes[toes.size() / 2];
}

std::size_t NavigationEphemerides::HealthyRecordCount() const {
    std::size_t count = 0;
    for (const auto& records : byPrn_) {
        count += records.size();
    }
    return count;
}
