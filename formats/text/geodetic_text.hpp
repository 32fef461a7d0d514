// A place on the WGS-84 ellipsoid as users write it on a command line: LAT,LON,H (latitude and
// longitude in degrees, north and east positive, height above the ellipsoid in metres).
#pragma once

#include <string_view>

#include "gnss/coordinates.hpp"

// True, with the place in `place`, for three whole numbers separated by commas with latitude
// within ±90, longitude within ±180 and height within ±100 km; `place` is left as it was
// otherwise.
bool ParseLatLonHeight(std::string_view text, Geodetic& place);
