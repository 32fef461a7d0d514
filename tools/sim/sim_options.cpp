#include "tools/sim/sim_options.hpp"

#include <string_view>

#include "formats/text/geodetic_text.hpp"
#include "formats/text/number_text.hpp"
#include "gnss/gps_time.hpp"

namespace {

bool ParsePositiveInt(std::string_view text, int& value) {
    return ParseWholeNumber(text, value) && value > 0;
}

bool ParsePosition(std::string_view text, SimOptions& o) {
    Geodetic place;
    if (!ParseLatLonHeight(text, place)) {
        return false;
    }
    o.latitudeDeg = place.latitudeDeg;
    o.longitudeDeg = place.longitudeDeg;
    o.heightM = place.heightM;
    o.positionGiven = true;
    return true;
}

// Headings of --help, in the order the options are listed under them.
constexpr const char* kLine =
    "Line (default: a new pseudo-terminal, its path printed on standard "
    "output):";
constexpr const char* kScenario = "Scenario:";
constexpr const char* kTime = "Time:";
constexpr const char* kFaults = "Faults (N counts the receiver's records from 1):";
constexpr const char* kOther = "Other:";

using Apply = bool (*)(std::string_view value, SimOptions& o);

// One option: its name, the placeholder of its value in --help (none for a switch), its heading
// and its help text (a line break continues the text under the column), and what it sets. A file
// option names the member holding its path instead of a parser, and whether the run reads or
// writes that file.
struct OptionRow {
    std::string_view name;
    std::string_view value;
    const char* heading;
    std::string_view help;
    Apply apply = nullptr;
    std::string SimOptions::*path = nullptr;
    FileUse use = FileUse::Written;
};

// Every option of satlog-sim, once.
constexpr OptionRow kOptions[] = {
    {"--link", "PATH", kLine, "also place a symbolic link to the pseudo-terminal at PATH", nullptr,
     &SimOptions::linkPath},
    {"--device", "DEV", kLine, "drive a serial device instead (e.g. /dev/ttyUSB1), 19200 8N1",
     nullptr, &SimOptions::devicePath},
    {"--log", "FILE", kLine, "write the raw log the tool would record, drive no line", nullptr,
     &SimOptions::logPath},
    {"--capture", "FILE", kLine, "also write every byte sent on the line to FILE", nullptr,
     &SimOptions::capturePath},
    {"--silent-after", "N", kLine, "stop answering commands after the Nth",
     [](std::string_view v, SimOptions& o) {
         return ParseWholeNumber(v, o.silentAfter) && o.silentAfter >= 0;
     }},
    {"--nav", "FILE", kScenario,
     "ephemerides from a RINEX 2 GPS navigation file (healthy\nrecords, the one with the nearest "
     "toe); default: a built-in\nconstellation of 31 satellites in 6 planes",
     nullptr, &SimOptions::navPath, FileUse::Read},
    {"--replay", "FILE", kScenario,
     "send a recorded raw log (a file or a pipe) back, one epoch\nper second; damage is reported "
     "and skipped",
     nullptr, &SimOptions::replayPath, FileUse::Read},
    {"--obs", "FILE", kScenario,
     "replay a RINEX 2 observation file (with --nav): per epoch\nits satellites' C1 as MPC "
     "records, then the epoch time;\nthe run ends with the file",
     nullptr, &SimOptions::obsPath, FileUse::Read},
    {"--position", "LAT,LON,H", kScenario,
     "receiver position, degrees and metres (default 50,10,300;\nwith --obs the file's APPROX "
     "POSITION XYZ)",
     ParsePosition},
    {"--start", "SOW", kScenario,
     "GPS seconds of week of the first epoch (default: with --nav\nthe median toe of the file; "
     "else the current GPS time)",
     [](std::string_view v, SimOptions& o) {
         o.startSecondsOfWeek = 0.0;
         return ParseWholeNumber(v, *o.startSecondsOfWeek) && *o.startSecondsOfWeek >= 0.0 &&
                *o.startSecondsOfWeek < kSecondsPerWeek;
     }},
    {"--duration", "SECONDS", kScenario,
     "stop after this many seconds of epochs (required with\n--log, except with --replay and "
     "--obs)",
     [](std::string_view v, SimOptions& o) {
         o.durationSeconds = 0.0;
         return ParseWholeNumber(v, *o.durationSeconds) && *o.durationSeconds > 0.0 &&
                *o.durationSeconds <= 1e9;
     }},
    {"--ionosphere", "", kScenario,
     "the ranges also carry the broadcast ionospheric delay of\nthe ION ALPHA / ION BETA in "
     "--nav's "
     "header (default: none)",
     [](std::string_view, SimOptions& o) { return o.ionosphere = true; }},
    {"--snv-interval", "S", kScenario,
     "resend each satellite's ephemeris every S seconds (default 60)",
     [](std::string_view v, SimOptions& o) { return ParsePositiveInt(v, o.snvIntervalSeconds); }},
    {"--truth", "FILE", kScenario, "CSV time_ms,prn,transmit_time,x,y,z of the simulated positions",
     nullptr, &SimOptions::truthPath},
    {"--speed", "N", kTime, "run N times faster than real time",
     [](std::string_view v, SimOptions& o) {
         o.speedGiven = true;
         return ParseWholeNumber(v, o.speed) && o.speed > 0.0 && o.speed <= 1e6;
     }},
    {"--fast", "", kTime, "run as fast as the line takes the bytes",
     [](std::string_view, SimOptions& o) { return o.fast = true; }},
    {"--junk-every", "N", kFaults, "junk bytes before every Nth record",
     [](std::string_view v, SimOptions& o) { return ParsePositiveInt(v, o.faults.junkEvery); }},
    {"--split-every", "N", kFaults, "every Nth record split by a pause of 150 ms",
     [](std::string_view v, SimOptions& o) { return ParsePositiveInt(v, o.faults.splitEvery); }},
    {"--bad-trailer-every", "N", kFaults, "every Nth record with a wrong CR LF trailer",
     [](std::string_view v, SimOptions& o) {
         return ParsePositiveInt(v, o.faults.badTrailerEvery);
     }},
    {"--unknown-kind-every", "N", kFaults, "a record of an unknown kind after every Nth record",
     [](std::string_view v, SimOptions& o) {
         return ParsePositiveInt(v, o.faults.unknownKindEvery);
     }},
    {"--bad-separator-every", "N", kFaults,
     "every Nth record with a header separator other than ','",
     [](std::string_view v, SimOptions& o) {
         return ParsePositiveInt(v, o.faults.badSeparatorEvery);
     }},
    {"--bad-slot-every", "N", kFaults, "a record naming no satellite slot after every Nth record",
     [](std::string_view v, SimOptions& o) { return ParsePositiveInt(v, o.faults.badSlotEvery); }},
    {"--hangup-after", "N", kFaults, "hang up the line after N records",
     [](std::string_view v, SimOptions& o) { return ParsePositiveInt(v, o.faults.hangupAfter); }},
    {"--seed", "N", kFaults, "seed of the junk bytes (default 1)",
     [](std::string_view v, SimOptions& o) {
         int seed = 0;
         const bool ok = ParseWholeNumber(v, seed) && seed >= 0;
         o.faults.seed = static_cast<std::uint32_t>(seed);
         return ok;
     }},
    {"--help", "", kOther, "print this text",
     [](std::string_view, SimOptions& o) { return o.help = true; }},
    {"--version", "", kOther, "print the version",
     [](std::string_view, SimOptions& o) { return o.version = true; }},
};

const OptionRow* FindOption(std::string_view name) {
    if (name == "-h") {
        name = "--help";
    }
    for (const OptionRow& row : kOptions) {
        if (row.name == name) {
            return &row;
        }
    }
    return nullptr;
}

bool ApplyOption(const OptionRow& row, std::string_view value, SimOptions& o) {
    if (row.path != nullptr) {
        o.*row.path = value;
        return !value.empty();
    }
    return row.apply(value, o);
}

// The combinations that make no sense, once every option has been read.
std::string ConflictOf(const SimOptions& o) {
    const bool device = !o.devicePath.empty();
    if (device && !o.linkPath.empty()) {
        return "--device and --link exclude each other";
    }
    if (!o.logPath.empty() && (device || !o.linkPath.empty())) {
        return "--log writes a file instead of driving a line: drop --device/--link";
    }
    if (o.fast && o.speedGiven) {
        return "--fast and --speed exclude each other";
    }
    if (!o.replayPath.empty() && (!o.navPath.empty() || !o.truthPath.empty() ||
                                  o.startSecondsOfWeek || o.faults.badSlotEvery)) {
        return "--replay sends a recorded log: --nav, --truth, --start and --bad-slot-every "
               "do not apply";
    }
    if (!o.obsPath.empty() &&
        (o.navPath.empty() || !o.replayPath.empty() || o.startSecondsOfWeek)) {
        return "--obs replays observations with the ephemerides of --nav; --replay and --start "
               "do not apply";
    }
    if (o.ionosphere && (o.navPath.empty() || !o.obsPath.empty())) {
        return "--ionosphere takes its coefficients from --nav, and does not apply to --obs, "
               "whose ranges are real";
    }
    if (!o.logPath.empty() && o.replayPath.empty() && o.obsPath.empty() && !o.durationSeconds) {
        return "--log needs --duration";
    }
    return {};
}

OptionsResult Fail(std::string message) {
    return {std::nullopt, std::move(message)};
}

std::string BuildUsage() {
    constexpr std::size_t kHelpColumn = 24;
    std::string text =
        "usage: satlog-sim [options]\n"
        "A GPS receiver for satlog: answers the tool's four $PASHS commands, then sends SNV, MPC\n"
        "and PBN records every second for the satellites above 15 degrees.\n"
        "\n";
    const char* heading = nullptr;
    for (const OptionRow& row : kOptions) {
        if (row.heading != heading) {
            heading = row.heading;
            text.append(heading).append("\n");
        }
        std::string entry = "  " + std::string(row.name);
        if (!row.value.empty()) {
            entry.append(" ").append(row.value);
        }
        entry.resize(std::max(entry.size() + 1, kHelpColumn), ' ');
        for (const char c : row.help) {
            entry.append(c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, c));
        }
        text.append(entry).append("\n");
    }
    text.append(
        "Exit status: 0 done (also when stopped by SIGINT, SIGTERM or SIGHUP: every entry\n"
        "written is whole), 1 the line or a write failed, 2 bad arguments or unusable files.\n");
    return text;
}

}  // namespace

const char* SimUsage() {
    static const std::string usage = BuildUsage();
    return usage.c_str();
}

std::vector<NamedFile> FilesOf(const SimOptions& o) {
    std::vector<NamedFile> files;
    for (const OptionRow& row : kOptions) {
        if (row.path != nullptr && !(o.*row.path).empty()) {
            files.push_back({row.name, o.*row.path, row.use});
        }
    }
    return files;
}

OptionsResult ParseSimOptions(std::span<const char* const> args) {
    SimOptions o;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string_view name = args[k];
        const OptionRow* row = FindOption(name);
        if (row == nullptr) {
            return Fail("unknown argument '" + std::string(name) + "' (see --help)");
        }
        std::string_view value;
        if (!row->value.empty()) {
            if (k + 1 >= args.size()) {
                return Fail(std::string(name) + " needs a value");
            }
            value = args[++k];
        }
        if (!ApplyOption(*row, value, o)) {
            return Fail("bad value for " + std::string(name) + " '" + std::string(value) + "'");
        }
    }
    if (o.help || o.version) {
        return {o, {}};
    }
    if (std::string conflict = ConflictOf(o); !conflict.empty()) {
        return Fail(std::move(conflict));
    }
    if (!o.logPath.empty()) {
        o.output = SimOptions::Output::OfflineLog;
    } else if (!o.devicePath.empty()) {
        o.output = SimOptions::Output::Device;
    }
    return {o, {}};
}
