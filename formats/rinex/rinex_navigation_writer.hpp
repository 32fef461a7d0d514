// Writer of RINEX 2.11 GPS navigation files from the ephemerides the receiver sends. The SNV record
// carries the orbit and clock but not the issue numbers, health, accuracy, L2 flags or fit
// interval: those fields get the fixed values below, which the header names in COMMENT lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "formats/rinex/rinex_navigation.hpp"
#include "formats/rinex/rinex_run_info.hpp"
#include "orbit/ephemeris_record.hpp"

// The fixed values written for what the receiver's record does not carry.
namespace rinex_navigation_defaults {
inline constexpr double kIssueOfData = 0;       // IODE and IODC
inline constexpr double kHealth = 0;            // every satellite the receiver sends is used
inline constexpr double kAccuracy = 0;          // metres: not known
inline constexpr double kCodesOnL2 = 0;         // not known
inline constexpr double kL2PDataFlag = 0;       // not known
inline constexpr double kFitIntervalHours = 4;  // the normal fit interval
}  // namespace rinex_navigation_defaults

// The header: version and type, program, the COMMENT lines naming the fixed values, the broadcast
// ionosphere when one is given (ION ALPHA, ION BETA: the receiver's records carry none, so it
// comes from a navigation file the user has), END OF HEADER.
std::string FormatRinexNavigationHeader(const RinexRunInfo& run,
                                        const std::optional<RinexIonosphere>& ionosphere = {});

// One record. `toeWeek` and `tocWeek` are the full GPS weeks of toe and toc; `transmissionTime` is
// the time of week, counted in the toe week, at which the record was received. Returns false and
// appends nothing when a field cannot be written (a corrupt record with a value that is not a
// number or does not fit the format).
bool AppendRinexNavigationRecord(std::string& out, const EphemerisRecord& record, int toeWeek,
                                 int tocWeek, double transmissionTime);
