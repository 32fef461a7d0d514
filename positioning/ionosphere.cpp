#include "positioning/ionosphere.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "gnss/angles.hpp"
#include "gnss/physical_constants.hpp"

namespace {
// IS-GPS-200 states the model in semicircles (half turns).
constexpr double kSemicirclesPerDeg = 1.0 / 180.0;
constexpr double kPi = std::numbers::pi;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kNightDelay = 5.0e-9;  // s: the constant night-time term

// a0 + a1 x + a2 x^2 + a3 x^3
double Cubic(const std::array<double, 4>& a, double x) {
    return a[0] + x * (a[1] + x * (a[2] + x * a[3]));
}
}  // namespace

double KlobucharDelay(const KlobucharParameters& p, const Geodetic& receiver,
                      const LookAngles& look, double gpsSeconds) {
    // Figure 20-4 of IS-GPS-200, step by step; angles in semicircles unless named radians.
    const double elevation = std::max(look.elevationDeg, 0.0) * kSemicirclesPerDeg;
    const double azimuth = Radians(look.azimuthDeg);
    const double latitude = receiver.latitudeDeg * kSemicirclesPerDeg;
    const double longitude = receiver.longitudeDeg * kSemicirclesPerDeg;

    // Earth's central angle between the receiver and the pierce point.
    const double psi = 0.0137 / (elevation + 0.11) - 0.022;
    // The pierce point's geodetic latitude, kept within +-0.416 semicircles, and longitude.
    const double pierceLatitude = std::clamp(latitude + psi * std::cos(azimuth), -0.416, 0.416);
    const double pierceLongitude =
        longitude + psi * std::sin(azimuth) / std::cos(pierceLatitude * kPi);
    // Its geomagnetic latitude.
    const double magnetic = pierceLatitude + 0.064 * std::cos((pierceLongitude - 1.617) * kPi);
    // Local time at the pierce point, 0 <= t < 86400 s.
    double t = std::fmod(4.32e4 * pierceLongitude + gpsSeconds, kSecondsPerDay);
    if (t < 0.0) {
        t += kSecondsPerDay;
    }
    const double slant = 1.0 + 16.0 * std::pow(0.53 - elevation, 3);
    const double amplitude = std::max(Cubic(p.alpha, magnetic), 0.0);
    const double period = std::max(Cubic(p.beta, magnetic), 72000.0);
    const double x = 2.0 * kPi * (t - 50400.0) / period;  // radians
    double delay = kNightDelay;
    if (std::fabs(x) < 1.57) {
        const double x2 = x * x;
        delay += amplitude * (1.0 - x2 / 2.0 + x2 * x2 / 24.0);
    }
    return slant * delay * kSpeedOfLight;
}
