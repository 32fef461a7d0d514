// The RINEX export against `satlog-dump positions` on the same 6-hour log simulated from the
// day's broadcast ephemerides (1 s epochs, 21600 of them), side by side in one run. The export
// walks the same log through the same tables and orbit code and writes two files; it should cost
// at most twice what the positions do.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

const std::filesystem::path& SixHourLog() {
    static const std::filesystem::path path = [] {
        const auto p = std::filesystem::temp_directory_path() / "satlog-export-bench.log";
        const std::string nav = std::string(SATLOG_DATA_DIR) + "/brdc1820.10n";
        const std::string log = p.string();
        const char* argv[] = {"satlog-sim", "--nav",  nav.c_str(),  "--log", log.c_str(),
                              "--start",    "345600", "--duration", "21600"};
        std::FILE* devNull = std::fopen("/dev/null", "w");
        SimMain(static_cast<int>(std::size(argv)), argv, devNull, stderr);
        std::fclose(devNull);
        return p;
    }();
    return path;
}

void RunDump(benchmark::State& state, std::vector<std::string> args) {
    std::vector<const char*> argv{"satlog-dump"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::FILE* devNull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        if (DumpMain(static_cast<int>(argv.size()), argv.data(), devNull, stderr) != 0) {
            state.SkipWithError("satlog-dump failed");
        }
    }
    std::fclose(devNull);
    state.counters["log_MB"] = static_cast<double>(std::filesystem::file_size(SixHourLog())) / 1e6;
}

void BM_SixHourPositions(benchmark::State& state) {
    RunDump(state, {"positions", SixHourLog().string()});
}
BENCHMARK(BM_SixHourPositions)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SixHourRinexExport(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "satlog-export-bench";
    std::filesystem::create_directories(dir);
    RunDump(state, {"rinex", SixHourLog().string(), "--week", "1590", "--dir", dir.string()});
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SixHourRinexExport)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
