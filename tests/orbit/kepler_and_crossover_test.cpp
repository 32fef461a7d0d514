// Kepler's equation, the week crossovers and the properties of the position computation.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "gnss/physical_constants.hpp"
#include "orbit/satellite_position.hpp"
#include "orbit/sine_cosine.hpp"

namespace {

// n Newton updates of Kepler's equation from E = M, with no stop rule, on the orbit code's own
// sine and cosine (where the updates do not settle, another sine's last bit sends them elsewhere).
double NewtonUpdates(double m, double e, int n) {
    double E = m;
    for (int k = 0; k < n; ++k) {
        const SineCosine sc = SinCos(E);
        E = E + (m + e * sc.sin - E) / (1.0 - e * sc.cos);
    }
    return E;
}

TEST(SolveKepler, CircularOrbitStopsAtTheFirstUpdate) {
    for (double m : {0.0, 0.5, -2.0, 3.0, 100.0}) {
        EXPECT_EQ(SolveKepler(m, 0.0), m);
    }
}

TEST(SolveKepler, SolvesTheEquationForOrbitalEccentricities) {
    for (double e : {0.001, 0.01, 0.02, 0.3, 0.7}) {
        for (double m = -3.0; m <= 3.0; m += 0.25) {
            const double E = SolveKepler(m, e);
            EXPECT_NEAR(E - e * std::sin(E), m, 1e-12) << "e=" << e << " M=" << m;
        }
    }
}

TEST(SolveKepler, ReturnsTheLatestUpdateNotThePreviousOne) {
    // Converges in a few updates: the result is the update whose change fell below the
    // tolerance, which is closer to the root than its predecessor.
    const double m = 1.0, e = 0.3;
    double previous = m, latest = m;
    int updates = 0;
    while (true) {
        previous = latest;
        latest = NewtonUpdates(m, e, ++updates);
        if (std::fabs(latest - previous) < 1e-8) {
            break;
        }
    }
    ASSERT_GT(updates, 2);
    EXPECT_EQ(SolveKepler(m, e), latest);
}

TEST(SolveKepler, StopsAfterTwentyUpdatesWhenTheToleranceIsNeverMet) {
    // Far outside orbital eccentricities Newton's method does not settle: the result must be
    // the 20th update exactly, neither the 19th nor the 21st.
    const double m = 1.0, e = 5.0;
    const double u19 = NewtonUpdates(m, e, 19), u20 = NewtonUpdates(m, e, 20),
                 u21 = NewtonUpdates(m, e, 21);
    ASSERT_GE(std::fabs(u20 - u19), 1e-8);
    ASSERT_NE(u20, u21);
    EXPECT_EQ(SolveKepler(m, e), u20);
}

TEST(SolveKepler, NotANumberEndsTheIteration) {
    EXPECT_TRUE(std::isnan(SolveKepler(std::nan(""), 0.01)));
}

// An ephemeris with no clock terms and a circular orbit, so that tk = t - toe exactly.
EphemerisRecord Circular(std::int32_t toe, std::int32_t toc) {
    EphemerisRecord e{};
    e.rootA = 5153.6;
    e.e = 0.0;
    e.i0 = 0.3;
    e.omega0 = 0.2;
    e.toe = toe;
    e.toc = toc;
    return e;
}

TEST(WeekCrossover, StrictAtHalfAWeek) {
    const EphemerisRecord eph = Circular(0, 0);
    EXPECT_EQ(SolveSatellitePosition(eph, 302400.0).tk, 302400.0);
    EXPECT_EQ(SolveSatellitePosition(eph, 302400.5).tk, -302399.5);
    EXPECT_EQ(SolveSatellitePosition(eph, -302400.0).tk, -302400.0);
    EXPECT_EQ(SolveSatellitePosition(eph, -302400.5).tk, 302399.5);
}

TEST(WeekCrossover, TimeItselfMovesRelativeToToc) {
    // transmitTime - toc = 400000: t is lowered by a week before the clock polynomial, so
    // dt = -204800, and the corrected time and the second tk come from the lowered t.
    EphemerisRecord eph = Circular(0, 0);
    eph.af1 = 1e-9f;
    const SatelliteSolution s = SolveSatellitePosition(eph, 400000.0);
    const double expectedOffset = static_cast<double>(eph.af1) * -204800.0;
    EXPECT_DOUBLE_EQ(s.clockOffset, expectedOffset);
    EXPECT_EQ(s.correctedTime, (400000.0 - 604800.0) - s.clockOffset);
    EXPECT_EQ(s.tk, s.correctedTime - 0.0);  // within half a week of toe: no second crossover

    // toc on one side of the week boundary, toe on the other: only the tk crossover applies
    // to the time from toe.
    EphemerisRecord late = Circular(604000, 100);
    const SatelliteSolution l = SolveSatellitePosition(late, 500.0);
    EXPECT_EQ(l.correctedTime, 500.0);
    EXPECT_EQ(l.tk, 500.0 - 604000.0 + 604800.0);
}

TEST(SatellitePositionProperties, NoClockTermsGiveOneEvaluationAtTheTransmitTime) {
    const EphemerisRecord eph = Circular(345600, 345600);
    const SatelliteSolution s = SolveSatellitePosition(eph, 347000.25);
    EXPECT_EQ(s.clockOffset, 0.0);
    EXPECT_EQ(s.correctedTime, 347000.25);
    EXPECT_EQ(s.tk, 347000.25 - 345600.0);
    // Circular orbit, no corrections: the radius is A.
    const double r = std::hypot(s.position.x, s.position.y, s.position.z);
    EXPECT_NEAR(r, 5153.6 * 5153.6, 1e-6);
}

TEST(SatellitePositionProperties, RadiusMatchesTheOrbitAfterRotation) {
    // With e = 0 the radius is A + crs sin 2u0 + crc cos 2u0, independent of inclination and node.
    EphemerisRecord eph = Circular(345600, 345600);
    eph.crc = 250.0f;
    eph.i0 = 0.31;
    eph.omegaDot = -2.6e-9f;
    eph.iDot = 1e-11f;
    eph.omega = 0.0;
    const SatelliteSolution s = SolveSatellitePosition(eph, 345600.0);  // tk = 0, M = 0: u = 0
    EXPECT_NEAR(std::hypot(s.position.x, s.position.y, s.position.z), 5153.6 * 5153.6 + 250.0,
                1e-6);
}

TEST(SatellitePositionProperties, ArgumentsUnchangedAndResultsRepeatable) {
    EphemerisRecord eph = Circular(345600, 345600);
    eph.e = 0.012;
    eph.af0 = 3e-4f;
    eph.tgd = -1.7e-8f;
    const EphemerisRecord copy = eph;
    double t = 350000.5;
    const SatellitePosition a = ComputeSatellitePosition(eph, t);
    const SatellitePosition b = ComputeSatellitePosition(eph, t);
    EXPECT_EQ(0, std::memcmp(&eph, &copy, sizeof eph));
    EXPECT_EQ(t, 350000.5);
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
}

TEST(SatellitePositionProperties, KeplerAtItsLimitGivesThePositionAndClockOfTheReturnedE) {
    // A corrupt eccentricity near 1 keeps Newton's method from settling for some mean anomalies.
    // Wherever both solutions end at the limit, the radius and the relativistic clock term must
    // still be those of the eccentric anomalies returned, not of their predecessors.
    using namespace orbit_constants;
    EphemerisRecord eph = Circular(345600, 345600);
    eph.e = 0.992;
    const double a = eph.rootA * eph.rootA;
    const double n = std::sqrt(kEarthGravitationalParameter / (a * a * a));
    const auto atLimit = [&](double m) {
        return std::fabs(NewtonUpdates(m, eph.e, 20) - NewtonUpdates(m, eph.e, 19)) >= 1e-8;
    };
    int limitCases = 0;
    for (int k = 0; k < 400; ++k) {
        eph.m0 = -0.1445 + 1e-5 * k;  // semicircles; toe = transmit time: the first tk is 0
        const double m1 = eph.m0 * kPi;
        const SatelliteSolution s = SolveSatellitePosition(eph, 345600.0);
        const double m2 = m1 + n * s.tk;
        if (!atLimit(m1) || !atLimit(m2)) {
            continue;
        }
        ++limitCases;
        const double clockOffset = kF * eph.e * eph.rootA * SinCos(SolveKepler(m1, eph.e)).sin;
        EXPECT_NEAR(s.correctedTime, 345600.0 - clockOffset, 1e-12) << "m0=" << eph.m0;
        const double radius = a * (1.0 - eph.e * SinCos(SolveKepler(m2, eph.e)).cos);
        EXPECT_NEAR(std::hypot(s.position.x, s.position.y, s.position.z), radius, 1e-6)
            << "m0=" << eph.m0;
    }
    EXPECT_GE(limitCases, 10);
}

TEST(SatellitePositionProperties, DegenerateEphemerisYieldsNotANumber) {
    const EphemerisRecord good = Circular(345600, 345600);
    EphemerisRecord zeroOrbit = good;
    zeroOrbit.rootA = 0.0;
    EphemerisRecord parabola = good;
    parabola.e = 1.0;
    EphemerisRecord hyperbola = good;
    hyperbola.e = 3.5;
    EphemerisRecord nanAngle = good;
    nanAngle.m0 = std::nan("");
    EphemerisRecord tiny = good;
    tiny.rootA = 1e-200;
    EphemerisRecord huge = good;
    huge.rootA = 1e200;
    for (const EphemerisRecord& eph : {zeroOrbit, parabola, hyperbola, nanAngle, tiny, huge}) {
        const SatellitePosition p = ComputeSatellitePosition(eph, 345700.0);
        EXPECT_TRUE(std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z));
    }
}

}  // namespace
