// Reader of RINEX 2 GPS navigation files (broadcast ephemerides), as distributed by the IGS, on the
// same strict line and column readers as the observation files: every line at most 80 printable
// characters, header labels in columns 61-80, every number in its own columns.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rinex/rinex_error.hpp"
#include "formats/rinex/rinex_time.hpp"
#include "orbit/ephemeris_record.hpp"

// The broadcast ionosphere (Klobuchar) coefficients of a navigation header, as IS-GPS-200 gives
// them: alpha in s, s/semicircle, s/semicircle^2, s/semicircle^3; beta in s, s/semicircle, ...
struct RinexIonosphere {
    std::array<double, 4> alpha{};  // ION ALPHA
    std::array<double, 4> beta{};   // ION BETA
};

// One navigation record with the values of the file (angles in radians as RINEX writes them).
struct RinexEphemeris {
    int prn = 0;
    GpsTime toc;  // the clock epoch as written (GPS time)
    double af0 = 0, af1 = 0, af2 = 0;
    double iode = 0, crs = 0, deltaN = 0, m0 = 0;
    double cuc = 0, e = 0, cus = 0, rootA = 0;
    double toe = 0, cic = 0, omega0 = 0, cis = 0;
    double i0 = 0, crc = 0, omega = 0, omegaDot = 0;
    double iDot = 0, codesL2 = 0, gpsWeek = 0, l2pFlag = 0;
    double accuracy = 0, health = 0, tgd = 0, iodc = 0;
    double transmissionTime = 0, fitInterval = 0;
    double tocSecondsOfWeek = 0;  // derived from the clock epoch
};

struct RinexNavigationFile {
    // The header's ION ALPHA and ION BETA, when it has both.
    std::optional<RinexIonosphere> ionosphere;
    std::vector<RinexEphemeris> records;
};

// Reads a navigation file from a stream, line by line. On failure, the error names the line and
// what was wrong.
std::optional<RinexNavigationFile> ReadRinexNavigation(std::istream& in, RinexError& error);
std::optional<RinexNavigationFile> ParseRinexNavigation(std::string_view text, RinexError& error);

// The ephemeris in the receiver's units: angles and rates in semicircles, single-precision fields
// rounded to single, prn holding the PRN minus one, as an SNV record would carry it.
EphemerisRecord ToEphemerisRecord(const RinexEphemeris& rinex);
