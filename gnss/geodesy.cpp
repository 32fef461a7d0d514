#include "gnss/geodesy.hpp"

#include <cmath>

#include "gnss/angles.hpp"
#include "gnss/wgs84.hpp"

using namespace wgs84;

Ecef GeodeticToEcef(const Geodetic& g) {
    const double lat = Radians(g.latitudeDeg);
    const double lon = Radians(g.longitudeDeg);
    const double sinLat = std::sin(lat);
    const double cosLat = std::cos(lat);
    // Radius of curvature in the prime vertical.
    const double n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
    return {(n + g.heightM) * cosLat * std::cos(lon), (n + g.heightM) * cosLat * std::sin(lon),
            (n * (1.0 - kEccentricitySquared) + g.heightM) * sinLat};
}

Geodetic EcefToGeodetic(const Ecef& p) {
    Ecef up;
    return EcefToGeodetic(p, up);
}

Geodetic EcefToGeodetic(const Ecef& p, Ecef& up) {
    const double rho = std::sqrt(p.x * p.x + p.y * p.y);  // distance from the rotation axis
    if (rho == 0.0 && p.z == 0.0) {
        up = {1.0, 0.0, 0.0};
        return {0.0, 0.0, -kSemiMajorAxis};  // the centre: no normal passes through it alone
    }
    // Fixed-point iteration on the latitude: the ellipsoid normal through the point meets the
    // axis e^2 N sin(lat) below the equator plane, so tan(lat) = (z + e^2 N sin(lat)) / rho.
    // Carried on the sine alone (no trigonometric call in the loop). It starts from Bowring's
    // closed form, which is good to about 1e-10 rad near the earth's surface, and each step
    // shrinks the error by about e^2 (0.0067): one or two steps reach the last bit there, a few
    // more anywhere else.
    const double b = kSemiMajorAxis * (1.0 - kFlattening);
    const double secondEccentricitySquared = kEccentricitySquared / (1.0 - kEccentricitySquared);
    const double az = kSemiMajorAxis * p.z;
    const double brho = b * rho;
    const double reduced = std::sqrt(az * az + brho * brho);
    const double sinBeta = az / reduced;
    const double cosBeta = brho / reduced;
    const double num = p.z + secondEccentricitySquared * b * sinBeta * sinBeta * sinBeta;
    const double den = rho - kEccentricitySquared * kSemiMajorAxis * cosBeta * cosBeta * cosBeta;
    double sinLat = num / std::sqrt(num * num + den * den);
    double lifted = p.z;  // z + e^2 N sin(lat)
    double normal = 1.0;  // length of (rho, lifted)
    for (int i = 0; i < 10; ++i) {
        const double n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
        lifted = p.z + kEccentricitySquared * n * sinLat;
        normal = std::sqrt(rho * rho + lifted * lifted);
        const double next = lifted / normal;
        const bool settled = std::fabs(next - sinLat) < 1e-16;
        sinLat = next;
        if (settled) {
            break;
        }
    }
    const double cosLat = rho / normal;
    // The height along the normal, in a form that holds at the poles as well as at the equator.
    const double height = rho * cosLat + p.z * sinLat -
                          kSemiMajorAxis * std::sqrt(1.0 - kEccentricitySquared * sinLat * sinLat);
    const double cosLon = rho == 0.0 ? 1.0 : p.x / rho;
    const double sinLon = rho == 0.0 ? 0.0 : p.y / rho;
    up = {cosLat * cosLon, cosLat * sinLon, sinLat};
    const double lon = rho == 0.0 ? 0.0 : std::atan2(p.y, p.x);
    return {Degrees(std::atan2(lifted, rho)), Degrees(lon), height};
}

LookAngles ComputeLookAngles(const Ecef& receiver, const Ecef& satellite) {
    return ComputeLookAngles(receiver, EcefToGeodetic(receiver), satellite);
}

LookAngles ComputeLookAngles(const Ecef& receiver, const Geodetic& g, const Ecef& satellite) {
    return LookAnglesOf(LocalFrame(g).FromEcef(satellite - receiver));
}

LookAngles LookAnglesOf(const Enu& v) {
    double azimuth = Degrees(std::atan2(v.east, v.north));
    if (azimuth < 0.0) {
        azimuth += 360.0;
    }
    return {azimuth, Degrees(std::atan2(v.up, std::hypot(v.east, v.north)))};
}
