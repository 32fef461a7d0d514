// The models the fix and the simulator share, against values worked out here by hand and against
// evaluations of the published formulas written independently in this file (other units, other
// forms): the simulator cannot catch a fault in them, since its ranges carry the same models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "positioning/chi_square.hpp"
#include "positioning/ionosphere.hpp"
#include "positioning/troposphere.hpp"

namespace {

constexpr double kC = 299792458.0;
constexpr double kRad = std::numbers::pi / 180.0;

// Saastamoinen's zenith delay of the standard atmosphere with 50 % relative humidity: pressure
// from the temperature lapse, the saturation pressure by Tetens' formula in base 10.
double IndependentZenithDelay(double latitudeDeg, double heightM) {
    const double kelvin = 288.15 - 0.0065 * heightM;
    const double hPa = 1013.25 * std::pow(kelvin / 288.15, 5.2568);
    const double celsius = kelvin - 273.15;
    const double saturation = 6.1078 * std::pow(10.0, 7.5 * celsius / (237.3 + celsius));
    const double dry =
        0.0022768 * hPa / (1.0 - 0.00266 * std::cos(2.0 * latitudeDeg * kRad) - 0.28e-6 * heightM);
    const double wet = 0.002277 * (1255.0 / kelvin + 0.05) * (0.5 * saturation);
    return dry + wet;
}

TEST(FixModels, TroposphereAgreesWithSaastamoinenAndBlackAndEisner) {
    // By hand at sea level, 45 degrees: 0.0022768 x 1013.25 = 2.30697 m hydrostatic; 50 % of
    // 17.04 hPa saturation at 15 C is 8.52 hPa, 0.002277 x (1255 / 288.15 + 0.05) x 8.52 =
    // 0.08547 m wet. A humidity of zero would lose those 8.5 cm.
    EXPECT_NEAR(ZenithTroposphericDelay(45.0, 0.0), 2.30697 + 0.08547, 2e-4);
    for (const double latitude : {-80.0, -30.0, 0.0, 20.0, 52.0, 89.0}) {
        for (const double height : {-300.0, 0.0, 440.0, 1800.0, 4200.0, 9000.0}) {
            EXPECT_NEAR(ZenithTroposphericDelay(latitude, height),
                        IndependentZenithDelay(latitude, height), 1e-4)
                << latitude << " " << height;
        }
    }
    // Above the standard troposphere's top nothing changes.
    EXPECT_EQ(ZenithTroposphericDelay(10.0, 20000.0), ZenithTroposphericDelay(10.0, 11000.0));
    // 1.001 / sqrt(0.002001 + sin^2 E): exactly 1 at the zenith (sqrt(1.002001) = 1.001), 22.377
    // at the horizon, 3.8111 at 15 degrees.
    EXPECT_NEAR(TroposphericMapping(90.0), 1.0, 1e-12);
    EXPECT_NEAR(TroposphericMapping(0.0), 22.3775, 1e-4);
    EXPECT_NEAR(TroposphericMapping(15.0), 3.8111, 1e-4);
    EXPECT_NEAR(TroposphericDelay(45.0, 0.0, 15.0), 3.8111 * 2.39244, 1e-3);
}

// IS-GPS-200 20.3.3.5.2.5 in degrees and seconds instead of semicircles: 0.064 semicircles of
// geomagnetic tilt are 11.52 degrees, the pole's 1.617 semicircles 291.06 degrees, 4.32e4 s per
// semicircle of longitude 240 s per degree, and the pierce latitude's bound 0.416 semicircles
// 74.88 degrees.
double IndependentKlobuchar(const KlobucharParameters& p, double latDeg, double lonDeg,
                            double elevationDeg, double azimuthDeg, double gpsSeconds) {
    const double centralDeg = 180.0 * (0.0137 / (elevationDeg / 180.0 + 0.11) - 0.022);
    const double pierceLat =
        std::clamp(latDeg + centralDeg * std::cos(azimuthDeg * kRad), -74.88, 74.88);
    const double pierceLon =
        lonDeg + centralDeg * std::sin(azimuthDeg * kRad) / std::cos(pierceLat * kRad);
    const double magneticDeg = pierceLat + 11.52 * std::cos((pierceLon - 291.06) * kRad);
    const double localTime =
        std::fmod(std::fmod(240.0 * pierceLon + gpsSeconds, 86400.0) + 86400.0, 86400.0);
    const double m = magneticDeg / 180.0;
    double amplitude = 0, period = 0;
    for (int n = 3; n >= 0; --n) {
        amplitude += p.alpha[static_cast<std::size_t>(n)] * std::pow(m, n);
        period += p.beta[static_cast<std::size_t>(n)] * std::pow(m, n);
    }
    amplitude = std::max(amplitude, 0.0);
    period = std::max(period, 72000.0);
    const double phase = 2.0 * std::numbers::pi * (localTime - 50400.0) / period;
    const double obliquity = 1.0 + 16.0 * std::pow(0.53 - elevationDeg / 180.0, 3);
    double seconds = 5e-9;
    if (std::fabs(phase) < 1.57) {
        seconds += amplitude * (1.0 - std::pow(phase, 2) / 2.0 + std::pow(phase, 4) / 24.0);
    }
    return obliquity * seconds * kC;
}

TEST(FixModels, IonosphereAgreesWithTheBroadcastModel) {
    // By hand: at the zenith F = 1 + 16 x 0.03^3 = 1.000432; by night the delay is 5 ns, by day
    // at 14:00 local time (pierce point at longitude 0, GPS time 50400 s) 5 ns plus the amplitude.
    const KlobucharParameters flat{{1e-8, 0, 0, 0}, {72000, 0, 0, 0}};
    const Geodetic greenwich{51.5, 0.0, 0.0};
    EXPECT_NEAR(KlobucharDelay(flat, greenwich, {0.0, 90.0}, 7200.0), 1.000432 * 5e-9 * kC, 1e-6);
    EXPECT_NEAR(KlobucharDelay(flat, greenwich, {0.0, 90.0}, 50400.0), 1.000432 * 1.5e-8 * kC,
                1e-6);
    // Any whole number of days later, the same.
    EXPECT_NEAR(KlobucharDelay(flat, greenwich, {0.0, 90.0}, 50400.0 + 3 * 86400.0),
                1.000432 * 1.5e-8 * kC, 1e-6);

    // The coefficients of station 0759's navigation file and of a day in 2010, over places,
    // directions and times of day.
    const KlobucharParameters days[] = {
        {{1.118e-8, 1.49e-8, -5.96e-8, -5.96e-8}, {8.806e4, 1.638e4, -1.966e5, -1.311e5}},
        {{4.657e-9, 1.49e-8, -5.96e-8, -1.192e-7}, {8.192e4, 8.192e4, -6.554e4, -5.243e5}},
    };
    int daytime = 0;
    for (const KlobucharParameters& day : days) {
        for (const double lat : {-70.0, -33.9, 0.0, 35.2, 78.2}) {
            for (const double lon : {-150.0, 8.5, 139.6, 179.9}) {
                for (const double elevation : {5.0, 15.0, 40.0, 89.0}) {
                    for (const double azimuth : {0.0, 75.0, 180.0, 290.0}) {
                        for (double t = 0.0; t < 86400.0; t += 10800.0) {
                            const double ours = KlobucharDelay(day, {lat, lon, 0.0},
                                                               {azimuth, elevation}, 518400.0 + t);
                            const double theirs = IndependentKlobuchar(day, lat, lon, elevation,
                                                                       azimuth, 518400.0 + t);
                            EXPECT_NEAR(ours, theirs, 1e-6) << lat << " " << lon << " " << elevation
                                                            << " " << azimuth << " " << t;
                            daytime += theirs > 1.0001 * IndependentKlobuchar(
                                                             {{0, 0, 0, 0}, {72000, 0, 0, 0}}, lat,
                                                             lon, elevation, azimuth, t);
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(daytime, 300);  // the day's half cosine took part, not only the night's constant
}

// The 99.9 % points of the chi-square distribution as tables print them, beyond the fix's own
// table as well.
TEST(FixModels, ResidualTestLimitFollowsTheChiSquareTable) {
    const double table[][2] = {{1, 10.828},  {4, 18.467},  {10, 29.588}, {11, 31.264},
                               {15, 37.697}, {20, 45.315}, {30, 59.703}, {50, 86.661}};
    for (const auto& [k, point] : table) {
        EXPECT_NEAR(ChiSquareLimit(static_cast<int>(k)), point, 0.006 * point) << k;
    }
}

// Sea-level zenith delay of a standard atmosphere is about 2.3 m dry plus under 0.1 m wet; it
// shrinks with height, and the mapping follows 1/sin(elevation) well above the horizon.
TEST(Troposphere, StandardAtmosphereMagnitudes) {
    const double seaLevel = ZenithTroposphericDelay(45.0, 0.0);
    EXPECT_GT(seaLevel, 2.3069);  // the hydrostatic part alone: 0.0022768 x 1013.25 hPa
    EXPECT_LT(seaLevel, 2.45);
    EXPECT_NEAR(ZenithTroposphericDelay(45.0, 2000.0) / seaLevel, 0.78, 0.02);
    EXPECT_EQ(ZenithTroposphericDelay(45.0, 1e7), ZenithTroposphericDelay(45.0, 11000.0));
    EXPECT_NEAR(TroposphericMapping(90.0), 1.0, 1e-3);
    EXPECT_NEAR(TroposphericMapping(30.0), 2.0, 0.01);
    EXPECT_NEAR(TroposphericMapping(15.0), 1.0 / std::sin(15.0 * std::numbers::pi / 180.0), 0.08);
    EXPECT_TRUE(std::isfinite(TroposphericMapping(0.0)));
}

}  // namespace
