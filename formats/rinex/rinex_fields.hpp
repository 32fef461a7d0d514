// The fixed-width fields of RINEX 2 lines, written the way the format's Fortran descriptors read
// them: D19.12 for navigation values, Fn.d for observations and header numbers, In for integers,
// and header lines of 60 columns of content followed by the label in columns 61-80.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/rinex/rinex_run_info.hpp"

namespace rinex_fields {

// False when the value cannot be written in the field (not finite, or too wide); nothing is
// appended then.
bool AppendD19(std::string& out, double value);  // D19.12: " 1.234567890123D+04"
bool AppendD12(std::string& out, double value);  // D12.4: "  1.2346D+04"
bool AppendFixed(std::string& out, double value, int width, int decimals);
// Fw.d of a value given exactly as an integer count of 10^-decimals units.
bool AppendFixedUnits(std::string& out, std::int64_t units, int width, int decimals);
void AppendInteger(std::string& out, long value, int width);
// Text left-aligned and cut or padded to `width`.
void AppendText(std::string& out, std::string_view text, int width);
// `content` cut or padded to 60 columns, then the label, then a newline.
void AppendHeaderLine(std::string& out, std::string_view content, std::string_view label);
// PGM / RUN BY / DATE: 3A20.
void AppendRunInfoLine(std::string& out, const RinexRunInfo& run);

}  // namespace rinex_fields
