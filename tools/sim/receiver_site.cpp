#include "tools/sim/receiver_site.hpp"

#include <cmath>
#include <numbers>

namespace {
constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84F = 1.0 / 298.257223563;
constexpr double kRadPerDeg = std::numbers::pi / 180.0;
}  // namespace

ReceiverSite MakeReceiverSite(double latitudeDeg, double longitudeDeg, double heightM) {
    const double lat = latitudeDeg * kRadPerDeg;
    const double lon = longitudeDeg * kRadPerDeg;
    const double e2 = kWgs84F * (2.0 - kWgs84F);
    const double sinLat = std::sin(lat);
    const double n = kWgs84A / std::sqrt(1.0 - e2 * sinLat * sinLat);
    ReceiverSite site{latitudeDeg, longitudeDeg, heightM, {}};
    site.ecef.x = (n + heightM) * std::cos(lat) * std::cos(lon);
    site.ecef.y = (n + heightM) * std::cos(lat) * std::sin(lon);
    site.ecef.z = (n * (1.0 - e2) + heightM) * sinLat;
    return site;
}

double ElevationDeg(const ReceiverSite& site, const SatellitePosition& point) {
    const double lat = site.latitudeDeg * kRadPerDeg;
    const double lon = site.longitudeDeg * kRadPerDeg;
    const double dx = point.x - site.ecef.x;
    const double dy = point.y - site.ecef.y;
    const double dz = point.z - site.ecef.z;
    // The local vertical of the ellipsoid.
    const double up = std::cos(lat) * std::cos(lon) * dx + std::cos(lat) * std::sin(lon) * dy +
                      std::sin(lat) * dz;
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    return std::asin(up / distance) / kRadPerDeg;
}
