// Degrees and radians: positions, look angles and masks are given in degrees, the trigonometry
// takes radians.
#pragma once

#include <numbers>

inline constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

constexpr double Radians(double degrees) {
    return degrees * kRadiansPerDegree;
}

constexpr double Degrees(double radians) {
    return radians / kRadiansPerDegree;
}
