// `satlog-dump fix`, `nmea` and `gpx` against `satlog-dump positions` on the same 6-hour
// simulated raw log (the built-in sky, one epoch a second), side by side in one run: each must
// cost at most twice what the positions cost. The same for `fix` with and without --nav on a
// 6-hour log simulated from the reference day's navigation file with its broadcast ionospheric
// delay. All write to /dev/null.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "tools/dump/dump_fix.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/dump/dump_records.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

constexpr int kSeconds = 6 * 3600;

// Written once by the simulator and kept for later runs.
std::filesystem::path SixHourLog() {
    const auto path = std::filesystem::temp_directory_path() / "satlog-fix-bench-6h.log";
    if (!std::filesystem::exists(path)) {
        const std::string log = path.string();
        const std::string seconds = std::to_string(kSeconds);
        const char* argv[] = {"satlog-sim", "--log",  log.c_str(),  "--duration",  seconds.c_str(),
                              "--start",    "345600", "--position", "47.4,8.5,500"};
        SimMain(static_cast<int>(std::size(argv)), argv, stdout, stderr);
    }
    return path;
}

// The same from the broadcast ephemerides of 2010-07-01, noon on, the ranges carrying the
// ionospheric delay of the file's coefficients.
std::string NavigationFile() {
    std::string dir = SATLOG_DATA_DIR;
    if (const char* env = std::getenv("SATLOG_DATA_DIR")) {
        dir = env;
    }
    return dir + "/brdc1820.10n";
}

std::filesystem::path SixHourIonosphereLog() {
    const auto path = std::filesystem::temp_directory_path() / "satlog-fix-bench-6h-iono.log";
    if (!std::filesystem::exists(path)) {
        const std::string log = path.string();
        const std::string nav = NavigationFile();
        const std::string seconds = std::to_string(kSeconds);
        const char* argv[] = {"satlog-sim",    "--log",   log.c_str(), "--duration",
                              seconds.c_str(), "--start", "388800",    "--position",
                              "47.4,8.5,500",  "--nav",   nav.c_str(), "--ionosphere"};
        SimMain(static_cast<int>(std::size(argv)), argv, stdout, stderr);
    }
    return path;
}

template <typename Command>
void RunOverLog(benchmark::State& state, Command command,
                const std::filesystem::path& path = SixHourLog()) {
    std::FILE* devNull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        std::FILE* in = std::fopen(path.string().c_str(), "rb");
        const int status = command(in, path.string(), devNull, stderr);
        std::fclose(in);
        if (status != 0) {
            state.SkipWithError("dump failed");
        }
    }
    std::fclose(devNull);
    state.counters["epochs_per_s"] =
        benchmark::Counter(static_cast<double>(kSeconds) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_PositionsSixHours(benchmark::State& state) {
    RunOverLog(state, [](std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
        return DumpPositions(in, name, out, err);
    });
}
BENCHMARK(BM_PositionsSixHours)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FixSixHours(benchmark::State& state) {
    RunOverLog(state, [](std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
        return DumpFix(in, name, out, err);
    });
}
BENCHMARK(BM_FixSixHours)->Unit(benchmark::kMillisecond)->Iterations(5);

// The commands that take their options from the command line: the week given, so that no file
// time is read.
int RunMain(const char* command, const std::string& name, std::FILE* out, std::FILE* err) {
    const char* argv[] = {"satlog-dump", command, "--week", "1590", name.c_str()};
    return DumpMain(static_cast<int>(std::size(argv)), argv, out, err);
}

void BM_NmeaSixHours(benchmark::State& state) {
    RunOverLog(state, [](std::FILE*, const std::string& name, std::FILE* out, std::FILE* err) {
        return RunMain("nmea", name, out, err);
    });
}
BENCHMARK(BM_NmeaSixHours)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GpxSixHours(benchmark::State& state) {
    RunOverLog(state, [](std::FILE*, const std::string& name, std::FILE* out, std::FILE* err) {
        return RunMain("gpx", name, out, err);
    });
}
BENCHMARK(BM_GpxSixHours)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PositionsSixHoursIonosphere(benchmark::State& state) {
    RunOverLog(
        state,
        [](std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
            return DumpPositions(in, name, out, err);
        },
        SixHourIonosphereLog());
}
BENCHMARK(BM_PositionsSixHoursIonosphere)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FixSixHoursIonosphere(benchmark::State& state) {
    RunOverLog(
        state,
        [](std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
            return DumpFix(in, name, out, err);
        },
        SixHourIonosphereLog());
}
BENCHMARK(BM_FixSixHoursIonosphere)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FixSixHoursIonosphereWithNav(benchmark::State& state) {
    RunOverLog(
        state,
        [](std::FILE*, const std::string& name, std::FILE* out, std::FILE* err) {
            const std::string nav = NavigationFile();
            const char* argv[] = {"satlog-dump", "fix", "--nav", nav.c_str(), name.c_str()};
            return DumpMain(static_cast<int>(std::size(argv)), argv, out, err);
        },
        SixHourIonosphereLog());
}
BENCHMARK(BM_FixSixHoursIonosphereWithNav)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
