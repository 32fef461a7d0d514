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

TEST(PointFix, SatellitesBelowTheMaskAreLeftOutAfterTheFirstIteration) {
    const Sky sky{{10.0, 100.0, 0.0}, 0.0};
    std::vector<RangeMeasurement> in = sky.Spread();
    in.push_back(sky.At(90, 8));
    in.back().pseudorange += 5000.0;  // a low satellite with a grossly wrong range
    const PointFix masked = ComputePointFix(in, WithoutTroposphere());
    ExpectAt(masked, sky, 1e-4);
    EXPECT_EQ(masked.satellites, 8);
    EXPECT_EQ(masked.usedMask, 0xFFu);

    FixOptions low = WithoutTroposphere();
    low.elevationMaskDeg = 5.0;
    const PointFix used = ComputePointFix(in, low);
    ASSERT_TRUE(used.valid);
    EXPECT_EQ(used.satellites, 9);
    EXPECT_GT(used.rms, 100.0);
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

    // With only the broken ones and three good ones nothing comes out, and nothing non-finite.
    std::vector<RangeMeasurement> few{lost, in[0], in[1], in[3], badClock};
    const PointFix none = ComputePointFix(few, WithoutTroposphere());
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.satellites, 3);
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
