#include "positioning/range_noise.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kReceiverNoise = 0.3;         // m
constexpr double kMultipath = 0.3;             // m, times 1 / sin E
constexpr double kBroadcastOrbit = 0.7;        // m
constexpr double kTroposphereLeft = 0.12;      // m, times 1 / sin E
constexpr double kModelLeft = 0.3;             // share of the modelled ionospheric delay
constexpr double kUnmodelledIonosphere = 1.5;  // m at the zenith, times the slant factor
// Elevations below this count as this: the mask keeps them out of a fix anyway.
constexpr double kLowestSine = 0.05;
}  // namespace

double RangeVariance(double sinElevation, double ionosphericDelay, bool ionosphereModelled) {
    const double s = std::clamp(sinElevation, kLowestSine, 1.0);
    const double noise = kReceiverNoise + kMultipath / s;
    const double troposphere = kTroposphereLeft / s;
    double ionosphere = kModelLeft * ionosphericDelay;
    if (!ionosphereModelled) {
        // The slant factor of the broadcast model, 1 + 16 (0.53 - E)^3 with E in semicircles.
        const double e = std::asin(s) / std::numbers::pi;
        ionosphere = kUnmodelledIonosphere * (1.0 + 16.0 * std::pow(0.53 - e, 3));
    }
    return noise * noise + kBroadcastOrbit * kBroadcastOrbit + troposphere * troposphere +
           ionosphere * ionosphere;
}
