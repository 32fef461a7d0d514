// Fixed-column fields of RINEX 2 lines, read strictly: a field holds exactly what its Fortran
// format allows, right-aligned in its columns, so that a value shifted by one column is refused
// instead of being read as another number. Lines may end early: writers drop trailing blanks, and
// the columns past the end of a line read as blank.
#pragma once

#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

// Columns [start, start + width) of a line (0-based), shortened where the line ends.
std::string_view Columns(std::string_view line, std::size_t start, std::size_t width);

bool IsBlank(std::string_view field);

// A field's text between single quotes, for messages: an empty field shows as ''.
std::string Quoted(std::string_view field);
// "columns 23-41" for a field of `width` from the 0-based `start`, as messages name it.
std::string ColumnRange(std::size_t start, std::size_t width);

// Iw: blanks, an optional minus sign and digits, right-aligned; a blank field is not a number.
bool ReadInteger(std::string_view field, int& value);

// Fw.d: blanks, an optional minus sign, digits, a point and exactly `decimals` digits after it,
// right-aligned. The value comes back as an integer count of 10^-decimals units, exact as written
// (decimals at most 9).
bool ReadFixedUnits(std::string_view field, int decimals, std::int64_t& units);

// Fw.d as a double (the nearest double to the written decimal).
bool ReadFixed(std::string_view field, int decimals, double& value);

// Dw.d (or Ew.d): blanks, an optional sign, digits with a point, and an exponent of D, E, d or e
// with an optional sign and one to three digits (a number without an exponent is read too, as a
// Fortran reader of the field does), right-aligned; finite values only.
bool ReadExponential(std::string_view field, double& value);

// A decimal number anywhere in the field, blanks around it, any number of decimals (for the few
// header fields whose width writers do not keep).
bool ReadLooseDecimal(std::string_view field, double& value);

// The text of a RINEX file, line by line from a stream, with the 1-based number of the line last
// taken. CR LF and LF both end a line. A line longer than 80 characters, or holding anything but
// printable ASCII, ends the reading with an error; at most 82 characters of a line are ever read,
// so a file that is no text (a device of zeros, a binary file of gigabytes) is refused at its first
// long line without being read to its end. Nothing but the current line is kept.
class RinexLines {
  public:
    explicit RinexLines(std::istream& in) : in_(in) {}

    // False at the end of the text, or when the line is malformed (then `Error()` says why). The
    // line stays valid until the next call.
    bool Next(std::string_view& line);
    // True when no character is left to read (an empty file before the first line).
    bool AtEnd() const { return !error_.empty() || in_.peek() == std::istream::traits_type::eof(); }
    // After a blank line: true when only blank lines follow it to the end of the text (as editors
    // and concatenation leave them); false at the first line that is not blank, or at a malformed
    // line (then Error() says why).
    bool RestIsBlank();
    int LineNumber() const { return lineNumber_; }
    const std::string& Error() const { return error_; }

  private:
    static constexpr std::size_t kMaxLineLength = 80;
    std::istream& in_;
    char buffer_[kMaxLineLength + 3];  // the line, its CR, and one more to see that it is too long
    int lineNumber_ = 0;
    std::string error_;
};

// A stream over text the caller owns, read in place (no copy of a file already in memory).
class RinexTextBuffer : public std::streambuf {
  public:
    explicit RinexTextBuffer(std::string_view text) {
        char* begin = const_cast<char*>(text.data());  // only ever read
        setg(begin, begin, begin + text.size());
    }
};
