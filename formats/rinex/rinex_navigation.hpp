// Reader of RINEX 2 GPS navigation files (broadcast ephemerides), as distributed by the IGS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rinex/rinex_error.hpp"
#include "orbit/ephemeris_record.hpp"

// One navigation record with the values of the file (angles in radians as RINEX writes them).
struct RinexEphemeris {
    int prn = 0;
    // Clock epoch as written (GPS time).
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
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
    std::vector<RinexEphemeris> records;
};

// Parses the text of a navigation file. On failure, the error names the line and what was wrong.
std::optional<RinexNavigationFile> ParseRinexNavigation(std::string_view text, RinexError& error);

// The ephemeris in the receiver's units: angles and rates in semicircles, single-precision fields
// rounded to single, prn holding the PRN minus one, as an SNV record would carry it.
EphemerisRecord ToEphemerisRecord(const RinexEphemeris& rinex);
