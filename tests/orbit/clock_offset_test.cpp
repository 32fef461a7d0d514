// The satellite clock offset on its own: positions alone cannot show a wrong group-delay sign or
// a missing relativistic term (about 0.15 mm), so the offset is checked term by term.
#include <cmath>

#include <gtest/gtest.h>

#include "orbit/satellite_position.hpp"

namespace {

using orbit_constants::kF;
using orbit_constants::kPi;

EphemerisRecord Base() {
    EphemerisRecord e{};
    e.rootA = 5153.6;
    e.toe = 345600;
    e.toc = 345600;
    e.i0 = 0.3;
    return e;
}

TEST(ClockOffset, GroupDelayIsSubtracted) {
    EphemerisRecord eph = Base();
    eph.tgd = -1.7229468e-8f;
    const SatelliteSolution s = SolveSatellitePosition(eph, 346000.0);
    EXPECT_EQ(s.clockOffset, -static_cast<double>(eph.tgd));
    EXPECT_EQ(s.correctedTime, 346000.0 + static_cast<double>(eph.tgd));
}

TEST(ClockOffset, ClockPolynomialInTimeFromToc) {
    EphemerisRecord eph = Base();
    eph.af0 = 2.69108917564e-4f;
    eph.af1 = 3.18323145621e-12f;
    eph.af2 = 1.0e-18f;
    const double dt = 349000.0 - 345600.0;
    const double expected = static_cast<double>(eph.af0) + static_cast<double>(eph.af1) * dt +
                            static_cast<double>(eph.af2) * dt * dt;
    const SatelliteSolution s = SolveSatellitePosition(eph, 349000.0);
    EXPECT_NEAR(s.clockOffset, expected, 1e-18);
    EXPECT_EQ(s.correctedTime, 349000.0 - s.clockOffset);
}

TEST(ClockOffset, RelativisticTermUsesTheEccentricAnomalyOfTheUncorrectedTime) {
    // At t = toe the mean anomaly is m0 pi; choose it so that E1 = pi/2 exactly solves Kepler's
    // equation, then the term is F e rootA.
    EphemerisRecord eph = Base();
    eph.e = 0.01;
    eph.m0 = (kPi / 2 - eph.e) / kPi;
    eph.af0 = 1e-3f;  // a large offset: the second pass must not feed back into the term
    const SatelliteSolution s = SolveSatellitePosition(eph, 345600.0);
    const double relativistic = kF * eph.e * eph.rootA;
    EXPECT_NEAR(s.clockOffset, static_cast<double>(eph.af0) + relativistic, 1e-17);
    ASSERT_GT(std::fabs(relativistic), 2e-8);  // the term is worth checking at this tolerance
}

}  // namespace
