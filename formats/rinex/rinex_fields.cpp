#include "formats/rinex/rinex_fields.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace rinex_fields {

namespace {

// Dw.d with a two-digit exponent: what printf writes as E, with the letter RINEX 2 uses.
bool AppendExponential(std::string& out, double value, int width, int decimals) {
    if (!std::isfinite(value)) {
        return false;
    }
    // A value too small for a two-digit exponent is written as zero, as a Fortran reader of the
    // field would read it anyway; one too large does not fit the field.
    if (std::fabs(value) < 1e-99) {
        value = 0.0;
    }
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%*.*E", width, decimals, value);
    const int letter = width - 4;
    if (n != width || text[letter] != 'E') {  // a three-digit exponent does not fit
        return false;
    }
    text[letter] = 'D';
    out.append(text, static_cast<std::size_t>(width));
    return true;
}

}  // namespace

bool AppendD19(std::string& out, double value) {
    return AppendExponential(out, value, 19, 12);
}

bool AppendD12(std::string& out, double value) {
    return AppendExponential(out, value, 12, 4);
}

bool AppendFixed(std::string& out, double value, int width, int decimals) {
    if (!std::isfinite(value) || width > 40 || decimals < 0 || decimals > 9) {
        return false;
    }
    // Scaled to an integer count of the last decimal and written digit by digit: an observation
    // file holds hundreds of thousands of these fields, and printf's rounding of the exact binary
    // value differs from this only for values within a rounding error of a half of the last digit.
    static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const double scaled = std::round(std::fabs(value) * kScale[decimals]);
    if (!(scaled < 9e17)) {
        return false;
    }
    const auto units = static_cast<std::int64_t>(scaled);
    return AppendFixedUnits(out, value < 0 ? -units : units, width, decimals);
}

bool AppendFixedUnits(std::string& out, std::int64_t units, int width, int decimals) {
    if (width > 40 || decimals < 0 || decimals > 18 ||
        units == std::numeric_limits<std::int64_t>::min()) {
        return false;
    }
    auto magnitude = static_cast<std::uint64_t>(units < 0 ? -units : units);
    char digits[48];
    int n = 0;
    for (int k = 0; k < decimals; ++k) {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    if (decimals > 0) {
        digits[n++] = '.';
    }
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (units < 0) {
        digits[n++] = '-';
    }
    if (n > width) {
        return false;
    }
    out.append(static_cast<std::size_t>(width - n), ' ');
    for (int k = n - 1; k >= 0; --k) {
        out.push_back(digits[k]);
    }
    return true;
}

void AppendInteger(std::string& out, long value, int width) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    const auto n = static_cast<int>(end - text);
    if (n < width) {
        out.append(static_cast<std::size_t>(width - n), ' ');
    }
    out.append(text, static_cast<std::size_t>(n));
}

void AppendText(std::string& out, std::string_view text, int width) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::string_view cut = text.substr(0, w);
    out.append(cut);
    out.append(w - cut.size(), ' ');
}

void AppendHeaderLine(std::string& out, std::string_view content, std::string_view label) {
    AppendText(out, content, 60);
    out.append(label.substr(0, 20));
    out.push_back('\n');
}

void AppendRunInfoLine(std::string& out, const RinexRunInfo& run) {
    std::string line;
    AppendText(line, run.program, 20);
    AppendText(line, run.runBy, 20);
    AppendText(line, run.date, 20);
    AppendHeaderLine(out, line, "PGM / RUN BY / DATE");
}

}  // namespace rinex_fields
