// Fixed-column fields of RINEX 2 lines, read strictly: a field holds exactly what its Fortran
// format allows, right-aligned in its columns, so that a value shifted by one column is refused
// instead of being read as another number. Lines may end early: writers drop trailing blanks, and
// the columns past the end of a line read as blank.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Columns [start, start + width) of a line (0-based), shortened where the line ends.
std::string_view Columns(std::string_view line, std::size_t start, std::size_t width);

bool IsBlank(std::string_view field);

// Iw: blanks, an optional minus sign and digits, right-aligned; a blank field is not a number.
bool ReadInteger(std::string_view field, int& value);

// Fw.d: blanks, an optional minus sign, digits, a point and exactly `decimals` digits after it,
// right-aligned. The value comes back as an integer count of 10^-decimals units, exact as written
// (decimals at most 9).
bool ReadFixedUnits(std::string_view field, int decimals, std::int64_t& units);

// Fw.d as a double (the nearest double to the written decimal).
bool ReadFixed(std::string_view field, int decimals, double& value);

// A decimal number anywhere in the field, blanks around it, any number of decimals (for the few
// header fields whose width writers do not keep).
bool ReadLooseDecimal(std::string_view field, double& value);

// The text of a RINEX file, line by line, with the 1-based number of the line last taken. CR LF
// and LF both end a line. A line longer than 80 characters, or holding anything but printable
// ASCII, ends the reading with an error.
class RinexLines {
  public:
    explicit RinexLines(std::string_view text) : text_(text) {}

    // False at the end of the text, or when the line is malformed (then `Error()` says why).
    bool Next(std::string_view& line);
    bool AtEnd() const { return pos_ >= text_.size(); }
    int LineNumber() const { return lineNumber_; }
    const std::string& Error() const { return error_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int lineNumber_ = 0;
    std::string error_;
};
