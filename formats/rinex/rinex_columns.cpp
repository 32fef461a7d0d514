#include "formats/rinex/rinex_columns.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view SkipLeadingBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    return s;
}

}  // namespace

std::string_view Columns(std::string_view line, std::size_t start, std::size_t width) {
    if (start >= line.size()) {
        return {};
    }
    return line.substr(start, width);
}

bool IsBlank(std::string_view field) {
    return field.find_first_not_of(' ') == std::string_view::npos;
}

std::string Quoted(std::string_view field) {
    std::string out(1, '\'');
    out.append(field).push_back('\'');
    return out;
}

std::string ColumnRange(std::size_t start, std::size_t width) {
    return "columns " + std::to_string(start + 1) + "-" + std::to_string(start + width);
}

bool ReadInteger(std::string_view field, int& value) {
    const std::string_view s = SkipLeadingBlanks(field);
    if (s.empty() || s.size() > 9) {
        return false;
    }
    std::size_t k = s.front() == '-' ? 1 : 0;
    if (k == s.size()) {
        return false;
    }
    int v = 0;
    for (; k < s.size(); ++k) {
        if (!IsDigit(s[k])) {
            return false;
        }
        v = v * 10 + (s[k] - '0');
    }
    value = s.front() == '-' ? -v : v;
    return true;
}

bool ReadFixedUnits(std::string_view field, int decimals, std::int64_t& units) {
    const std::string_view s = SkipLeadingBlanks(field);
    if (decimals < 0 || decimals > 9 || s.size() > 20) {
        return false;
    }
    const bool negative = !s.empty() && s.front() == '-';
    const std::string_view body = negative ? s.substr(1) : s;
    const std::size_t point = body.find('.');
    if (point == std::string_view::npos ||
        body.size() - point - 1 != static_cast<std::size_t>(decimals)) {
        return false;
    }
    std::int64_t v = 0;
    int digits = 0;
    for (std::size_t k = 0; k < body.size(); ++k) {
        if (k == point) {
            continue;
        }
        if (!IsDigit(body[k])) {
            return false;
        }
        v = v * 10 + (body[k] - '0');  // at most 18 digits: no overflow
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    units = negative ? -v : v;
    return true;
}

bool ReadFixed(std::string_view field, int decimals, double& value) {
    std::int64_t units = 0;
    if (!ReadFixedUnits(field, decimals, units)) {
        return false;
    }
    // The written text itself, converted once: the nearest double to the decimal.
    std::string_view s = SkipLeadingBlanks(field);
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

bool ReadExponential(std::string_view field, double& value) {
    const std::string_view s = SkipLeadingBlanks(field);
    if (s.empty() || s.size() > 40) {
        return false;
    }
    char text[48];
    std::size_t n = 0;
    std::size_t k = 0;
    if (s[k] == '+' || s[k] == '-') {
        if (s[k] == '-') {
            text[n++] = '-';
        }
        ++k;
    }
    int mantissaDigits = 0;
    bool point = false;
    for (; k < s.size() && (IsDigit(s[k]) || (s[k] == '.' && !point)); ++k) {
        point = point || s[k] == '.';
        mantissaDigits += IsDigit(s[k]) ? 1 : 0;
        text[n++] = s[k];
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (k < s.size()) {
        if (std::string_view("DEde").find(s[k]) == std::string_view::npos) {
            return false;
        }
        text[n++] = 'e';
        ++k;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) {
            text[n++] = s[k++];
        }
        const std::size_t exponentDigits = s.size() - k;
        if (exponentDigits < 1 || exponentDigits > 3) {
            return false;
        }
        for (; k < s.size(); ++k) {
            if (!IsDigit(s[k])) {
                return false;
            }
            text[n++] = s[k];
        }
    }
    const auto result = std::from_chars(text, text + n, value);
    return result.ec == std::errc() && result.ptr == text + n && std::isfinite(value);
}

bool ReadLooseDecimal(std::string_view field, double& value) {
    std::string_view s = SkipLeadingBlanks(field);
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    if (s.empty() || s.size() > 40) {
        return false;
    }
    for (char c : s) {
        if (!IsDigit(c) && c != '.' && c != '-') {
            return false;
        }
    }
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && std::isfinite(value);
}

bool RinexLines::Next(std::string_view& line) {
    if (!error_.empty()) {
        return false;
    }
    in_.getline(buffer_, sizeof buffer_);
    const auto extracted = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) {
        error_ = "the file could not be read";
        return false;
    }
    if (extracted == 0 && in_.eof()) {
        return false;  // the end of the text (a last line without LF has been taken already)
    }
    ++lineNumber_;
    if (in_.fail() && !in_.eof()) {
        // The buffer filled before a line end: the line is longer than any RINEX line may be.
        error_ = "line longer than 80 characters";
        return false;
    }
    // A line ended by LF has the LF counted but not stored; the last line may end without one.
    std::size_t length = in_.eof() ? extracted : extracted - 1;
    if (length > 0 && buffer_[length - 1] == '\r') {
        --length;
    }
    line = std::string_view(buffer_, length);
    if (line.size() > kMaxLineLength) {
        error_ = "line of " + std::to_string(line.size()) + " characters, longer than 80";
        return false;
    }
    for (char c : line) {
        if (c < ' ' || c > '~') {
            error_ = "character " + std::to_string(static_cast<unsigned char>(c)) +
                     " is not printable ASCII";
            return false;
        }
    }
    return true;
}

bool RinexLines::RestIsBlank() {
    std::string_view line;
    while (Next(line)) {
        if (!IsBlank(line)) {
            return false;
        }
    }
    return error_.empty();
}
