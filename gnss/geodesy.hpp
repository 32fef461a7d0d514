// Conversions between earth-fixed and geodetic coordinates, and where a satellite stands in the
// sky of a receiver.
#pragma once

#include "gnss/coordinates.hpp"
#include "gnss/local_frame.hpp"

Ecef GeodeticToEcef(const Geodetic& geodetic);

// Exact to far below a millimetre everywhere outside the earth's core, the poles included; the
// earth's centre itself gives latitude 0 and height minus the semi-major axis.
Geodetic EcefToGeodetic(const Ecef& ecef);
// The same, and the unit normal of the ellipsoid through the point (the local up) in `up`.
Geodetic EcefToGeodetic(const Ecef& ecef, Ecef& up);

// Direction from a receiver to a satellite, in the receiver's local horizon (the plane normal to
// the ellipsoid at the receiver).
struct LookAngles {
    double azimuthDeg = 0;    // from north, clockwise (east is 90), 0..360
    double elevationDeg = 0;  // above the horizon, -90..90
};

LookAngles ComputeLookAngles(const Ecef& receiver, const Ecef& satellite);

// The direction of an offset in a local frame.
LookAngles LookAnglesOf(const Enu& lineOfSight);

// Same, with the receiver's geodetic coordinates already known (spares the conversion when many
// satellites are seen from one place).
LookAngles ComputeLookAngles(const Ecef& receiver, const Geodetic& receiverGeodetic,
                             const Ecef& satellite);
