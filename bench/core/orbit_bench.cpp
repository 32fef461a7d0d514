// Cost of one satellite position over the real ephemerides of a day, each evaluated within two
// hours of its reference time.
#include <benchmark/benchmark.h>

#include "bench/core/bench_data.hpp"
#include "orbit/satellite_position.hpp"

static void BM_ComputeSatellitePosition(benchmark::State& state) {
    const std::vector<EphemerisRecord> ephemerides = BenchEphemerides();
    std::size_t i = 0;
    double offset = -7200.0;
    for (auto _ : state) {
        const EphemerisRecord& e = ephemerides[i];
        benchmark::DoNotOptimize(ComputeSatellitePosition(e, e.toe + offset));
        if (++i == ephemerides.size()) {
            i = 0;
            offset = offset >= 7200.0 ? -7200.0 : offset + 613.7;
        }
    }
    state.counters["ephemerides"] = static_cast<double>(ephemerides.size());
}
BENCHMARK(BM_ComputeSatellitePosition);

static void BM_SolveKepler(benchmark::State& state) {
    double m = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SolveKepler(m, 0.0096));
        m += 0.37;
        if (m > 3.14) {
            m -= 6.28;
        }
    }
}
BENCHMARK(BM_SolveKepler);
