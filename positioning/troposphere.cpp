#include "positioning/troposphere.hpp"

#include <algorithm>
#include <cmath>

#include "gnss/angles.hpp"

namespace {
constexpr double kLowestHeight = -500.0;    // m
constexpr double kHighestHeight = 11000.0;  // m: the top of the standard troposphere
constexpr double kRelativeHumidity = 0.5;
}  // namespace

double ZenithTroposphericDelay(double latitudeDeg, double heightM) {
    const double h = std::clamp(heightM, kLowestHeight, kHighestHeight);
    const double pressure = 1013.25 * std::pow(1.0 - 2.2557e-5 * h, 5.2568);  // hPa
    const double temperature = 288.15 - 0.0065 * h;                           // K
    const double celsius = temperature - 273.15;
    const double vapour =
        kRelativeHumidity * 6.1078 * std::exp(17.27 * celsius / (celsius + 237.3));  // hPa
    const double gravity =
        1.0 - 0.00266 * std::cos(Radians(2.0 * latitudeDeg)) - 0.00028 * h / 1000.0;
    const double hydrostatic = 0.0022768 * pressure / gravity;
    const double wet = 0.002277 * (1255.0 / temperature + 0.05) * vapour;
    return hydrostatic + wet;
}

double TroposphericMapping(double elevationDeg) {
    return TroposphericMappingOfSine(std::sin(Radians(elevationDeg)));
}

double TroposphericMappingOfSine(double s) {
    return 1.001 / std::sqrt(0.002001 + s * s);
}

double TroposphericDelay(double latitudeDeg, double heightM, double elevationDeg) {
    return ZenithTroposphericDelay(latitudeDeg, heightM) * TroposphericMapping(elevationDeg);
}
