// The local east-north-up frame of a place on the ellipsoid: the one rotation from earth-fixed
// offsets into the horizon of a receiver, for look angles, the dilutions of precision of a fix,
// the scatter of fixes about their centre and the sky plot.
#pragma once

#include <cmath>

#include "gnss/angles.hpp"
#include "gnss/coordinates.hpp"

// An offset in the local horizon, metres: east, north, and up along the ellipsoid's normal.
struct Enu {
    double east = 0;
    double north = 0;
    double up = 0;
};

class LocalFrame {
  public:
    // The frame at the geodetic latitude and longitude of `origin` (its height does not turn it).
    explicit LocalFrame(const Geodetic& origin)
        : sinLat_(std::sin(Radians(origin.latitudeDeg))),
          cosLat_(std::cos(Radians(origin.latitudeDeg))),
          sinLon_(std::sin(Radians(origin.longitudeDeg))),
          cosLon_(std::cos(Radians(origin.longitudeDeg))) {}

    // An earth-fixed offset (the difference of two points) in the frame.
    Enu FromEcef(const Ecef& d) const {
        return {-sinLon_ * d.x + cosLon_ * d.y,
                -sinLat_ * cosLon_ * d.x - sinLat_ * sinLon_ * d.y + cosLat_ * d.z,
                cosLat_ * cosLon_ * d.x + cosLat_ * sinLon_ * d.y + sinLat_ * d.z};
    }

    // The frame's axes as earth-fixed unit vectors: the rows of the rotation.
    Ecef East() const { return {-sinLon_, cosLon_, 0.0}; }
    Ecef North() const { return {-sinLat_ * cosLon_, -sinLat_ * sinLon_, cosLat_}; }
    Ecef Up() const { return {cosLat_ * cosLon_, cosLat_ * sinLon_, sinLat_}; }

  private:
    double sinLat_, cosLat_, sinLon_, cosLon_;
};
