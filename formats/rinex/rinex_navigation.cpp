#include "formats/rinex/rinex_navigation.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "gnss/gps_time.hpp"
#include "orbit/satellite_position.hpp"

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view Field(std::string_view line, std::size_t start, std::size_t width) {
    if (start >= line.size()) {
        return {};
    }
    return Trim(line.substr(start, width));
}

// A Fortran-style number: D or E exponent, optional sign; a blank field is a spare and reads 0.
bool ParseNumber(std::string_view field, double& value) {
    if (field.empty()) {
        value = 0.0;
        return true;
    }
    if (field.size() > 40) {
        return false;
    }
    char buffer[48];
    std::size_t n = 0;
    for (char c : field) {
        buffer[n++] = (c == 'D' || c == 'd') ? 'E' : c;
    }
    const char* begin = buffer;
    const char* end = buffer + n;
    if (*begin == '+') {
        ++begin;
    }
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

bool ParseInteger(std::string_view field, int& value) {
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    return !field.empty() && result.ec == std::errc() && result.ptr == field.data() + field.size();
}

// Narrowing that stays defined for values a corrupt file may hold.
float ToFloat(double v) {
    constexpr double kMax = 3.4028234663852886e38;
    if (v > kMax) {
        return HUGE_VALF;
    }
    if (v < -kMax) {
        return -HUGE_VALF;
    }
    return static_cast<float>(v);
}

std::int32_t ToSecondsOfWeek(double v) {
    if (!(v > -2147483648.0 && v < 2147483647.0)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::lround(v));
}

}  // namespace

std::optional<RinexNavigationFile> ParseRinexNavigation(std::string_view text, RinexError& error) {
    RinexNavigationFile file;
    std::size_t pos = 0;
    int lineNumber = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= text.size()) {
            return false;
        }
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        pos = end + 1;
        ++lineNumber;
        return true;
    };
    auto fail = [&](std::string message) -> std::optional<RinexNavigationFile> {
        error.line = lineNumber;
        error.message = std::move(message);
        return std::nullopt;
    };

    // Header: up to END OF HEADER; the version line must say a navigation file.
    std::string_view line;
    bool sawEnd = false;
    bool first = true;
    while (nextLine(line)) {
        if (first) {
            first = false;
            if (line.size() < 21 || (line[20] != 'N' && line[20] != 'n')) {
                return fail(
                    "not a RINEX GPS navigation file (no 'N' file type in the version line)");
            }
        }
        if (line.size() >= 73 && line.substr(60, 13) == "END OF HEADER") {
            sawEnd = true;
            break;
        }
    }
    if (!sawEnd) {
        return fail("no END OF HEADER line");
    }

    while (nextLine(line)) {
        if (Trim(line).empty()) {
            continue;
        }
        RinexEphemeris rec;
        int yy = 0;
        if (!ParseInteger(Field(line, 0, 2), rec.prn) || rec.prn < 1 || rec.prn > 99) {
            return fail("bad satellite number in columns 1-2");
        }
        if (!ParseInteger(Field(line, 2, 3), yy) || !ParseInteger(Field(line, 5, 3), rec.month) ||
            !ParseInteger(Field(line, 8, 3), rec.day) ||
            !ParseInteger(Field(line, 11, 3), rec.hour) ||
            !ParseInteger(Field(line, 14, 3), rec.minute) ||
            !ParseNumber(Field(line, 17, 5), rec.second)) {
            return fail("bad clock epoch in columns 3-22");
        }
        if (yy < 0 || yy > 99 || rec.month < 1 || rec.month > 12 || rec.day < 1 || rec.day > 31 ||
            rec.hour < 0 || rec.hour > 23 || rec.minute < 0 || rec.minute > 59 || rec.second < 0 ||
            rec.second >= 61) {
            return fail("clock epoch out of range");
        }
        rec.year = yy < 80 ? 2000 + yy : 1900 + yy;
        if (!ParseNumber(Field(line, 22, 19), rec.af0) ||
            !ParseNumber(Field(line, 41, 19), rec.af1) ||
            !ParseNumber(Field(line, 60, 19), rec.af2)) {
            return fail("bad clock polynomial");
        }
        double* orbit[7][4] = {
            {&rec.iode, &rec.crs, &rec.deltaN, &rec.m0},
            {&rec.cuc, &rec.e, &rec.cus, &rec.rootA},
            {&rec.toe, &rec.cic, &rec.omega0, &rec.cis},
            {&rec.i0, &rec.crc, &rec.omega, &rec.omegaDot},
            {&rec.iDot, &rec.codesL2, &rec.gpsWeek, &rec.l2pFlag},
            {&rec.accuracy, &rec.health, &rec.tgd, &rec.iodc},
            {&rec.transmissionTime, &rec.fitInterval, nullptr, nullptr},
        };
        for (int row = 0; row < 7; ++row) {
            if (!nextLine(line)) {
                return fail("file ends inside a navigation record");
            }
            for (int col = 0; col < 4; ++col) {
                double spare = 0.0;
                double* target = orbit[row][col] != nullptr ? orbit[row][col] : &spare;
                if (!ParseNumber(Field(line, 3 + 19 * static_cast<std::size_t>(col), 19),
                                 *target)) {
                    return fail("bad number in broadcast orbit line " + std::to_string(row + 1) +
                                ", field " + std::to_string(col + 1));
                }
            }
            // toe is a time of the week; any other value would have no place in the ephemeris.
            if (row == 2 && !(rec.toe >= 0.0 && rec.toe < orbit_constants::kWeek)) {
                return fail("toe out of range (0 to 604800 s of week) in broadcast orbit line 3");
            }
        }
        const long days = DaysFromGpsEpoch(rec.year, rec.month, rec.day);
        const long dayOfWeek = ((days % 7) + 7) % 7;
        rec.tocSecondsOfWeek = static_cast<double>(dayOfWeek) * 86400.0 + rec.hour * 3600.0 +
                               rec.minute * 60.0 + rec.second;
        file.records.push_back(rec);
    }
    return file;
}

EphemerisRecord ToEphemerisRecord(const RinexEphemeris& r) {
    using orbit_constants::kPi;
    EphemerisRecord e{};
    e.prn = static_cast<std::int8_t>(r.prn - 1);
    e.iDot = ToFloat(r.iDot / kPi);
    e.omegaDot = ToFloat(r.omegaDot / kPi);
    e.i0 = r.i0 / kPi;
    e.omega = r.omega / kPi;
    e.omega0 = r.omega0 / kPi;
    e.cus = ToFloat(r.cus);
    e.cuc = ToFloat(r.cuc);
    e.crs = ToFloat(r.crs);
    e.cis = ToFloat(r.cis);
    e.crc = ToFloat(r.crc);
    e.cic = ToFloat(r.cic);
    e.toe = ToSecondsOfWeek(r.toe);
    e.rootA = r.rootA;
    e.e = r.e;
    e.m0 = r.m0 / kPi;
    e.deltaN = ToFloat(r.deltaN / kPi);
    e.af0 = ToFloat(r.af0);
    e.af1 = ToFloat(r.af1);
    e.af2 = ToFloat(r.af2);
    e.toc = ToSecondsOfWeek(r.tocSecondsOfWeek);
    e.tgd = ToFloat(r.tgd);
    return e;
}
