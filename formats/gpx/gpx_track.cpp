#include "formats/gpx/gpx_track.hpp"

#include <cmath>

#include "formats/text/fixed_numbers.hpp"

namespace {

using namespace std::chrono;

void AppendEscaped(std::string_view text, std::string& out) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            default: {
                const auto u = static_cast<unsigned char>(c);
                out.push_back(u >= 0x20 && u < 0x7F ? c : '?');
            }
        }
    }
}

void AppendElement(const char* name, double value, int decimals, std::string& out) {
    if (!std::isfinite(value)) {
        return;
    }
    out.append("<").append(name).append(">");
    AppendFixed(value, decimals, out);
    out.append("</").append(name).append(">");
}

// xsd:dateTime in UTC: 2010-07-01T12:00:00Z, or 2010-07-01T12:00:00.250Z.
void AppendTime(sys_time<milliseconds> utc, std::string& out) {
    const auto day = floor<days>(utc);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{utc - day};
    out.append("<time>");
    AppendPadded(static_cast<int>(date.year()), 4, out);
    out.push_back('-');
    AppendPadded(static_cast<unsigned>(date.month()), 2, out);
    out.push_back('-');
    AppendPadded(static_cast<unsigned>(date.day()), 2, out);
    out.push_back('T');
    AppendPadded(time.hours().count(), 2, out);
    out.push_back(':');
    AppendPadded(time.minutes().count(), 2, out);
    out.push_back(':');
    AppendPadded(time.seconds().count(), 2, out);
    if (time.subseconds().count() != 0) {
        out.push_back('.');
        AppendPadded(time.subseconds().count(), 3, out);
    }
    out.append("Z</time>");
}

}  // namespace

void AppendGpxHeader(std::string_view creator, std::string_view trackName, std::string& out) {
    out.append(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"");
    AppendEscaped(creator, out);
    out.append(
        "\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
        "<trk><name>");
    AppendEscaped(trackName, out);
    out.append("</name><trkseg>\n");
}

void AppendGpxTrackPoint(const GpxTrackPoint& p, std::string& out) {
    if (!(p.latitudeDeg >= -90.0 && p.latitudeDeg <= 90.0) || !std::isfinite(p.longitudeDeg)) {
        return;
    }
    // Into -180..180, then rounded as written, so that a longitude that rounds to 180 is written
    // as -180.
    double longitude = std::remainder(p.longitudeDeg, 360.0);
    longitude = std::round(longitude * 1e9) / 1e9;
    if (longitude >= 180.0) {
        longitude -= 360.0;
    }
    out.append("<trkpt lat=\"");
    AppendFixed(p.latitudeDeg, 9, out);
    out.append("\" lon=\"");
    AppendFixed(longitude, 9, out);
    out.append("\">");
    AppendElement("ele", p.elevationM, 3, out);
    AppendTime(p.utc, out);
    AppendElement("geoidheight", p.geoidHeightM, 3, out);
    out.append("<fix>3d</fix><sat>");
    AppendPadded(p.satellites < 0 ? 0 : p.satellites, 1, out);
    out.append("</sat>");
    AppendElement("hdop", p.hdop, 2, out);
    AppendElement("vdop", p.vdop, 2, out);
    AppendElement("pdop", p.pdop, 2, out);
    out.append("</trkpt>\n");
}

void AppendGpxFooter(std::string& out) {
    out.append("</trkseg></trk>\n</gpx>\n");
}
