// The EGM96 geoid: how far mean sea level lies above the WGS-84 ellipsoid, so that a height
// above the ellipsoid (what a fix gives) becomes an altitude above mean sea level.
//
// The model is the 15-minute grid of geoid heights that PROJ uses for EGM96 (Debian's proj-data,
// egm96_15.gtx), interpolated bilinearly between the four grid points around the place, as PROJ
// does; the grid is compiled into the program.
#pragma once

#include <cstdint>
#include <span>

// The geoid's height above the WGS-84 ellipsoid at a place, metres (the "geoid separation" of
// NMEA 0183): altitude above mean sea level = ellipsoidal height - separation. Latitude in
// -90..90 degrees, longitude in any range (taken modulo 360); NaN for a latitude outside it or a
// coordinate that is not finite.
double Egm96Separation(double latitudeDeg, double longitudeDeg);

// The grid as compiled in: rows from south (-90) to north (+90), columns from -180 eastwards,
// every 0.25 degrees, metres. For the tests.
struct Egm96Grid {
    double southDeg, westDeg, stepLatDeg, stepLonDeg;
    int rows, columns;
    double At(int row, int column) const;  // row 0..rows-1, column 0..columns-1
    std::span<const std::uint8_t> bytes;   // the grid file as compiled in
};
const Egm96Grid& Egm96GridData();
