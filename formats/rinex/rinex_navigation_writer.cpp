#include "formats/rinex/rinex_navigation_writer.hpp"

#include <cmath>

#include "formats/rinex/rinex_fields.hpp"
#include "formats/rinex/rinex_time.hpp"
#include "orbit/satellite_position.hpp"

using namespace rinex_fields;

namespace {

// 2X,4D12.4; false when a coefficient does not fit.
bool AppendIonosphereLine(std::string& out, const std::array<double, 4>& values,
                          std::string_view label) {
    std::string line = "  ";
    for (double v : values) {
        if (!AppendD12(line, v)) {
            return false;
        }
    }
    AppendHeaderLine(out, line, label);
    return true;
}

}  // namespace

std::string FormatRinexNavigationHeader(const RinexRunInfo& run,
                                        const std::optional<RinexIonosphere>& ionosphere) {
    namespace d = rinex_navigation_defaults;
    std::string out;
    AppendHeaderLine(out, "     2.11           N: GPS NAV DATA", "RINEX VERSION / TYPE");
    AppendRunInfoLine(out, run);
    const char* comments[] = {
        "Ephemerides as the receiver sent them in its SNV records.",
        "Not carried by the records, written as fixed values:",
        "IODE 0, IODC 0, SV health 0, SV accuracy 0 m,",
        "codes on L2 0, L2 P data flag 0, fit interval 4 hours.",
        "Transmission time: receive time of the epoch that brought",
        "the record.",
    };
    static_assert(d::kIssueOfData == 0 && d::kHealth == 0 && d::kAccuracy == 0 &&
                      d::kCodesOnL2 == 0 && d::kL2PDataFlag == 0 && d::kFitIntervalHours == 4,
                  "the header's COMMENT lines name these values");
    for (const char* c : comments) {
        AppendHeaderLine(out, c, "COMMENT");
    }
    std::string ionosphereLines;
    if (ionosphere && AppendIonosphereLine(ionosphereLines, ionosphere->alpha, "ION ALPHA") &&
        AppendIonosphereLine(ionosphereLines, ionosphere->beta, "ION BETA")) {
        AppendHeaderLine(out, "ION ALPHA / BETA: from a navigation file, not the records.",
                         "COMMENT");
        out.append(ionosphereLines);
    } else {
        AppendHeaderLine(out, "No ionospheric model is carried.", "COMMENT");
    }
    AppendHeaderLine(out, "", "END OF HEADER");
    return out;
}

bool AppendRinexNavigationRecord(std::string& out, const EphemerisRecord& r, int toeWeek,
                                 int tocWeek, double transmissionTime) {
    namespace d = rinex_navigation_defaults;
    using orbit_constants::kPi;
    const int prn = r.prn + 1;
    if (prn < 1 || prn > 99) {
        return false;
    }
    // A toe or toc outside the week comes only from a corrupt record.
    const auto inWeek = [](std::int32_t t) { return t >= 0 && std::chrono::seconds(t) < kGpsWeek; };
    if (!inWeek(r.toe) || !inWeek(r.toc)) {
        return false;
    }
    const GpsTime tocTime = GpsTime::FromWeek(tocWeek, std::chrono::seconds(r.toc));
    if (!IsRinexEpoch(tocTime)) {
        return false;
    }
    const CalendarTime toc = tocTime.Calendar();
    // Angles and angular rates: semicircles in the record, radians in the file, by the same
    // value of pi the orbit computation multiplies them with.
    const double orbit[7][4] = {
        {d::kIssueOfData, r.crs, r.deltaN * kPi, r.m0 * kPi},
        {r.cuc, r.e, r.cus, r.rootA},
        {static_cast<double>(r.toe), r.cic, r.omega0 * kPi, r.cis},
        {r.i0 * kPi, r.crc, r.omega * kPi, r.omegaDot * kPi},
        {r.iDot * kPi, d::kCodesOnL2, static_cast<double>(toeWeek), d::kL2PDataFlag},
        {d::kAccuracy, d::kHealth, r.tgd, d::kIssueOfData},
        {transmissionTime, d::kFitIntervalHours, 0, 0},
    };
    std::string text;
    AppendInteger(text, prn, 2);
    AppendInteger(text, toc.year % 100, 3);
    AppendInteger(text, toc.month, 3);
    AppendInteger(text, toc.day, 3);
    AppendInteger(text, toc.hour, 3);
    AppendInteger(text, toc.minute, 3);
    // F5.1: the toc is a whole second of the week.
    bool ok = AppendFixedUnits(text, toc.secondTicks / (kTicksPerSecond / 10), 5, 1);
    ok = ok && AppendD19(text, r.af0) && AppendD19(text, r.af1) && AppendD19(text, r.af2);
    text.push_back('\n');
    for (int row = 0; row < 7 && ok; ++row) {
        text.append("   ");
        const int fields = row == 6 ? 2 : 4;  // the last line's two spares are left blank
        for (int col = 0; col < fields && ok; ++col) {
            ok = AppendD19(text, orbit[row][col]);
        }
        text.push_back('\n');
    }
    if (!ok) {
        return false;
    }
    out.append(text);
    return true;
}
