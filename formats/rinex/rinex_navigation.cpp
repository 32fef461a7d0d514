#include "formats/rinex/rinex_navigation.hpp"

#include <cmath>
#include <string>

#include "formats/rinex/rinex_columns.hpp"
#include "formats/rinex/rinex_navigation_header.hpp"
#include "gnss/gps_time.hpp"
#include "orbit/satellite_position.hpp"

namespace {

constexpr std::size_t kNumberWidth = 19;  // D19.12
constexpr std::size_t kOrbitLines = 7;    // BROADCAST ORBIT - 1 to 7
constexpr std::size_t kOrbitIndent = 3;   // 3X before the four numbers of an orbit line
constexpr std::size_t kClockColumn = 22;  // the clock polynomial after I2,5I3,F5.1

// A number of the data records; a blank field is a spare or a value not known and reads 0.
bool ReadNumber(std::string_view field, double& value) {
    if (IsBlank(field)) {
        value = 0.0;
        return true;
    }
    return ReadExponential(field, value);
}

class NavigationParser {
  public:
    explicit NavigationParser(std::istream& in) : lines_(in) {}

    std::optional<RinexNavigationFile> Read(RinexError& error) {
        bool ok = ReadHeader();
        std::string_view line;
        while (ok && lines_.Next(line)) {
            if (IsBlank(line)) {
                const int firstBlank = lines_.LineNumber();
                if (!lines_.RestIsBlank()) {
                    failLine_ = lines_.Error().empty() ? firstBlank : 0;
                    ok = Fail(
                        "an empty line with records after it: only the end of the file may hold "
                        "empty lines");
                }
                break;
            }
            RinexEphemeris record;
            ok = ReadRecord(line, record);
            if (ok) {
                file_.records.push_back(record);
            }
        }
        if (ok && !lines_.Error().empty()) {
            ok = Fail("");
        }
        if (!ok) {
            error.line = failLine_ != 0 ? failLine_ : lines_.LineNumber();
            error.message = message_;
            return std::nullopt;
        }
        file_.ionosphere = header_.Ionosphere();
        return std::move(file_);
    }

  private:
    // A malformed line (too long, not ASCII) is the reason, whatever the caller was reading.
    bool Fail(std::string message) {
        if (lines_.Error().empty()) {
            message_ = std::move(message);
        } else {
            message_ = lines_.Error();
        }
        return false;
    }
    bool ReadHeader();
    bool ReadRecord(std::string_view line, RinexEphemeris& record);
    bool ReadClockEpoch(std::string_view line, RinexEphemeris& record);

    RinexLines lines_;
    RinexNavigationHeaderReader header_;
    RinexNavigationFile file_;
    int failLine_ = 0;  // when the error belongs to another line than the last one read
    std::string message_;
};

bool NavigationParser::ReadHeader() {
    if (lines_.AtEnd()) {
        failLine_ = 1;  // as an editor shows an empty file
        return Fail("the file is empty");
    }
    std::string_view line;
    std::string error;
    while (!header_.Ended()) {
        if (!lines_.Next(line)) {
            return Fail("the file ends before END OF HEADER");
        }
        if (!header_.Take(line, error)) {
            return Fail(error);
        }
    }
    return header_.Complete(error) || Fail(error);
}

// PRN / EPOCH / SV CLK: I2, 5I3 (two-digit year, month, day, hour, minute), F5.1 (second), then the
// clock bias, drift and drift rate (3D19.12).
bool NavigationParser::ReadClockEpoch(std::string_view line, RinexEphemeris& record) {
    if (!ReadInteger(Columns(line, 0, 2), record.prn) || record.prn < 1) {
        return Fail("the satellite number in columns 1-2 is " + Quoted(Columns(line, 0, 2)) +
                    ", not a PRN (I2)");
    }
    int yy = 0;
    CalendarTime t;
    int* fields[] = {&yy, &t.month, &t.day, &t.hour, &t.minute};
    for (std::size_t k = 0; k < 5; ++k) {
        if (!ReadInteger(Columns(line, 2 + 3 * k, 3), *fields[k]) || *fields[k] < 0) {
            return Fail("the clock epoch's date and time in columns 3-17 are not 5I3: " +
                        Quoted(Columns(line, 2, 15)));
        }
    }
    if (!ReadFixedUnits(Columns(line, 17, 5), 1, t.secondTicks)) {
        return Fail("the clock epoch's seconds in columns 18-22 are not F5.1: " +
                    Quoted(Columns(line, 17, 5)));
    }
    t.secondTicks *= kTicksPerSecond / 10;
    t.year = yy < 80 ? 2000 + yy : 1900 + yy;
    const std::optional<GpsTime> toc = RinexEpochTime(t);
    if (yy > 99 || !toc) {
        return Fail("the clock epoch in columns 3-22 is not a valid date and time: " +
                    Quoted(Columns(line, 2, 20)));
    }
    record.toc = *toc;
    double* clock[] = {&record.af0, &record.af1, &record.af2};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t start = kClockColumn + kNumberWidth * k;
        const std::string_view field = Columns(line, start, kNumberWidth);
        if (!ReadNumber(field, *clock[k])) {
            return Fail("clock polynomial: field " + std::to_string(k + 1) + " in " +
                        ColumnRange(start, kNumberWidth) + " is " + Quoted(field) +
                        ", not a number (D19.12)");
        }
    }
    if (!IsBlank(Columns(line, kClockColumn + 3 * kNumberWidth, 1))) {
        return Fail("text after the clock polynomial in column 80");
    }
    return true;
}

bool NavigationParser::ReadRecord(std::string_view line, RinexEphemeris& rec) {
    const int recordLine = lines_.LineNumber();
    if (!ReadClockEpoch(line, rec)) {
        return false;
    }
    double spare = 0;
    double* orbit[kOrbitLines][4] = {
        {&rec.iode, &rec.crs, &rec.deltaN, &rec.m0},
        {&rec.cuc, &rec.e, &rec.cus, &rec.rootA},
        {&rec.toe, &rec.cic, &rec.omega0, &rec.cis},
        {&rec.i0, &rec.crc, &rec.omega, &rec.omegaDot},
        {&rec.iDot, &rec.codesL2, &rec.gpsWeek, &rec.l2pFlag},
        {&rec.accuracy, &rec.health, &rec.tgd, &rec.iodc},
        {&rec.transmissionTime, &rec.fitInterval, &spare, &spare},
    };
    for (std::size_t row = 0; row < kOrbitLines; ++row) {
        const std::string where = "broadcast orbit line " + std::to_string(row + 1) +
                                  " of the record of line " + std::to_string(recordLine);
        if (!lines_.Next(line)) {
            return Fail("the file ends inside a navigation record (before " + where + ")");
        }
        if (!IsBlank(Columns(line, 0, kOrbitIndent))) {
            return Fail(where + ": columns 1-3 must be blank, not " +
                        Quoted(Columns(line, 0, kOrbitIndent)));
        }
        for (std::size_t col = 0; col < 4; ++col) {
            const std::size_t start = kOrbitIndent + kNumberWidth * col;
            const std::string_view field = Columns(line, start, kNumberWidth);
            if (!ReadNumber(field, *orbit[row][col])) {
                return Fail(where + ": field " + std::to_string(col + 1) + " in " +
                            ColumnRange(start, kNumberWidth) + " is " + Quoted(field) +
                            ", not a number (D19.12)");
            }
        }
        if (!IsBlank(Columns(line, kOrbitIndent + 4 * kNumberWidth, 1))) {
            return Fail(where + ": text after the fourth number in column 80");
        }
    }
    // toe is a time of the week; any other value would have no place in the ephemeris.
    if (!(rec.toe >= 0.0 && rec.toe < kSecondsPerWeek)) {
        failLine_ = recordLine + 3;
        return Fail("toe out of range (not a second of the week) in broadcast orbit line 3");
    }
    rec.tocSecondsOfWeek = rec.toc.SecondsOfWeek();
    return true;
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

std::optional<RinexNavigationFile> ReadRinexNavigation(std::istream& in, RinexError& error) {
    NavigationParser parser(in);
    return parser.Read(error);
}

std::optional<RinexNavigationFile> ParseRinexNavigation(std::string_view text, RinexError& error) {
    RinexTextBuffer buffer(text);
    std::istream in(&buffer);
    return ReadRinexNavigation(in, error);
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
