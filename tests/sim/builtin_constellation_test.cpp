#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "orbit/satellite_position.hpp"
#include "tools/sim/builtin_constellation.hpp"

namespace {

using orbit_constants::kPi;

// Fields of the packed record are copied out: the test macros take references.
template <typename T>
T Value(T field) {
    return field;
}

TEST(BuiltinConstellation, ThirtyOneSatellitesInSixPlanes) {
    BuiltinConstellation c;
    EXPECT_FALSE(c.Ephemeris(0, 345600.0));
    EXPECT_FALSE(c.Ephemeris(32, 345600.0));
    std::set<long> planes;
    for (int prn = 1; prn <= 31; ++prn) {
        const auto eph = c.Ephemeris(prn, 345600.0);
        ASSERT_TRUE(eph) << prn;
        EXPECT_EQ(Value(eph->prn), prn - 1);
        EXPECT_NEAR(Value(eph->i0) * 180.0, 55.0, 0.01);
        EXPECT_GT(Value(eph->e), 0.001);
        EXPECT_LT(Value(eph->e), 0.02);
        EXPECT_NEAR(Value(eph->rootA) * Value(eph->rootA), 26559.7e3, 1.0);
        EXPECT_EQ(Value(eph->toe), 345600);
        EXPECT_EQ(Value(eph->toc), Value(eph->toe));
        // Clocks within a millisecond and drifting, as real ones do.
        EXPECT_LT(std::fabs(Value(eph->af0)), 1e-3f);
        EXPECT_NE(Value(eph->af0), 0.0f);
        EXPECT_NE(Value(eph->af1), 0.0f);
        // Same toe for all: the node longitudes of one plane coincide.
        planes.insert(std::lround(Value(eph->omega0) * 180.0));
    }
    ASSERT_EQ(planes.size(), 6u);
    std::vector<long> sorted(planes.begin(), planes.end());
    for (std::size_t k = 1; k < sorted.size(); ++k) {
        EXPECT_EQ(sorted[k] - sorted[k - 1], 60);
    }
}

TEST(BuiltinConstellation, AFreshEphemerisEveryTwoHoursWithoutAJump) {
    BuiltinConstellation c;
    for (int prn : {1, 9, 31}) {
        // The ephemeris changes half-way between reference times.
        const double change = 345600.0 + 3600.0;
        const EphemerisRecord before = *c.Ephemeris(prn, change - 0.5);
        const EphemerisRecord after = *c.Ephemeris(prn, change + 0.5);
        EXPECT_EQ(Value(before.toe), 345600);
        EXPECT_EQ(Value(after.toe), 352800);
        const SatelliteSolution a = SolveSatellitePosition(before, change);
        const SatelliteSolution b = SolveSatellitePosition(after, change);
        EXPECT_LT(std::hypot(a.position.x - b.position.x, a.position.y - b.position.y,
                             a.position.z - b.position.z),
                  0.05);
        EXPECT_NEAR(a.clockOffset, b.clockOffset, 1e-10);
    }
}

TEST(BuiltinConstellation, ContinuesIntoTheNextWeek) {
    BuiltinConstellation c;
    // The last reference time of week 0 and the first of week 1 (toe 0 again).
    const double change = 604800.0 - 3600.0;
    const EphemerisRecord before = *c.Ephemeris(4, change - 0.5);
    const EphemerisRecord after = *c.Ephemeris(4, change + 0.5);
    EXPECT_EQ(Value(before.toe), 597600);
    EXPECT_EQ(Value(after.toe), 0);
    // Seconds of week of the change instant, as the receiver and the tool see it.
    const SatelliteSolution a = SolveSatellitePosition(before, change);
    const SatelliteSolution b = SolveSatellitePosition(after, change);
    EXPECT_LT(std::hypot(a.position.x - b.position.x, a.position.y - b.position.y,
                         a.position.z - b.position.z),
              0.05);
}

}  // namespace
