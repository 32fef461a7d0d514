// From the last byte of a PBN record written by the peer to the satellite count on the status
// interface, with ten satellites to compute at the epoch. Target: 2 ms median.
#include <algorithm>
#include <thread>

#include <benchmark/benchmark.h>

#include "bench/receive/receive_bench_support.hpp"

namespace {

void BM_PbnToStatusLatency(benchmark::State& state) {
    PtyReceiver receiver;
    if (!receiver.Ok()) {
        state.SkipWithError("cannot open the pseudo-terminal as COM3");
        return;
    }
    constexpr int kSatellites = 10;
    Bytes ephemerides;
    for (int prn = 1; prn <= kSatellites; ++prn) {
        AppendEphemeris(ephemerides, prn);
    }
    receiver.peer.Write(ephemerides);
    CountingStatusLines::WaitUntil(receiver.status.framed, kSatellites);

    std::vector<double> latenciesUs;
    latenciesUs.reserve(100'000);
    Bytes epoch;
    std::int32_t timeMs = 345'600'000;
    for (auto _ : state) {
        epoch.clear();
        for (int prn = 1; prn <= kSatellites; ++prn) {
            AppendMeasurement(epoch, prn);
        }
        AppendEpoch(epoch, timeMs);
        timeMs += 1000;
        const std::uint64_t countsBefore = receiver.status.counts.load();
        // All but the last byte; the receiver takes the measurements and waits inside the body.
        receiver.peer.Write(std::span(epoch).first(epoch.size() - 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto lastByte = std::chrono::steady_clock::now();
        receiver.peer.Write(std::span(epoch).last(1));
        CountingStatusLines::WaitUntil(receiver.status.counts, countsBefore + 1);
        const std::chrono::steady_clock::time_point shown{
            std::chrono::steady_clock::duration(receiver.status.countAt.load())};
        const double us = std::chrono::duration<double, std::micro>(shown - lastByte).count();
        latenciesUs.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    if (!latenciesUs.empty()) {
        std::sort(latenciesUs.begin(), latenciesUs.end());
        state.counters["median_us"] = latenciesUs[latenciesUs.size() / 2];
        state.counters["p99_us"] = latenciesUs[latenciesUs.size() * 99 / 100];
        state.counters["max_us"] = latenciesUs.back();
    }
    state.counters["errors"] = static_cast<double>(receiver.status.errors.load());
}
BENCHMARK(BM_PbnToStatusLatency)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(500);

}  // namespace
