// Throughput of `satlog-dump positions` over a generated raw log of more than 100 MB: ten
// satellites measured at every epoch, the CSV going to /dev/null.
#include <cstdio>
#include <filesystem>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/core/bench_data.hpp"
#include "gnss/gps_time.hpp"
#include "records/record_encoder.hpp"
#include "tools/dump/dump_records.hpp"

namespace {

std::filesystem::path MakeLog(std::size_t minimumBytes) {
    const auto path = std::filesystem::temp_directory_path() / "satlog-dump-bench.log";
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) >= minimumBytes) {
        return path;
    }
    std::vector<EphemerisRecord> all = BenchEphemerides();
    std::vector<EphemerisRecord> chosen;
    for (const EphemerisRecord& e : all) {
        if (e.toe == 345600 && chosen.size() < 10) {
            chosen.push_back(e);
        }
    }
    if (chosen.empty()) {
        chosen.push_back(all.front());
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::vector<std::uint8_t> block;
    for (const EphemerisRecord& e : chosen) {
        AppendLogEntry(block, kSnvLayout, EncodeEphemerisBody(e));
    }
    std::size_t written = 0;
    for (std::int32_t timeMs = 345600000; written < minimumBytes; timeMs += 1000) {
        for (const EphemerisRecord& e : chosen) {
            AppendLogEntry(block, kMpcLayout,
                           EncodeMeasurementBody({static_cast<std::uint8_t>(e.prn + 1), 1, 0.0,
                                                  0.07 + e.prn * 1e-4}));
        }
        AppendLogEntry(
            block, kPbnLayout,
            EncodeEpochTimeBody(static_cast<std::int32_t>(timeMs % kMillisecondsPerWeek)));
        if (block.size() > (1 << 20)) {
            written += std::fwrite(block.data(), 1, block.size(), out);
            block.clear();
        }
    }
    written += std::fwrite(block.data(), 1, block.size(), out);
    std::fclose(out);
    return path;
}

void BM_DumpPositions(benchmark::State& state) {
    const auto path = MakeLog(100u << 20);
    const auto bytes = std::filesystem::file_size(path);
    std::FILE* devNull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        std::FILE* in = std::fopen(path.c_str(), "rb");
        const int status = DumpPositions(in, path.string(), devNull, stderr);
        std::fclose(in);
        if (status != 0) {
            state.SkipWithError("dump failed");
        }
    }
    std::fclose(devNull);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["log_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_DumpPositions)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
