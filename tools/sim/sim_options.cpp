#include "tools/sim/sim_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>
#include <system_error>

namespace {

bool ParseDouble(std::string_view text, double& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

bool ParseInt(std::string_view text, int& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool ParsePosition(std::string_view text, SimOptions& o) {
    double values[3];
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = text.find(',');
        const bool last = k == 2;
        if (last != (comma == std::string_view::npos)) {
            return false;
        }
        if (!ParseDouble(text.substr(0, comma), values[k])) {
            return false;
        }
        text = last ? std::string_view{} : text.substr(comma + 1);
    }
    if (std::fabs(values[0]) > 90.0 || std::fabs(values[1]) > 180.0 ||
        std::fabs(values[2]) > 100000.0) {
        return false;
    }
    o.latitudeDeg = values[0];
    o.longitudeDeg = values[1];
    o.heightM = values[2];
    return true;
}

OptionsResult Fail(std::string message) {
    return {std::nullopt, std::move(message)};
}

}  // namespace

const char* SimUsage() {
    return "usage: satlog-sim [options]\n"
           "A GPS receiver for satlog: answers the tool's four $PASHS commands, then sends SNV, "
           "MPC\n"
           "and PBN records every second for the satellites above 15 degrees.\n"
           "\n"
           "Line (default: a new pseudo-terminal, its path printed on standard output):\n"
           "  --link PATH           also place a symbolic link to the pseudo-terminal at PATH\n"
           "  --device DEV          drive a serial device instead (e.g. /dev/ttyUSB1), 19200 8N1\n"
           "  --log FILE            write the raw log the tool would record, drive no line\n"
           "  --capture FILE        also write every byte sent on the line to FILE\n"
           "  --silent-after N      stop answering commands after the Nth\n"
           "Scenario:\n"
           "  --nav FILE            ephemerides from a RINEX 2 GPS navigation file (healthy\n"
           "                        records, the one with the nearest toe); default: a built-in\n"
           "                        constellation of 31 satellites in 6 planes\n"
           "  --replay FILE         send a recorded raw log back, one epoch per second\n"
           "  --position LAT,LON,H  receiver position, degrees and metres (default 50,10,300)\n"
           "  --start SOW           GPS seconds of week of the first epoch\n"
           "  --duration SECONDS    stop after this many epochs (required with --log)\n"
           "  --snv-interval S      resend each satellite's ephemeris every S seconds (default "
           "60)\n"
           "  --truth FILE          CSV time_ms,prn,transmit_time,x,y,z of the simulated "
           "positions\n"
           "Time:\n"
           "  --speed N             run N times faster than real time\n"
           "  --fast                run as fast as the line takes the bytes\n"
           "Faults (N counts the receiver's records from 1):\n"
           "  --junk-every N        junk bytes before every Nth record\n"
           "  --split-every N       every Nth record split by a pause of 150 ms\n"
           "  --bad-trailer-every N every Nth record with a wrong CR LF trailer\n"
           "  --unknown-kind-every N  a record of an unknown kind after every Nth record\n"
           "  --bad-separator-every N every Nth record with a header separator other than ','\n"
           "  --bad-slot-every N    a record naming no satellite slot after every Nth record\n"
           "  --hangup-after N      hang up the line after N records\n"
           "  --seed N              seed of the junk bytes (default 1)\n"
           "Exit status: 0 done, 1 the line failed, 2 bad arguments or input files.\n";
}

OptionsResult ParseSimOptions(std::span<const char* const> args) {
    SimOptions o;
    bool haveDevice = false;
    bool haveLink = false;
    bool haveSpeed = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string_view name = args[k];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--fast") {
            o.fast = true;
            continue;
        }
        static constexpr std::string_view kValueOptions[] = {"--link",
                                                             "--device",
                                                             "--log",
                                                             "--capture",
                                                             "--truth",
                                                             "--nav",
                                                             "--replay",
                                                             "--position",
                                                             "--start",
                                                             "--duration",
                                                             "--speed",
                                                             "--snv-interval",
                                                             "--silent-after",
                                                             "--junk-every",
                                                             "--split-every",
                                                             "--bad-trailer-every",
                                                             "--unknown-kind-every",
                                                             "--bad-separator-every",
                                                             "--bad-slot-every",
                                                             "--hangup-after",
                                                             "--seed"};
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) ==
            std::end(kValueOptions)) {
            return Fail("unknown argument '" + std::string(name) + "' (see --help)");
        }
        if (k + 1 >= args.size()) {
            return Fail(std::string(name) + " needs a value");
        }
        const std::string_view value = args[k + 1];
        const std::string quoted = std::string(name) + " '" + std::string(value) + "'";
        auto positiveInt = [&](int& target) -> bool {
            return ParseInt(value, target) && target > 0;
        };
        bool ok = true;
        if (name == "--link") {
            o.linkPath = value;
            haveLink = true;
            ok = !value.empty();
        } else if (name == "--device") {
            o.devicePath = value;
            haveDevice = true;
            ok = !value.empty();
        } else if (name == "--log") {
            o.logPath = value;
            ok = !value.empty();
        } else if (name == "--capture") {
            o.capturePath = value;
            ok = !value.empty();
        } else if (name == "--truth") {
            o.truthPath = value;
            ok = !value.empty();
        } else if (name == "--nav") {
            o.navPath = value;
            ok = !value.empty();
        } else if (name == "--replay") {
            o.replayPath = value;
            ok = !value.empty();
        } else if (name == "--position") {
            ok = ParsePosition(value, o);
        } else if (name == "--start") {
            double s = 0;
            ok = ParseDouble(value, s) && s >= 0.0 && s < 604800.0;
            o.startSecondsOfWeek = s;
        } else if (name == "--duration") {
            double s = 0;
            ok = ParseDouble(value, s) && s > 0.0 && s <= 1e9;
            o.durationSeconds = s;
        } else if (name == "--speed") {
            ok = ParseDouble(value, o.speed) && o.speed > 0.0 && o.speed <= 1e6;
            haveSpeed = true;
        } else if (name == "--snv-interval") {
            ok = positiveInt(o.snvIntervalSeconds);
        } else if (name == "--silent-after") {
            ok = ParseInt(value, o.silentAfter) && o.silentAfter >= 0;
        } else if (name == "--junk-every") {
            ok = positiveInt(o.faults.junkEvery);
        } else if (name == "--split-every") {
            ok = positiveInt(o.faults.splitEvery);
        } else if (name == "--bad-trailer-every") {
            ok = positiveInt(o.faults.badTrailerEvery);
        } else if (name == "--unknown-kind-every") {
            ok = positiveInt(o.faults.unknownKindEvery);
        } else if (name == "--bad-separator-every") {
            ok = positiveInt(o.faults.badSeparatorEvery);
        } else if (name == "--bad-slot-every") {
            ok = positiveInt(o.faults.badSlotEvery);
        } else if (name == "--hangup-after") {
            ok = positiveInt(o.faults.hangupAfter);
        } else if (name == "--seed") {
            int seed = 0;
            ok = ParseInt(value, seed) && seed >= 0;
            o.faults.seed = static_cast<std::uint32_t>(seed);
        }
        if (!ok) {
            return Fail("bad value for " + quoted);
        }
        ++k;
    }
    if (o.help) {
        return {o, {}};
    }
    if (haveDevice && haveLink) {
        return Fail("--device and --link exclude each other");
    }
    if (!o.logPath.empty() && (haveDevice || haveLink)) {
        return Fail("--log writes a file instead of driving a line: drop --device/--link");
    }
    if (o.fast && haveSpeed) {
        return Fail("--fast and --speed exclude each other");
    }
    if (!o.replayPath.empty() && (!o.navPath.empty() || !o.truthPath.empty() ||
                                  o.startSecondsOfWeek || o.faults.badSlotEvery)) {
        return Fail(
            "--replay sends a recorded log: --nav, --truth, --start and --bad-slot-every "
            "do not apply");
    }
    if (!o.logPath.empty() && o.replayPath.empty() && !o.durationSeconds) {
        return Fail("--log needs --duration");
    }
    if (!o.logPath.empty()) {
        o.output = SimOptions::Output::OfflineLog;
    } else if (haveDevice) {
        o.output = SimOptions::Output::Device;
    }
    return {o, {}};
}
