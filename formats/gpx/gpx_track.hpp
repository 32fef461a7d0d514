// A GPX 1.1 file holding one track of position fixes, as map and GIS programs read it and as the
// GPX 1.1 schema (www.topografix.com/GPX/1/1) requires. Values in, text out: the header, one
// `trkpt` per fix, the footer.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

struct GpxTrackPoint {
    double latitudeDeg = 0;   // WGS-84
    double longitudeDeg = 0;  // WGS-84; written in -180 <= lon < 180 as the schema wants
    double elevationM = 0;    // above mean sea level (the geoid)
    double geoidHeightM = 0;  // the geoid above the WGS-84 ellipsoid
    std::chrono::sys_time<std::chrono::milliseconds> utc;
    int satellites = 0;
    double hdop = 0, vdop = 0, pdop = 0;
};

// The XML declaration, the `gpx` element (version 1.1, `creator`), the track with its `name`,
// and the opening of its one segment. Text is escaped for XML; bytes outside printable ASCII
// become '?', since a file name need not be UTF-8.
void AppendGpxHeader(std::string_view creator, std::string_view trackName, std::string& out);

// One `trkpt`: lat and lon to 1e-9 degrees, then in the schema's order ele (mm), time (UTC, to
// the millisecond when not on a whole second), geoidheight, fix (3d), sat, hdop, vdop, pdop.
// A value that is not finite leaves its element out; a point whose latitude is outside -90..90
// or whose longitude is not finite is no place on earth and is not written.
void AppendGpxTrackPoint(const GpxTrackPoint& point, std::string& out);

void AppendGpxFooter(std::string& out);
