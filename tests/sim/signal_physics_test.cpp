#include <gtest/gtest.h>

#include <cmath>

#include "gnss/gps_time.hpp"
#include "orbit/satellite_position.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/receiver_site.hpp"
#include "tools/sim/signal_physics.hpp"

namespace {

double Distance(const SatellitePosition& a, const SatellitePosition& b) {
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

const ReceiverSite kSite = MakeReceiverSite(50.0, 10.0, 300.0);

TEST(ReceiverSite, GeodeticToEarthFixed) {
    // On the equator at the prime meridian the site lies on the x axis at the equatorial radius.
    const ReceiverSite equator = MakeReceiverSite(0.0, 0.0, 0.0);
    EXPECT_NEAR(equator.ecef.x, 6378137.0, 1e-6);
    EXPECT_NEAR(equator.ecef.y, 0.0, 1e-6);
    // At the pole, the polar radius.
    EXPECT_NEAR(MakeReceiverSite(90.0, 0.0, 0.0).ecef.z, 6356752.314, 1e-3);
    // Straight up is 90 degrees, the horizon 0.
    const SatellitePosition above{equator.ecef.x + 2e7, 0.0, 0.0};
    EXPECT_NEAR(ElevationDeg(equator, above), 90.0, 1e-9);
    const SatellitePosition horizon{equator.ecef.x, 2e7, 0.0};
    EXPECT_NEAR(ElevationDeg(equator, horizon), 0.0, 1e-9);
}

// For every satellite of the built-in constellation above the horizon, over a few hours.
template <typename F>
void ForVisibleSignals(F check) {
    BuiltinConstellation constellation;
    int checked = 0;
    for (double t = 345600.0; t < 345600.0 + 4 * 3600.0; t += 1800.0) {
        for (int prn = 1; prn <= constellation.MaxPrn(); ++prn) {
            const EphemerisRecord eph = *constellation.Ephemeris(prn, t);
            const SignalSolution s = SolveSignal(eph, kSite, t);
            if (s.elevationDeg > 0.0) {
                check(eph, t, s);
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 60);
}

TEST(SignalPhysics, TheToolLandsOnTheEmissionPointWithinAMillimetre) {
    ForVisibleSignals([](const EphemerisRecord& eph, double receiveTime, const SignalSolution& s) {
        const double transmitTime = receiveTime - s.rawRange;  // what the tool forms
        EXPECT_LT(Distance(ComputeSatellitePosition(eph, transmitTime), s.position), 1e-3);
        EXPECT_LE(s.iterations, 6);
    });
}

TEST(SignalPhysics, TravelTimeIsTheLightTimeIncludingTheEarthsRotation) {
    ForVisibleSignals([](const EphemerisRecord&, double receiveTime, const SignalSolution& s) {
        const double travel = receiveTime - s.emissionTime;
        EXPECT_GT(travel, 0.064);  // 19,100 km straight up
        EXPECT_LT(travel, 0.090);  // 25,800 km at the horizon
        // To what a time of week in a double resolves (6e-11 s, 2 cm); the atmosphere adds its
        // delay, metres at the zenith and tens of metres near the horizon.
        EXPECT_NEAR(s.geometricRange + s.troposphericDelay, travel * kSpeedOfLight, 0.03);
        EXPECT_GT(s.troposphericDelay, 2.0);
        EXPECT_LT(s.troposphericDelay, 60.0);
        // The earth turns under the signal: the textbook first-order term of that rotation,
        // computed here from the emission point and the receiver, not by rotating frames.
        const double plain = Distance(s.position, kSite.ecef);
        const double sagnac = kEarthRotationRate / kSpeedOfLight *
                              (s.position.x * kSite.ecef.y - s.position.y * kSite.ecef.x);
        EXPECT_NEAR(s.geometricRange - plain, sagnac, 2e-3);
    });
}

TEST(SignalPhysics, RawRangeCarriesTheSatelliteClockOffset) {
    BuiltinConstellation constellation;
    const double t = 352800.0;
    for (int prn : {1, 7, 20}) {
        EphemerisRecord eph = *constellation.Ephemeris(prn, t);
        eph.af0 = 0.0f;
        eph.af1 = 0.0f;
        eph.tgd = 0.0f;
        const SignalSolution base = SolveSignal(eph, kSite, t);
        // A clock running 0.5 ms ahead makes the signal look 0.5 ms shorter; the group delay
        // works the other way. The orbit and the geometry stay the same.
        EphemerisRecord ahead = eph;
        ahead.af0 = 5e-4f;
        const SignalSolution a = SolveSignal(ahead, kSite, t);
        EXPECT_NEAR(base.rawRange - a.rawRange, static_cast<double>(ahead.af0), 2e-10);
        EXPECT_NEAR(a.geometricRange, base.geometricRange, 0.03);
        EphemerisRecord delayed = eph;
        delayed.tgd = 1e-8f;
        const SignalSolution d = SolveSignal(delayed, kSite, t);
        EXPECT_NEAR(d.rawRange - base.rawRange, static_cast<double>(delayed.tgd), 2e-10);
    }
}

TEST(SignalPhysics, ReceptionJustAfterTheWeekStartsWithAnEphemerisOfTheWeekBefore) {
    BuiltinConstellation constellation;
    int checked = 0;
    for (int prn = 1; prn <= constellation.MaxPrn(); ++prn) {
        // toe 597600 of the week before; the signal left before the week turned.
        const EphemerisRecord eph = *constellation.Ephemeris(prn, 604800.0 - 4000.0);
        ASSERT_EQ(eph.toe, 597600);
        const double receiveTime = 0.02;
        const SignalSolution s = SolveSignal(eph, kSite, receiveTime);
        if (s.elevationDeg < 0.0) {
            continue;
        }
        ++checked;
        EXPECT_GT(s.rawRange, 0.06);
        EXPECT_LT(s.rawRange, 0.09);
        EXPECT_LT(Distance(ComputeSatellitePosition(eph, receiveTime - s.rawRange), s.position),
                  1e-3);
        // Near the week's end a time of week in a double resolves 1.2e-10 s (3.5 cm).
        EXPECT_NEAR(s.geometricRange + s.troposphericDelay,
                    (receiveTime + kSecondsPerWeek - s.emissionTime) * kSpeedOfLight, 0.05);
    }
    EXPECT_GT(checked, 4);
}

}  // namespace
