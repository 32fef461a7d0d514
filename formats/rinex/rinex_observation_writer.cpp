#include "formats/rinex/rinex_observation_writer.hpp"

#include <cmath>

#include "formats/rinex/rinex_fields.hpp"

using namespace rinex_fields;

namespace {

// The seconds as written and read: seven decimals, exact.
constexpr int kSecondDecimals = 7;
static_assert(kTicksPerSecond == 10000000);

void AppendTimeOfObs(std::string& out, GpsTime time, std::string_view label) {
    const CalendarTime t = time.Calendar();
    std::string line;
    AppendInteger(line, t.year, 6);
    AppendInteger(line, t.month, 6);
    AppendInteger(line, t.day, 6);
    AppendInteger(line, t.hour, 6);
    AppendInteger(line, t.minute, 6);
    AppendFixedUnits(line, t.secondTicks, 13, kSecondDecimals);
    line.append("     GPS");
    AppendHeaderLine(out, line, label);
}

}  // namespace

std::string FormatRinexObservationHeader(const RinexObservationHeaderValues& h) {
    std::string out;
    AppendHeaderLine(out, "     2.11           OBSERVATION DATA    G (GPS)",
                     "RINEX VERSION / TYPE");
    AppendRunInfoLine(out, h.run);
    for (const std::string& c : h.comments) {
        AppendHeaderLine(out, c, "COMMENT");
    }
    if (!h.haveApproxPosition) {
        AppendHeaderLine(out, "No epoch of the log has a fix: approximate position unknown.",
                         "COMMENT");
    }
    AppendHeaderLine(out, h.markerName, "MARKER NAME");
    std::string line;
    AppendHeaderLine(out, "", "OBSERVER / AGENCY");
    AppendHeaderLine(out, "", "REC # / TYPE / VERS");
    AppendHeaderLine(out, "", "ANT # / TYPE");
    line.clear();
    // A fix far outside the earth (a corrupt log) does not fit F14.4 and is written as zeros.
    const bool fits = h.haveApproxPosition && AppendFixed(line, h.approxX, 14, 4) &&
                      AppendFixed(line, h.approxY, 14, 4) && AppendFixed(line, h.approxZ, 14, 4);
    if (!fits) {
        line.clear();
        for (int k = 0; k < 3; ++k) {
            AppendFixed(line, 0.0, 14, 4);
        }
    }
    AppendHeaderLine(out, line, "APPROX POSITION XYZ");
    line.clear();
    for (int k = 0; k < 3; ++k) {
        AppendFixed(line, 0.0, 14, 4);
    }
    AppendHeaderLine(out, line, "ANTENNA: DELTA H/E/N");
    AppendHeaderLine(out, "     1     0", "WAVELENGTH FACT L1/2");
    AppendHeaderLine(out, "     1    C1", "# / TYPES OF OBSERV");
    if (h.interval > 0) {
        line.clear();
        if (AppendFixed(line, h.interval, 10, 3)) {
            AppendHeaderLine(out, line, "INTERVAL");
        }
    }
    AppendTimeOfObs(out, h.firstEpoch, "TIME OF FIRST OBS");
    AppendTimeOfObs(out, h.lastEpoch, "TIME OF LAST OBS");
    AppendHeaderLine(out, "", "END OF HEADER");
    return out;
}

bool IsWritableRange(const ObservedRange& range) {
    return range.prn >= 1 && range.prn <= 99 && std::isfinite(range.c1) &&
           range.c1 > -999999999.9995 && range.c1 < 9999999999.9995;
}

void AppendRinexObservationEpoch(std::string& out, GpsTime time,
                                 std::span<const ObservedRange> ranges) {
    const CalendarTime t = time.Calendar();
    char year[4];
    year[0] = ' ';
    year[1] = static_cast<char>('0' + t.year % 100 / 10);
    year[2] = static_cast<char>('0' + t.year % 10);
    out.append(year, 3);
    AppendInteger(out, t.month, 3);
    AppendInteger(out, t.day, 3);
    AppendInteger(out, t.hour, 3);
    AppendInteger(out, t.minute, 3);
    AppendFixedUnits(out, t.secondTicks, 11, kSecondDecimals);
    out.append("  0");
    AppendInteger(out, static_cast<long>(ranges.size()), 3);
    for (std::size_t k = 0; k < ranges.size(); ++k) {
        if (k > 0 && k % 12 == 0) {
            out.push_back('\n');
            out.append(32, ' ');
        }
        out.push_back('G');
        out.push_back(static_cast<char>('0' + ranges[k].prn / 10));
        out.push_back(static_cast<char>('0' + ranges[k].prn % 10));
    }
    out.push_back('\n');
    for (const ObservedRange& r : ranges) {
        AppendFixed(out, r.c1, 14, 3);
        out.push_back('\n');
    }
}
