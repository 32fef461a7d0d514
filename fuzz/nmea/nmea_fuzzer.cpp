// The NMEA 0183 and GPX writers on arbitrary values: whatever a fix of a corrupt log may hold
// (huge, negative, not finite, latitudes beyond the poles, dates far off), the output keeps its
// form.
//
// Each input must give:
//  - RMC, GGA, GSA, then one GSV per four satellites (at least one), then ZDA;
//  - every sentence `$`, printable ASCII without `$` or `*`, `*`, the checksum of what lies
//    between as two upper-case hex digits, CR LF, at most 82 characters, with the sentence's own
//    number of fields;
//  - a GPX track point that says nothing a reader would take for a number but is none ("nan",
//    "inf"), and whose longitude lies in [-180, 180).
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/gpx/gpx_track.hpp"
#include "formats/nmea/nmea_sentences.hpp"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "fuzz_nmea: property violated: %s\n%s\n", what, text.c_str());
    std::abort();
}

void CheckSentence(const std::string& s, const char* id, std::size_t fields) {
    if (s.size() > kNmeaMaxSentence || s.size() < 11 || s[0] != '$' ||
        s.compare(s.size() - 2, 2, "\r\n") != 0 || s[s.size() - 5] != '*') {
        Fail("a sentence out of form", s);
    }
    const std::string body = s.substr(1, s.size() - 6);
    for (const char c : body) {
        if (c < 0x20 || c > 0x7E || c == '$' || c == '*') {
            Fail("a character a sentence must not hold", s);
        }
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", NmeaChecksum(body));
    if (s.compare(s.size() - 4, 2, hex) != 0) {
        Fail("a wrong checksum", s);
    }
    if (body.compare(0, 5, id) != 0) {
        Fail("a sentence out of order", s);
    }
    std::size_t commas = 0;
    for (const char c : body) {
        commas += c == ',' ? 1 : 0;
    }
    if (fields != 0 && commas != fields) {
        Fail("a sentence with the wrong number of fields", s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    NmeaEpoch e;
    // Any millisecond from year -30000 to +30000 or so: the calendar must hold.
    e.utc = std::chrono::sys_time<std::chrono::milliseconds>(std::chrono::milliseconds(
        in.ConsumeIntegralInRange<std::int64_t>(-1'000'000'000'000'000, 1'000'000'000'000'000)));
    e.hasFix = in.ConsumeBool();
    e.fix = {in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>(),
             in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>(),
             in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>(),
             in.ConsumeFloatingPoint<double>()};
    // Mostly latitudes and longitudes as a fix gives them, within their ranges.
    if (in.ConsumeBool()) {
        e.fix.latitudeDeg = in.ConsumeFloatingPointInRange(-90.0, 90.0);
        e.fix.longitudeDeg = in.ConsumeFloatingPointInRange(-180.0, 180.0);
    }
    std::vector<int> used(in.ConsumeIntegralInRange<std::size_t>(0, 40));
    for (int& prn : used) {
        prn = in.ConsumeIntegralInRange(1, 37);
    }
    std::vector<NmeaSatellite> view(in.ConsumeIntegralInRange<std::size_t>(0, 37));
    for (NmeaSatellite& s : view) {
        s = {in.ConsumeIntegralInRange(1, 37), in.ConsumeBool(),
             in.ConsumeFloatingPointInRange(-90.0, 90.0),
             in.ConsumeFloatingPointInRange(0.0, 360.0)};
    }
    e.usedPrns = used;
    e.inView = view;

    // The calendar of <chrono> covers years -32767 to 32767; beyond them there is no date.
    const auto day = std::chrono::floor<std::chrono::days>(e.utc);
    if (!std::chrono::year_month_day{day}.ok()) {
        return 0;
    }
    std::string text;
    AppendNmeaEpoch(e, text);
    std::vector<std::string> sentences;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            Fail("text after the last CR LF", text);
        }
        sentences.push_back(text.substr(at, end + 2 - at));
        at = end + 2;
    }
    const std::size_t gsv = view.empty() ? 1 : (view.size() + 3) / 4;
    if (sentences.size() != 4 + gsv) {
        Fail("the wrong number of sentences", text);
    }
    CheckSentence(sentences[0], "GPRMC", 12);
    CheckSentence(sentences[1], "GPGGA", 14);
    CheckSentence(sentences[2], "GPGSA", 17);
    for (std::size_t k = 0; k < gsv; ++k) {
        const std::size_t here =
            std::min<std::size_t>(4, view.size() - std::min(view.size(), 4 * k));
        CheckSentence(sentences[3 + k], "GPGSV", 3 + 4 * here);
    }
    CheckSentence(sentences.back(), "GPZDA", 6);

    GpxTrackPoint p;
    p.latitudeDeg = e.fix.latitudeDeg;
    p.longitudeDeg = e.fix.longitudeDeg;
    p.elevationM = e.fix.altitudeM;
    p.geoidHeightM = e.fix.separationM;
    p.utc = e.utc;
    p.satellites = static_cast<int>(used.size());
    p.hdop = e.fix.hdop;
    p.vdop = e.fix.vdop;
    p.pdop = e.fix.pdop;
    std::string xml;
    AppendGpxTrackPoint(p, xml);
    if (xml.find("nan") != std::string::npos || xml.find("inf") != std::string::npos) {
        Fail("a GPX value that is not a number", xml);
    }
    const std::size_t lon = xml.find("lon=\"");
    if (lon != std::string::npos) {
        const double value = std::strtod(xml.c_str() + lon + 5, nullptr);
        if (value < -180.0 || value >= 180.0) {
            Fail("a GPX longitude outside [-180, 180)", xml);
        }
    }
    return 0;
}
