// Writer of RINEX 2.11 observation files of one GPS receiver with one observation type, C1 (the
// receiver's record gives the signal travel time; its phase has no stated unit and is not written).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "formats/rinex/rinex_run_info.hpp"
#include "formats/rinex/rinex_time.hpp"

struct RinexObservationHeaderValues {
    RinexRunInfo run;
    std::string markerName;
    bool haveApproxPosition = false;  // zeros and a COMMENT saying why, when false
    double approxX = 0, approxY = 0, approxZ = 0;
    GpsTime firstEpoch;  // times a file can name (IsRinexEpoch)
    GpsTime lastEpoch;
    double interval = 0;  // seconds; the INTERVAL line is left out when 0
    std::vector<std::string> comments;
};

struct ObservedRange {
    int prn = 0;
    double c1 = 0;  // metres
};

std::string FormatRinexObservationHeader(const RinexObservationHeaderValues& header);

// True when the range can be written (a satellite number of two digits, a value that fits F14.3).
bool IsWritableRange(const ObservedRange& range);

// One epoch with flag 0; satellites past the 12th go on continuation lines. `ranges` must all be
// writable (IsWritableRange) and not empty, the epoch a time a file can name (IsRinexEpoch).
void AppendRinexObservationEpoch(std::string& out, GpsTime epoch,
                                 std::span<const ObservedRange> ranges);
