// The RINEX observation reader on arbitrary text. Beyond "no crash, no out-of-bounds access, no
// undefined behaviour", what it accepts must hold together:
//  - a refusal names a line of the text and a reason;
//  - epochs come in strictly increasing time, each a valid calendar time;
//  - every kept satellite is a GPS number with one value per observation type, every present
//    value finite, every flag within its digit's range.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "formats/rinex/rinex_observation.hpp"

namespace {

[[noreturn]] void Fail(const char* what, int line) {
    std::fprintf(stderr, "fuzz_rinex_obs: property violated (epoch line %d): %s\n", line, what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RinexError error;
    const std::optional<RinexObservationFile> file = ParseRinexObservation(text, error);
    if (!file) {
        const auto lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (error.message.empty() || error.line < 1 || error.line > lines) {
            Fail("a refusal without a reason or a line of the text", error.line);
        }
        return 0;
    }
    const std::size_t types = file->header.types.size();
    if (types == 0) {
        Fail("a file without observation types", 0);
    }
    std::optional<GpsTime> last;
    for (const RinexObservationEpoch& e : file->epochs) {
        if (!RinexEpochTime(e.time.Calendar()) || (last && e.time <= *last)) {
            Fail("an epoch out of order or at an invalid time", e.line);
        }
        last = e.time;
        for (const RinexSatelliteObservations& s : e.satellites) {
            if (s.prn < 1 || s.prn > 99 || s.values.size() != types) {
                Fail("a satellite without a number or with a value per type missing", e.line);
            }
            for (const RinexObservation& o : s.values) {
                if ((o.present && !std::isfinite(o.value)) || o.lli < -1 || o.lli > 7 ||
                    o.strength < -1 || o.strength > 9) {
                    Fail("a value or flag out of range", e.line);
                }
            }
        }
    }
    return 0;
}
