// NMEA 0183 sentences for one epoch of a position stream, as chart plotters, GIS programs and
// dashboards read them: RMC, GGA, GSA, as many GSV as the satellites need, and ZDA, with the
// talker GP. Values in, text out.
//
// Every sentence is `$`, its fields separated by commas (empty fields kept), `*`, the XOR of
// the bytes between `$` and `*` as two upper-case hex digits, CR LF; none is longer than 82
// characters, `$` and CR LF included. Numbers that would not fit their field's width are written
// with fewer decimals, and a number that fits in no form (or is not finite) leaves its field
// empty.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::size_t kNmeaMaxSentence = 82;

// A satellite in view: its PRN and, when a receiver position is known, where it stands in the sky.
struct NmeaSatellite {
    int prn = 0;
    bool lookKnown = false;
    double elevationDeg = 0;  // rounded to whole degrees
    double azimuthDeg = 0;    // from north, clockwise; rounded to whole degrees
};

// The position of a fixed epoch.
struct NmeaFix {
    double latitudeDeg = 0;   // WGS-84, north positive
    double longitudeDeg = 0;  // WGS-84, east positive
    double altitudeM = 0;     // above mean sea level (the geoid)
    double separationM = 0;   // the geoid above the WGS-84 ellipsoid
    double pdop = 0, hdop = 0, vdop = 0;
};

struct NmeaEpoch {
    std::chrono::sys_time<std::chrono::milliseconds> utc;  // the epoch in UTC, written to 0.01 s
    bool hasFix = false;
    NmeaFix fix;                            // only with hasFix
    std::span<const int> usedPrns;          // the satellites of the fix (GSA lists the first 12)
    std::span<const NmeaSatellite> inView;  // every satellite of the epoch, for GSV
};

// Appends the epoch's sentences to `out`: RMC, GGA, GSA, GSV (one per 4 satellites, at least
// one), ZDA. Without a fix the stream stays alive: GGA quality 0, RMC status V and mode N, GSA
// mode 1, with the time and the satellites in view; a fix whose latitude or longitude lies
// outside -90..90 or -180..180 (or is not finite) is written so too. The date must lie within
// the calendar's years (-32767 to 32767).
void AppendNmeaEpoch(const NmeaEpoch& epoch, std::string& out);

// Appends `$`, `body`, `*`, the checksum of `body` and CR LF.
void AppendNmeaSentence(std::string_view body, std::string& out);

// The XOR of the bytes of `body` (the text between `$` and `*`).
std::uint8_t NmeaChecksum(std::string_view body);
