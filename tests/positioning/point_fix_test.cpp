// The least-squares fix on constructed skies: the geometry is laid out in the receiver's horizon
// at the receive instant and carried back into each satellite's transmit frame by the exact
// inverse rotation, so the ranges come from the geometry itself, not from the fix's model.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "gnss/geodesy.hpp"
#include "positioning/point_fix.hpp"
#include "positioning/troposphere.hpp"

namespace {

constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kC = 299792458.0;

struct Sky {
    Geodetic site;
    double clockBias = 0;  // s
    bool troposphere = false;

    // A satellite 21,000 km away at the given azimuth and elevation, with its clock offset.
    RangeMeasurement At(double azimuthDeg, double elevationDeg, double satelliteClock = 0) const {
        const Ecef r = GeodeticToEcef(site);
        const double lat = site.latitudeDeg * kRad, lon = site.longitudeDeg * kRad;
        const double e = std::cos(elevationDeg * kRad) * std::sin(azimuthDeg * kRad);
        const double n = std::cos(elevationDeg * kRad) * std::cos(azimuthDeg * kRad);
        const double u = std::sin(elevationDeg * kRad);
        const double d = 21000e3;
        const Ecef seen{r.x + d * (-std::sin(lon) * e - std::sin(lat) * std::cos(lon) * n +
                                   std::cos(lat) * std::cos(lon) * u),
                        r.y + d * (std::cos(lon) * e - std::sin(lat) * std::sin(lon) * n +
                                   std::cos(lat) * std::sin(lon) * u),
                        r.z + d * (std::cos(lat) * n + std::sin(lat) * u)};
        // Where it was in the frame of its transmit instant: the earth turned by Omega_e d / c.
        const double angle = 7.2921151467e-5 * d / kC;
        RangeMeasurement m;
        m.satellite = {std::cos(angle) * seen.x - std::sin(angle) * seen.y,
                       std::sin(angle) * seen.x + std::cos(angle) * seen.y, seen.z};
        m.satelliteClock = satelliteClock;
        m.pseudorange = d + kC * clockBias - kC * satelliteClock;
        if (troposphere) {
            m.pseudorange += TroposphericDelay(site.latitudeDeg, site.heightM, elevationDeg);
        }
        return m;
    }

    // Eight satellites spread over the sky.
    std::vector<RangeMeasurement> Spread() const {
        return {At(10, 75, 1e-4),   At(60, 40, -2e-4), At(130, 22),       At(175, 55, 3e-5),
                At(220, 18, -1e-5), At(265, 35),       At(310, 62, 2e-4), At(350, 28)};
    }
};

FixOptions WithoutTroposphere() {
    FixOptions o;
    o.troposphere = false;
    return o;
}

void ExpectAt(const PointFix& fix, const Sky& sky, double tolerance) {
    ASSERT_TRUE(fix.valid);
    const Ecef truth = GeodeticToEcef(sky.site);
    EXPECT_NEAR(fix.position.x, truth.x, tolerance);
    EXPECT_NEAR(fix.position.y, truth.y, tolerance);
    EXPECT_NEAR(fix.position.z, truth.z, tolerance);
    EXPECT_NEAR(fix.clockBias, sky.clockBias, tolerance / kC);
}

TEST(PointFix, FindsThePlaceAndTheClockFromTheEarthsCentre) {
    for (const Geodetic site :
         {Geodetic{78.2, 15.6, 40.0}, Geodetic{-33.9, 18.4, 50.0}, Geodetic{-17.8, 179.99, 20.0}}) {
        const Sky sky{site, 2.5e-3};  // 750 km of receiver clock offset
        const PointFix fix = ComputePointFix(sky.Spread(), WithoutTroposphere());
        ExpectAt(fix, sky, 1e-4);
        EXPECT_EQ(fix.satellites, 8);
        EXPECT_NEAR(fix.geodetic.latitudeDeg, site.latitudeDeg, 1e-9);
        EXPECT_NEAR(fix.geodetic.longitudeDeg, site.longitudeDeg, 1e-9);
        EXPECT_NEAR(fix.geodetic.heightM, site.heightM, 1e-4);
        EXPECT_LT(fix.rms, 1e-4);
        EXPECT_LE(fix.iterations, kMaxFixIterations);
    }
}

TEST(PointFix, TroposphericDelayIsModelled) {
    Sky sky{{47.0, 8.0, 1500.0}, -1e-4, true};
    ExpectAt(ComputePointFix(sky.Spread()), sky, 1e-3);
    // Left unmodelled, the delay (longest for the low satellites) moves the place up by metres.
    const PointFix ignored = ComputePointFix(sky.Spread(), WithoutTroposphere());
    ASSERT_TRUE(ignored.valid);
    EXPECT_GT(ignored.geodetic.heightM, sky.site.heightM + 1.0);
}

// A grossly wrong range from below the mask never counts; let in by a lower mask, the residual
// test finds it and leaves it out. With five satellites a bad range is seen but cannot be told
// from the others: no fix.
TEST(PointFix, TheMaskAndTheResidualTestKeepABadRangeOut) {
    const Sky sky{{10.0, 100.0, 0.0}, 0.0};
    std::vector<RangeMeasurement> in = sky.Spread();
    in.push_back(sky.At(90, 8));
    in.back().pseudorange += 5000.0;
    const PointFix masked = ComputePointFix(in, WithoutTroposphere());
    ExpectAt(masked, sky, 1e-4);
    EXPECT_EQ(masked.satellites, 8);
    EXPECT_EQ(masked.usedMask, 0xFFu);
    EXPECT_EQ(masked.excludedMask, 0u);

    FixOptions low = WithoutTroposphere();
    low.elevationMaskDeg = 5.0;
    const PointFix excluded = ComputePointFix(in, low);
    ExpectAt(excluded, sky, 1e-4);
    EXPECT_EQ(excluded.satellites, 8);
    EXPECT_EQ(excluded.excludedMask, 1u << 8);
    EXPECT_LT(excluded.testStatistic, excluded.testThreshold);

    low.validate = false;
    const PointFix trusted = ComputePointFix(in, low);
    ASSERT_TRUE(trusted.valid);
    EXPECT_EQ(trusted.satellites, 9);
    EXPECT_GT(trusted.rms, 100.0);

    std::vector<RangeMeasurement> five(in.begin(), in.begin() + 5);
    five[1].pseudorange += 100.0;
    const PointFix seen = ComputePointFix(five, WithoutTroposphere());
    EXPECT_FALSE(seen.valid);
    EXPECT_EQ(seen.outcome, FixOutcome::Inconsistent);
    EXPECT_GT(seen.testStatistic, seen.testThreshold);
}

// From the previous epoch's fix the iteration looks from a place at once: the mask holds from
// the first iteration and the fix takes fewer of them.
TEST(PointFix, StartsFromThePreviousFix) {
    const Sky sky{{-45.9, 170.5, 10.0}, 1e-3, true};
    const PointFix first = ComputePointFix(sky.Spread());
    ExpectAt(first, sky, 1e-3);
    FixEpoch next;
    next.startPosition = first.position;
    next.startClockBias = first.clockBias;
    const PointFix second = ComputePointFix(sky.Spread(), FixOptions{}, next);
    ExpectAt(second, sky, 1e-3);
    EXPECT_LT(second.iterations, first.iterations);
    EXPECT_LE(second.iterations, 2);
}

// Ranges that carry the broadcast model's delay for the epoch's local time give the place when
// the fix has the model's coefficients, and a place metres higher when it has not.
TEST(PointFix, TheBroadcastIonosphereIsModelled) {
    const Sky sky{{35.2, 139.6, 70.0}, 2e-4, true};
    const KlobucharParameters model{{1.118e-8, 1.49e-8, -5.96e-8, -5.96e-8},
                                    {8.806e4, 1.638e4, -1.966e5, -1.311e5}};
    const double receiveTime = 518400.0 + 5 * 3600.0;  // 14:20 local time
    std::vector<RangeMeasurement> in = sky.Spread();
    const Ecef at = GeodeticToEcef(sky.site);
    for (RangeMeasurement& m : in) {
        const LookAngles look = ComputeLookAngles(at, m.satellite);
        m.pseudorange += KlobucharDelay(model, sky.site, look, receiveTime);
    }
    FixOptions withModel;
    withModel.ionosphere = model;
    FixEpoch epoch;
    epoch.receiveTime = receiveTime;
    const PointFix corrected = ComputePointFix(in, withModel, epoch);
    ExpectAt(corrected, sky, 2e-3);
    const PointFix uncorrected = ComputePointFix(in, FixOptions{}, epoch);
    ASSERT_TRUE(uncorrected.valid);
    EXPECT_GT(uncorrected.geodetic.heightM, sky.site.heightM + 1.0);
}

TEST(PointFix, NoFixFromThreeSatellites) {
    const Sky sky{{50.0, 10.0, 300.0}};
    const std::vector<RangeMeasurement> all = sky.Spread();
    const PointFix fix = ComputePointFix(std::span(all).first(3));
    EXPECT_FALSE(fix.valid);
    EXPECT_EQ(fix.satellites, 3);
}

TEST(PointFix, NonFiniteSatellitesAreNeverUsed) {
    const Sky sky{{-45.9, 170.5, 10.0}, 1e-3};
    std::vector<RangeMeasurement> in = sky.Spread();
    const PointFix clean = ComputePointFix(in, WithoutTroposphere());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    RangeMeasurement lost = sky.At(45, 45);
    lost.satellite = {nan, nan, nan};
    RangeMeasurement badClock = sky.At(200, 60);
    badClock.satelliteClock = std::numeric_limits<double>::infinity();
    in.insert(in.begin() + 2, lost);
    in.push_back(badClock);
    const PointFix fix = ComputePointFix(in, WithoutTroposphere());
    ExpectAt(fix, sky, 1e-4);
    EXPECT_EQ(fix.satellites, 8);
    EXPECT_EQ(fix.position.x, clean.position.x);
    EXPECT_EQ(fix.usedMask & ((1u << 2) | (1u << 9)), 0u);
}

// One satellite at the zenith and three on the horizon 120 degrees apart: the cofactor matrix is
// diag(2/3, 2/3) horizontally and 4/3 vertically (the clock couples only with the vertical).
TEST(PointFix, DopsOfAKnownGeometry) {
    const Sky sky{{30.0, -60.0, 0.0}};
    FixOptions all = WithoutTroposphere();
    all.elevationMaskDeg = -10.0;
    const PointFix fix = ComputePointFix(
        std::vector{sky.At(0, 90), sky.At(0, 0), sky.At(120, 0), sky.At(240, 0)}, all);
    ExpectAt(fix, sky, 1e-4);
    EXPECT_NEAR(fix.hdop, std::sqrt(4.0 / 3.0), 1e-6);
    EXPECT_NEAR(fix.vdop, std::sqrt(4.0 / 3.0), 1e-6);
    EXPECT_NEAR(fix.pdop, std::sqrt(8.0 / 3.0), 1e-6);
}

}  // namespace
