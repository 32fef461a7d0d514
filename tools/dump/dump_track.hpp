// satlog-dump nmea and gpx: the receiver's position at every epoch of a raw log in the formats
// that maps, chart plotters and GIS programs read: NMEA 0183 sentences and a GPX 1.1 track.
#pragma once

#include <cstdio>

extern const char kNmeaUsage[];
extern const char kGpxUsage[];

// The arguments after "nmea" or "gpx".
int DumpNmeaMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int DumpGpxMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
