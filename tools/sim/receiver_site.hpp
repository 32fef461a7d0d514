// Where the simulated receiver stands, and how high a satellite stands above its horizon.
#pragma once

#include "orbit/satellite_position.hpp"

struct ReceiverSite {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double heightM = 0;
    SatellitePosition ecef{};  // WGS 84, metres
};

// The site of a geodetic position on the WGS 84 ellipsoid.
ReceiverSite MakeReceiverSite(double latitudeDeg, double longitudeDeg, double heightM);

// Elevation in degrees of a point (earth-fixed, metres) above the site's horizon.
double ElevationDeg(const ReceiverSite& site, const SatellitePosition& point);
