// Writes the seed corpora of the fuzz targets: raw logs made by the record encoder from real
// broadcast ephemerides, short navigation files cut from the reference files, and (for the
// receive target) framed line traffic. Without the reference files, a built-in ephemeris stands in.
//
//   satlog_fuzz_seeds DATA_DIR OUT_DIR     writes OUT_DIR/dump, OUT_DIR/rinex, OUT_DIR/receive
//   satlog_fuzz_seeds --frame LOG OUT      frames a raw log (the simulator's) as line traffic
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rinex/rinex_navigation.hpp"
#include "fuzz/seeds/seed_scenario.hpp"
#include "records/record_encoder.hpp"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

bool WriteFile(const fs::path& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "satlog_fuzz_seeds: cannot create %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A GPS ephemeris of ordinary values, for when no navigation file is at hand.
EphemerisRecord BuiltInEphemeris(int prn) {
    EphemerisRecord e{};
    e.prn = static_cast<std::int8_t>(prn - 1);
    e.toe = 345600;
    e.toc = 345600;
    e.rootA = 5153.6;
    e.e = 0.009;
    e.m0 = -0.55 + 0.05 * prn;
    e.omega0 = 0.19 + 0.1 * prn;
    e.omega = -0.8;
    e.i0 = 0.30;
    e.deltaN = 1.5e-9f;
    e.omegaDot = -2.6e-9f;
    e.iDot = 1.0e-11f;
    e.crs = 29.6f;
    e.crc = 196.0f;
    e.cus = 1.0e-5f;
    e.cuc = 1.5e-6f;
    e.cis = -7.3e-8f;
    e.cic = -1.6e-7f;
    e.af0 = 1.5e-4f;
    e.af1 = -4.5e-13f;
    e.tgd = -1.1e-8f;
    return e;
}

// Up to `count` ephemerides of distinct satellites from the first navigation file found.
std::vector<EphemerisRecord> Ephemerides(const fs::path& dataDir, std::size_t count) {
    std::vector<EphemerisRecord> out;
    for (const char* name : {"brdc0910.09n", "brdc1820.10n", "brdc1830.10n"}) {
        const fs::path path = dataDir / name;
        if (!fs::is_regular_file(path)) {
            continue;
        }
        RinexError error;
        const auto file = ParseRinexNavigation(ReadText(path), error);
        if (!file) {
            continue;
        }
        std::set<int> seen;
        for (const RinexEphemeris& r : file->records) {
            if (out.size() < count && seen.insert(r.prn).second) {
                out.push_back(ToEphemerisRecord(r));
            }
        }
        break;
    }
    for (int prn = 1; out.size() < count; ++prn) {
        out.push_back(BuiltInEphemeris(prn));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--frame") {
        const std::string log = ReadText(argv[2]);
        const Bytes line = EncodeLineScript(
            FrameRawLog({reinterpret_cast<const std::uint8_t*>(log.data()), log.size()}));
        return WriteFile(argv[3], line.data(), line.size()) ? 0 : 1;
    }
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: satlog_fuzz_seeds DATA_DIR OUT_DIR\n"
                     "       satlog_fuzz_seeds --frame LOG OUT\n");
        return 2;
    }
    const fs::path dataDir = argv[1];
    const fs::path outDir = argv[2];
    for (const char* target : {"dump", "rinex", "rinex_obs", "receive"}) {
        fs::create_directories(outDir / target);
    }
    bool ok = true;
    auto put = [&](const char* target, const std::string& name, const Bytes& bytes) {
        ok = WriteFile(outDir / target / name, bytes.data(), bytes.size()) && ok;
    };

    const std::vector<EphemerisRecord> ephemerides = Ephemerides(dataDir, 6);
    const SeedScenario scenario = MakeSeedScenario(ephemerides, 3);

    // Raw logs: a whole session, single entries, and the ways a log goes wrong.
    put("dump", "session.log", scenario.log);
    put("dump", "empty.log", {});
    for (const RecordKindLayout* kindPointer : kRecordKinds) {
        const RecordKindLayout& kind = *kindPointer;
        Bytes one;
        AppendLogEntry(one, kind, scenario.FirstBody(kind));
        put("dump", std::string("single_") + std::string(kind.tag.substr(0, 3)) + ".log", one);
    }
    Bytes truncated(scenario.log.begin(), scenario.log.begin() + 4 + 134 + 4 + 40);
    put("dump", "truncated.log", truncated);
    Bytes unknown(scenario.log.begin(), scenario.log.begin() + 4 + 134);
    for (char c : std::string("XYZ,0123456789")) {
        unknown.push_back(static_cast<std::uint8_t>(c));
    }
    put("dump", "unknown_tag.log", unknown);
    put("dump", "odd_slots.log", OddSlotLog(ephemerides.front()));

    // Line traffic for the receive thread: the same session framed as the receiver sends it.
    put("receive", "session.bin", EncodeLineScript(scenario.line));
    put("receive", "noisy.bin", EncodeLineScript(NoisyLine(scenario)));

    // Navigation files: each reference file's header with its first one and three records.
    for (const char* name : {"brdc0910.09n", "brdc1820.10n", "brdc1830.10n"}) {
        const std::string text = ReadText(dataDir / name);
        const std::size_t headerEnd = text.find("END OF HEADER");
        if (headerEnd == std::string::npos) {
            continue;
        }
        for (int records : {1, 3}) {
            std::size_t end = text.find('\n', headerEnd);
            for (int line = 0; line < 8 * records && end != std::string::npos; ++line) {
                end = text.find('\n', end + 1);
            }
            const std::string cut =
                text.substr(0, end == std::string::npos ? text.size() : end + 1);
            put("rinex", std::string(name) + "." + std::to_string(records),
                Bytes(cut.begin(), cut.end()));
        }
    }
    const std::string headerOnly =
        "     2.10           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
        "                                                            END OF HEADER\n";
    put("rinex", "header_only.n", Bytes(headerOnly.begin(), headerOnly.end()));

    // Observation files: station 0759's header with its first epochs, and with the epochs around
    // a file splice (an event record between two epochs).
    const std::string observations = ReadText(dataDir / "07590920.05o");
    std::vector<std::size_t> lineStarts{0};
    for (std::size_t k = 0; k < observations.size(); ++k) {
        if (observations[k] == '\n') {
            lineStarts.push_back(k + 1);
        }
    }
    auto lines = [&](std::size_t from, std::size_t to) {  // 0-based, end excluded
        from = std::min(from, lineStarts.size() - 1);
        to = std::min(to, lineStarts.size() - 1);
        return observations.substr(lineStarts[from], lineStarts[to] - lineStarts[from]);
    };
    const std::size_t headerLines = 17;
    for (const auto& [name, cut] :
         {std::pair{"0759.first", lines(0, headerLines + 27)},
          std::pair{"0759.splice", lines(0, headerLines) + lines(845, 865)}}) {
        put("rinex_obs", name, Bytes(cut.begin(), cut.end()));
    }
    return ok ? 0 : 1;
}
