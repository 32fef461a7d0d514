// How fast the receive path takes records off a pseudo-terminal written at full speed, and
// whether any is lost. The receiver's line carries 1,920 bytes/s; the target is 1 MB/s.
#include <benchmark/benchmark.h>

#include "bench/receive/receive_bench_support.hpp"

namespace {

void BM_ReceiveThroughputPty(benchmark::State& state) {
    PtyReceiver receiver;
    if (!receiver.Ok()) {
        state.SkipWithError("cannot open the pseudo-terminal as COM3");
        return;
    }
    // 100 epochs of 10 satellites, an ephemeris now and then, noise between epochs.
    Bytes block;
    std::uint64_t recordsPerBlock = 0;
    std::uint64_t logBytesPerBlock = 0;
    for (int epoch = 0; epoch < 100; ++epoch) {
        if (epoch % 10 == 0) {
            for (int prn = 1; prn <= 10; ++prn) {
                AppendEphemeris(block, prn);
                ++recordsPerBlock;
                logBytesPerBlock += 4 + kSnvLayout.bodyLength;
            }
        }
        for (int prn = 1; prn <= 10; ++prn) {
            AppendMeasurement(block, prn);
            ++recordsPerBlock;
            logBytesPerBlock += 4 + kMpcLayout.bodyLength;
        }
        AppendEpoch(block, epoch * 1000);
        ++recordsPerBlock;
        logBytesPerBlock += 4 + kPbnLayout.bodyLength;
        const char noise[] = "$PASHR,ACK*3D\r\n";
        block.insert(block.end(), noise, noise + sizeof noise - 1);
    }
    const std::uint64_t noiseHeaders = 100;  // each "ACK" reply is framed as an unknown kind

    std::uint64_t blocks = 0;
    for (auto _ : state) {
        receiver.peer.Write(block);
        ++blocks;
        CountingStatusLines::WaitUntil(receiver.status.framed,
                                       blocks * (recordsPerBlock + noiseHeaders));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(blocks * block.size()));
    state.counters["records"] = benchmark::Counter(static_cast<double>(blocks * recordsPerBlock));
    const std::uint64_t expectedLog = blocks * logBytesPerBlock;
    const std::uintmax_t logged = receiver.LogSize();
    state.counters["lost_log_bytes"] =
        benchmark::Counter(static_cast<double>(expectedLog) - static_cast<double>(logged));
    state.counters["errors"] =
        benchmark::Counter(static_cast<double>(receiver.status.errors.load()));
}
BENCHMARK(BM_ReceiveThroughputPty)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
