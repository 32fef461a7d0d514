// The RINEX navigation reader on arbitrary text, and what the simulator does with each record it
// yields: the conversion to the receiver's ephemeris, the SNV encoding and the orbit computation.
//
// Beyond "no crash, no out-of-bounds access, no undefined behaviour", each record must satisfy:
//  - the header's ionosphere coefficients, when read, are finite numbers;
//  - the converted ephemeris survives SNV encoding and decoding bit for bit, in the slot of its
//  PRN;
//  - an orbit with no size or an eccentricity outside (-1, 1) yields NaN, never a number;
//  - any finite position lies at a distance from the earth's centre that the orbit allows:
//    between a(1 - |e|) and a(1 + |e|), widened by the radius corrections |crs| + |crc|.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "formats/rinex/rinex_navigation.hpp"
#include "orbit/satellite_position.hpp"
#include "records/record_decoders.hpp"
#include "records/record_encoder.hpp"

namespace {

[[noreturn]] void Fail(const char* what, int prn) {
    std::fprintf(stderr, "fuzz_rinex: property violated for PRN %d: %s\n", prn, what);
    std::abort();
}

void CheckPosition(const EphemerisRecord& e, double transmitTime, int prn) {
    const SatellitePosition p = ComputeSatellitePosition(e, transmitTime);
    const double a = e.rootA * e.rootA;
    const bool degenerate = !(a > 0.0) || !std::isfinite(a * a * a) || !(std::fabs(e.e) < 1.0);
    if (degenerate) {
        if (!std::isnan(p.x) || !std::isnan(p.y) || !std::isnan(p.z)) {
            Fail("a degenerate orbit yields a position", prn);
        }
        return;
    }
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        return;  // extreme rates or corrections may overflow; that is not a wrong number
    }
    const double radius = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    const double correction =
        std::fabs(static_cast<double>(e.crs)) + std::fabs(static_cast<double>(e.crc));
    const double slack = 1e-9 * (a + correction) + 1e-6;
    const double lowest = std::max(0.0, a * (1.0 - std::fabs(e.e)) - correction) - slack;
    const double highest = a * (1.0 + std::fabs(e.e)) + correction + slack;
    if (!std::isfinite(radius) || (radius >= lowest && radius <= highest)) {
        return;
    }
    std::fprintf(stderr, "radius %.17g outside [%.17g, %.17g] at t=%.17g\n", radius, lowest,
                 highest, transmitTime);
    Fail("position off its orbit", prn);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RinexError error;
    const std::optional<RinexNavigationFile> file = ParseRinexNavigation(text, error);
    if (!file) {
        if (error.message.empty()) {
            Fail("a rejected file without a reason", 0);
        }
        return 0;
    }
    if (file->ionosphere) {
        for (const auto* values : {&file->ionosphere->alpha, &file->ionosphere->beta}) {
            for (double v : *values) {
                if (!std::isfinite(v)) {
                    Fail("an ionosphere coefficient that is not a number", 0);
                }
            }
        }
    }
    for (const RinexEphemeris& rinex : file->records) {
        const EphemerisRecord e = ToEphemerisRecord(rinex);

        const DecodedEphemeris decoded = DecodeEphemeris(EncodeEphemerisBody(e));
        if (std::memcmp(&decoded.record, &e, kSnvLayout.decodedSpan) != 0) {
            Fail("the ephemeris changes through SNV encoding and decoding", rinex.prn);
        }
        if (decoded.slot != rinex.prn) {
            Fail("the decoded ephemeris lands in another slot", rinex.prn);
        }

        // At the reference time, across both week crossovers, and at the clock epoch.
        const double toe = e.toe;
        for (const double t : {toe, toe + 7200.5, toe - 302401.0, toe + 302401.0,
                               static_cast<double>(e.toc), rinex.transmissionTime}) {
            CheckPosition(e, t, rinex.prn);
        }
    }
    return 0;
}
