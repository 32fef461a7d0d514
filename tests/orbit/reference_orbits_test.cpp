// The orbit computation against reference positions: cases computed independently from the
// same broadcast ephemerides (to 1 mm), and the precise orbits of the same day (a few metres).
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "formats/rinex/rinex_navigation.hpp"
#include "orbit/satellite_position.hpp"
#include "tests/support/reference_data.hpp"

namespace {

TEST(ReferenceOrbits, IndependentCasesWithinOneMillimetre) {
    SATLOG_REQUIRE_REFERENCE("oracle-cases.csv");
    SATLOG_REQUIRE_REFERENCE("oracle-ephemerides.csv");
    std::map<std::pair<int, double>, EphemerisRecord> ephemerides;
    for (const OracleEphemeris& o : LoadOracleEphemerides()) {
        ephemerides[{o.prn, o.toe}] = o.record;
    }
    const std::vector<OracleCase> cases = LoadOracleCases();
    ASSERT_EQ(cases.size(), 206u);
    double worst = 0.0;
    for (const OracleCase& c : cases) {
        const auto it = ephemerides.find({c.prn, c.toe});
        ASSERT_NE(it, ephemerides.end()) << c.prn << " " << c.toe;
        const SatellitePosition p = ComputeSatellitePosition(it->second, c.transmitTime);
        const double error = std::hypot(p.x - c.x, p.y - c.y, p.z - c.z);
        worst = std::max(worst, error);
        EXPECT_LT(error, 1e-3) << "PRN " << c.prn << " toe " << c.toe << " t " << c.transmitTime;
    }
    RecordProperty("worst_error_m", std::to_string(worst));
}

// Broadcast ephemerides of one PRN with their clock epoch, for choosing the nearest in time.
struct Candidate {
    EphemerisRecord record;
    double toe;
};

// A record is trusted when it agrees with the other records of its satellite. One record of the
// day is labelled with the wrong satellite number and flies another satellite's orbit.
bool AgreesWithItsNeighbours(const Candidate& c, const std::vector<Candidate>& all) {
    int compared = 0;
    for (const Candidate& other : all) {
        if (&other == &c || std::fabs(other.toe - c.toe) > 4 * 3600.0) {
            continue;
        }
        const SatellitePosition a = ComputeSatellitePosition(c.record, c.toe);
        const SatellitePosition b = ComputeSatellitePosition(other.record, c.toe);
        if (std::hypot(a.x - b.x, a.y - b.y, a.z - b.z) > 1000.0) {
            return false;
        }
        ++compared;
    }
    return compared > 0;
}

TEST(ReferenceOrbits, BroadcastAgreesWithPreciseOrbitsOverTheDay) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    SATLOG_REQUIRE_REFERENCE("igs15904.sp3");
    const RinexNavigationFile nav = LoadNavigation("brdc1820.10n");
    std::map<int, std::vector<Candidate>> all;
    for (const RinexEphemeris& r : nav.records) {
        all[r.prn].push_back({ToEphemerisRecord(r), r.toe});
    }
    std::map<int, std::vector<Candidate>> healthy;
    for (const RinexEphemeris& r : nav.records) {
        if (r.health == 0) {
            healthy[r.prn].push_back({ToEphemerisRecord(r), r.toe});
        }
    }
    for (auto& [prn, list] : healthy) {
        std::erase_if(
            list, [&, p = prn](const Candidate& c) { return !AgreesWithItsNeighbours(c, all[p]); });
    }

    double sumSquares = 0.0, worst = 0.0;
    int count = 0;
    for (const PreciseOrbitPoint& truth : LoadPreciseOrbits("igs15904.sp3")) {
        const auto it = healthy.find(truth.prn);
        if (it == healthy.end()) {
            continue;
        }
        const Candidate* best = nullptr;
        for (const Candidate& c : it->second) {
            const double distance = std::fabs(c.toe - truth.secondsOfWeek);
            if (distance <= 7200.0 &&
                (best == nullptr || distance < std::fabs(best->toe - truth.secondsOfWeek))) {
                best = &c;
            }
        }
        if (best == nullptr) {
            continue;
        }
        // The precise orbit is at system time T: transmit at t with t - dtsv(t) = T.
        const double dtsv = SolveSatellitePosition(best->record, truth.secondsOfWeek).clockOffset;
        const SatellitePosition p =
            ComputeSatellitePosition(best->record, truth.secondsOfWeek + dtsv);
        const double error = std::hypot(p.x - truth.x, p.y - truth.y, p.z - truth.z);
        sumSquares += error * error;
        worst = std::max(worst, error);
        ++count;
    }
    const double rms = std::sqrt(sumSquares / count);
    RecordProperty("comparisons", count);
    RecordProperty("rms_m", std::to_string(rms));
    RecordProperty("worst_m", std::to_string(worst));
    std::printf("broadcast vs precise: %d comparisons, RMS %.3f m, worst %.3f m\n", count, rms,
                worst);
    EXPECT_GE(count, 2800);
    EXPECT_LE(rms, 2.5);
    EXPECT_LT(worst, 10.0);
}

}  // namespace
