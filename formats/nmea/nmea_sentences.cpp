#include "formats/nmea/nmea_sentences.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "formats/text/fixed_numbers.hpp"

namespace {

using namespace std::chrono;

// `*`, the checksum of `body` (which may lie in `out` itself) and CR LF.
void AppendChecksumAndEnd(std::string_view body, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::uint8_t sum = NmeaChecksum(body);
    out.push_back('*');
    out.push_back(kHex[sum >> 4]);
    out.push_back(kHex[sum & 0xF]);
    out.append("\r\n");
}

using Centiseconds = duration<std::int64_t, std::centi>;

// The widths that keep the longest sentence, GGA, within 82 characters: 48 characters up to the
// satellite count, then HDOP (4), altitude (8), separation (8), the units, the two empty
// differential fields, the checksum and CR LF.
constexpr int kDopWidth = 4;  // 1.23, 12.3, 123
constexpr int kDopDecimals = 2;
constexpr int kHeightWidth = 8;  // -999.999, 9999.99
constexpr int kHeightDecimals = 3;
constexpr int kMaxGsaPrns = 12;
constexpr std::size_t kSatellitesPerGsv = 4;

// The UTC time of the epoch to the 0.01 s a sentence carries, split for the fields.
struct UtcFields {
    int year, month, day, hour, minute, second, centisecond;
};

UtcFields SplitUtc(sys_time<milliseconds> utc) {
    // Rounded once, before the split, so that 23:59:59.996 becomes the next day's 00:00:00.00.
    const auto t = round<Centiseconds>(utc);
    const auto day = floor<days>(t);
    const year_month_day date{day};
    const auto cs = (t - day).count();
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(cs / 360000),
            static_cast<int>(cs / 6000 % 60),
            static_cast<int>(cs / 100 % 60),
            static_cast<int>(cs % 100)};
}

// Appends `$` and the first field; the sentence's start for EndSentence.
std::size_t BeginSentence(std::string_view head, std::string& out) {
    const std::size_t start = out.size();
    out.push_back('$');
    out.append(head);
    return start;
}

void EndSentence(std::size_t start, std::string& out) {
    AppendChecksumAndEnd(std::string_view(out).substr(start + 1), out);
}

void AppendTime(const UtcFields& t, std::string& s) {
    AppendPadded(t.hour, 2, s);
    AppendPadded(t.minute, 2, s);
    AppendPadded(t.second, 2, s);
    s.push_back('.');
    AppendPadded(t.centisecond, 2, s);
}

// ddmm.mmmmm,N or dddmm.mmmmm,E: degrees and minutes to 1e-5 minute (about 2 cm), rounded as a
// whole so that 59.999996 minutes carries into the degrees.
void AppendAngle(double degrees, int degreeDigits, char positive, char negative, std::string& s) {
    const auto units = std::llround(std::fabs(degrees) * 60.0 * 1e5);
    AppendPadded(units / 6000000, degreeDigits, s);
    AppendPadded(units / 100000 % 60, 2, s);
    s.push_back('.');
    AppendPadded(units % 100000, 5, s);
    s.push_back(',');
    s.push_back(degrees < 0 && units != 0 ? negative : positive);
}

void AppendDop(double dop, std::string& s) {
    AppendFixedWithin(dop, kDopDecimals, kDopWidth, s);
}

void AppendRmc(const NmeaEpoch& e, const UtcFields& t, std::string& out) {
    const std::size_t start = BeginSentence("GPRMC,", out);
    AppendTime(t, out);
    if (e.hasFix) {
        out.append(",A,");
        AppendAngle(e.fix.latitudeDeg, 2, 'N', 'S', out);
        out.push_back(',');
        AppendAngle(e.fix.longitudeDeg, 3, 'E', 'W', out);
    } else {
        out.append(",V,,,,");
    }
    // No velocity solution: speed and course stay empty; no magnetic variation.
    out.append(",,,");
    AppendPadded(t.day, 2, out);
    AppendPadded(t.month, 2, out);
    AppendPadded(t.year % 100, 2, out);
    out.append(e.hasFix ? ",,,A" : ",,,N");
    EndSentence(start, out);
}

void AppendGga(const NmeaEpoch& e, const UtcFields& t, std::string& out) {
    const std::size_t start = BeginSentence("GPGGA,", out);
    AppendTime(t, out);
    if (!e.hasFix) {
        out.append(",,,,,0,00,,,,,,,");
        EndSentence(start, out);
        return;
    }
    out.push_back(',');
    AppendAngle(e.fix.latitudeDeg, 2, 'N', 'S', out);
    out.push_back(',');
    AppendAngle(e.fix.longitudeDeg, 3, 'E', 'W', out);
    out.append(",1,");
    AppendPadded(std::min<std::size_t>(e.usedPrns.size(), 99), 2, out);
    out.push_back(',');
    AppendDop(e.fix.hdop, out);
    out.push_back(',');
    AppendFixedWithin(e.fix.altitudeM, kHeightDecimals, kHeightWidth, out);
    out.append(",M,");
    AppendFixedWithin(e.fix.separationM, kHeightDecimals, kHeightWidth, out);
    out.append(",M,,");
    EndSentence(start, out);
}

void AppendGsa(const NmeaEpoch& e, std::string& out) {
    const std::size_t start = BeginSentence(e.hasFix ? "GPGSA,A,3" : "GPGSA,A,1", out);
    const std::size_t listed = e.hasFix ? std::min<std::size_t>(e.usedPrns.size(), kMaxGsaPrns) : 0;
    for (std::size_t k = 0; k < kMaxGsaPrns; ++k) {
        out.push_back(',');
        if (k < listed) {
            AppendPadded(e.usedPrns[k], 2, out);
        }
    }
    out.push_back(',');
    if (e.hasFix) {
        AppendDop(e.fix.pdop, out);
        out.push_back(',');
        AppendDop(e.fix.hdop, out);
        out.push_back(',');
        AppendDop(e.fix.vdop, out);
    } else {
        out.append(",,");
    }
    EndSentence(start, out);
}

void AppendGsv(const NmeaEpoch& e, std::string& out) {
    const std::size_t count = e.inView.size();
    const std::size_t sentences =
        std::max<std::size_t>(1, (count + kSatellitesPerGsv - 1) / kSatellitesPerGsv);
    for (std::size_t n = 0; n < sentences; ++n) {
        const std::size_t start = BeginSentence("GPGSV,", out);
        AppendPadded(static_cast<long long>(sentences), 1, out);
        out.push_back(',');
        AppendPadded(static_cast<long long>(n) + 1, 1, out);
        out.push_back(',');
        AppendPadded(static_cast<long long>(count), 2, out);
        const std::size_t end = std::min(count, (n + 1) * kSatellitesPerGsv);
        for (std::size_t k = n * kSatellitesPerGsv; k < end; ++k) {
            const NmeaSatellite& sat = e.inView[k];
            out.push_back(',');
            AppendPadded(sat.prn, 2, out);
            out.push_back(',');
            if (sat.lookKnown && std::isfinite(sat.elevationDeg) && std::isfinite(sat.azimuthDeg)) {
                AppendPadded(std::lround(sat.elevationDeg), 2, out);
                out.push_back(',');
                AppendPadded(std::lround(sat.azimuthDeg) % 360, 3, out);
            } else {
                out.push_back(',');
            }
            out.push_back(',');  // no signal-to-noise ratio in the records
        }
        EndSentence(start, out);
    }
}

void AppendZda(const UtcFields& t, std::string& out) {
    const std::size_t start = BeginSentence("GPZDA,", out);
    AppendTime(t, out);
    out.push_back(',');
    AppendPadded(t.day, 2, out);
    out.push_back(',');
    AppendPadded(t.month, 2, out);
    out.push_back(',');
    AppendPadded(t.year, 4, out);
    out.append(",00,00");  // the local zone is UTC itself
    EndSentence(start, out);
}

}  // namespace

std::uint8_t NmeaChecksum(std::string_view body) {
    std::uint8_t sum = 0;
    for (const char c : body) {
        sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    }
    return sum;
}

void AppendNmeaSentence(std::string_view body, std::string& out) {
    out.push_back('$');
    out.append(body);
    AppendChecksumAndEnd(body, out);
}

void AppendNmeaEpoch(const NmeaEpoch& given, std::string& out) {
    const UtcFields t = SplitUtc(given.utc);
    // A position that is no place on earth is no fix (the sentences have no form for it).
    NmeaEpoch epoch = given;
    epoch.hasFix = given.hasFix && given.fix.latitudeDeg >= -90.0 &&
                   given.fix.latitudeDeg <= 90.0 && given.fix.longitudeDeg >= -180.0 &&
                   given.fix.longitudeDeg <= 180.0;
    AppendRmc(epoch, t, out);
    AppendGga(epoch, t, out);
    AppendGsa(epoch, out);
    AppendGsv(epoch, out);
    AppendZda(t, out);
}
