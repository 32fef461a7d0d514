// The two coordinate types every layer speaks: earth-centred, earth-fixed and geodetic.
#pragma once

// Earth-centred, earth-fixed X, Y, Z in metres (WGS-84 frame): a point, or the difference of two.
struct Ecef {
    double x = 0;
    double y = 0;
    double z = 0;
};

constexpr Ecef operator-(const Ecef& a, const Ecef& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// Geodetic coordinates on the WGS-84 ellipsoid.
struct Geodetic {
    double latitudeDeg = 0;   // north positive
    double longitudeDeg = 0;  // east positive, -180..180
    double heightM = 0;       // above the ellipsoid
};
