#include "positioning/geodesy.hpp"

#include <cmath>
#include <numbers>

using namespace wgs84;

namespace {
constexpr double kRadPerDeg = std::numbers::pi / 180.0;
}  // namespace

Ecef GeodeticToEcef(const Geodetic& g) {
    const double lat = g.latitudeDeg * kRadPerDeg;
    const double lon = g.longitudeDeg * kRadPerDeg;
    const double sinLat = std::sin(lat);
    const double cosLat = std::cos(lat);
    // Radius of curvature in the prime vertical.
    const double n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
    return {(n + g.heightM) * cosLat * std::cos(lon), (n + g.heightM) * cosLat * std::sin(lon),
            (n * (1.0 - kEccentricitySquared) + g.heightM) * sinLat};
}

Geodetic EcefToGeodetic(const Ecef& p) {
    const double rho = std::hypot(p.x, p.y);  // distance from the rotation axis
    // Fixed-point iteration on the latitude: the ellipsoid normal through the point meets the
    // axis e^2 N sin(lat) below the equator plane. Each step shrinks the error by about e^2
    // (0.0067), so seven steps take a first guess good to 1e-2 rad below 1e-15 rad.
    double lat = std::atan2(p.z, rho * (1.0 - kEccentricitySquared));
    for (int i = 0; i < 8; ++i) {
        const double sinLat = std::sin(lat);
        const double n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
        const double next = std::atan2(p.z + kEccentricitySquared * n * sinLat, rho);
        const bool settled = std::fabs(next - lat) < 1e-15;
        lat = next;
        if (settled) {
            break;
        }
    }
    const double sinLat = std::sin(lat);
    const double cosLat = std::cos(lat);
    // The height along the normal, in a form that holds at the poles as well as at the equator.
    const double height = rho * cosLat + p.z * sinLat -
                          kSemiMajorAxis * std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
    const double lon = (p.x == 0.0 && p.y == 0.0) ? 0.0 : std::atan2(p.y, p.x);
    return {lat / kRadPerDeg, lon / kRadPerDeg, height};
}

LookAngles ComputeLookAngles(const Ecef& receiver, const Ecef& satellite) {
    return ComputeLookAngles(receiver, EcefToGeodetic(receiver), satellite);
}

LookAngles ComputeLookAngles(const Ecef& receiver, const Geodetic& g, const Ecef& satellite) {
    const double lat = g.latitudeDeg * kRadPerDeg;
    const double lon = g.longitudeDeg * kRadPerDeg;
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double sinLon = std::sin(lon), cosLon = std::cos(lon);
    const double dx = satellite.x - receiver.x;
    const double dy = satellite.y - receiver.y;
    const double dz = satellite.z - receiver.z;
    // The line of sight in the local east, north, up frame.
    const double east = -sinLon * dx + cosLon * dy;
    const double north = -sinLat * cosLon * dx - sinLat * sinLon * dy + cosLat * dz;
    const double up = cosLat * cosLon * dx + cosLat * sinLon * dy + sinLat * dz;
    double azimuth = std::atan2(east, north) / kRadPerDeg;
    if (azimuth < 0.0) {
        azimuth += 360.0;
    }
    return {azimuth, std::atan2(up, std::hypot(east, north)) / kRadPerDeg};
}
