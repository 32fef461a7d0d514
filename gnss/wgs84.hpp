// The WGS-84 earth: the ellipsoid the fix is expressed on and the rotation of the earth-fixed
// frame, and the two plain coordinate types every positioning call takes and returns.
#pragma once

namespace wgs84 {
inline constexpr double kSemiMajorAxis = 6378137.0;         // m
inline constexpr double kFlattening = 1.0 / 298.257223563;  // 1/f as WGS-84 defines it
inline constexpr double kEarthRotation = 7.2921151467e-5;   // rad/s, as IS-GPS-200 uses it
inline constexpr double kSpeedOfLight = 299792458.0;        // m/s
inline constexpr double kEccentricitySquared = kFlattening * (2.0 - kFlattening);
}  // namespace wgs84

// Earth-centred, earth-fixed coordinates in metres.
struct Ecef {
    double x = 0;
    double y = 0;
    double z = 0;
};

// Geodetic coordinates on the WGS-84 ellipsoid.
struct Geodetic {
    double latitudeDeg = 0;   // north positive
    double longitudeDeg = 0;  // east positive, -180..180
    double heightM = 0;       // above the ellipsoid
};
