// The WGS-84 ellipsoid, on which geodetic coordinates and the local horizon are expressed.
#pragma once

namespace wgs84 {
inline constexpr double kSemiMajorAxis = 6378137.0;         // m
inline constexpr double kFlattening = 1.0 / 298.257223563;  // 1/f as WGS-84 defines it
inline constexpr double kEccentricitySquared = kFlattening * (2.0 - kFlattening);
}  // namespace wgs84
