// The follower (LogFollower, as satlog-dump fix --follow runs it, with the fix of every epoch) on
// a log that a writer appends entry by entry, one write per entry as the window does:
//  - BM_FollowLatency/PERIOD_MS: from just before the write of an epoch's PBN entry to the
//    follower's Epoch call, one epoch every PERIOD_MS; median and p99 in microseconds.
//  - BM_FollowCpu/PERIOD_MS: the follower thread's CPU time over the wall time while the log grows
//    by one epoch every PERIOD_MS (1000: the receiver's 1 Hz), and BM_FollowCpuIdle while nothing
//    is written. Goal: 0.5 % or less.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "formats/rawlog/epoch_fix.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/thread_cpu.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The entries of a simulated hour, each as one write, and which of them are PBN entries.
struct Entries {
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<bool> closesEpoch;
};

const Entries& SimulatedEntries() {
    static const Entries entries = [] {
        const auto path = std::filesystem::temp_directory_path() / "satlog-follow-bench-1h.log";
        if (!std::filesystem::exists(path)) {
            const std::string log = path.string();
            const char* argv[] = {"satlog-sim", "--log", log.c_str(), "--duration", "3600"};
            SimMain(static_cast<int>(std::size(argv)), argv, stdout, stderr);
        }
        const FramedLog framed = FrameLogFile(path.string());
        Entries e;
        for (const FramedEvent* entry : framed.Entries()) {
            std::vector<std::uint8_t> bytes(entry->kind->tag.begin(), entry->kind->tag.end());
            bytes.insert(bytes.end(), entry->body.begin(), entry->body.end());
            e.writes.push_back(std::move(bytes));
            e.closesEpoch.push_back(entry->kind == &kPbnLayout);
        }
        return e;
    }();
    return entries;
}

// What fix --follow does with an epoch, and when the call came.
class FixingVisitor : public LogFollowVisitor {
  public:
    std::atomic<std::uint64_t> epochs{0};
    std::atomic<Clock::rep> lastEpochAt{0};
    std::atomic<bool> caughtUp{false};
    EpochFixer fixer;
    void CaughtUp() override {
        caughtUp.store(true);
        caughtUp.notify_all();
    }
    void Epoch(const LogEpoch& epoch) override {
        lastEpochAt.store(Clock::now().time_since_epoch().count());
        benchmark::DoNotOptimize(fixer.Fix(epoch).fix);
        epochs.fetch_add(1);
        epochs.notify_all();
    }
};

// A follower on its own thread, over a fresh log in the temporary directory.
class FollowRun {
  public:
    FollowRun()
        : path_((std::filesystem::temp_directory_path() /
                 ("satlog-follow-bench-" + std::to_string(::getpid()) + ".log"))
                    .string()),
          fd_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644)),
          follower_(path_, visitor, stderr),
          thread_([this] { follower_.Run(); }) {
        // What is written before the follower has read the log's past would count as that past.
        visitor.caughtUp.wait(false);
    }
    ~FollowRun() {
        follower_.RequestStop();
        thread_.join();
        ::close(fd_);
        std::filesystem::remove(path_);
    }
    FollowRun(const FollowRun&) = delete;
    FollowRun& operator=(const FollowRun&) = delete;

    // Writes the entries of the next epoch; returns the time just before its PBN entry's write.
    Clock::time_point WriteEpoch() {
        const Entries& entries = SimulatedEntries();
        for (;;) {
            const std::size_t k = next_++ % entries.writes.size();
            const Clock::time_point before = Clock::now();
            if (::write(fd_, entries.writes[k].data(), entries.writes[k].size()) < 0) {
                return before;
            }
            if (entries.closesEpoch[k]) {
                return before;
            }
        }
    }
    double CpuMs() { return ThreadCpuMs(thread_.native_handle()); }

    FixingVisitor visitor;

  private:
    std::string path_;
    int fd_;
    std::size_t next_ = 0;
    LogFollower follower_;
    std::thread thread_;
};

void BM_FollowLatency(benchmark::State& state) {
    const auto period = std::chrono::milliseconds(state.range(0));
    FollowRun run;
    // The first epochs of a log wait for those after them to have their time judged; from the
    // third on, each steady step is handed on at once.
    constexpr std::uint64_t kWarmUpEpochs = 5;
    for (std::uint64_t k = 0; k < kWarmUpEpochs; ++k) {
        run.WriteEpoch();
    }
    for (std::uint64_t n = run.visitor.epochs.load(); n < kWarmUpEpochs;
         n = run.visitor.epochs.load()) {
        run.visitor.epochs.wait(n);
    }
    std::vector<double> latenciesUs;
    for (auto _ : state) {
        const std::uint64_t before = run.visitor.epochs.load();
        const Clock::time_point written = run.WriteEpoch();
        run.visitor.epochs.wait(before);
        const Clock::time_point called{Clock::duration(run.visitor.lastEpochAt.load())};
        const double us = std::chrono::duration<double, std::micro>(called - written).count();
        latenciesUs.push_back(us);
        state.SetIterationTime(us / 1e6);
        std::this_thread::sleep_until(written + period);
    }
    std::sort(latenciesUs.begin(), latenciesUs.end());
    state.counters["median_us"] = latenciesUs[latenciesUs.size() / 2];
    state.counters["p99_us"] = latenciesUs[latenciesUs.size() * 99 / 100];
    state.counters["max_us"] = latenciesUs.back();
}
BENCHMARK(BM_FollowLatency)
    ->Arg(100)
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FollowLatency)
    ->Arg(1000)
    ->Iterations(60)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void MeasureCpu(benchmark::State& state, bool grows) {
    const auto period = std::chrono::milliseconds(grows ? state.range(0) : 1000);
    FollowRun run;
    for (int k = 0; k < 10; ++k) {
        run.WriteEpoch();  // some past to read, then the follower is settled
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpuBefore = run.CpuMs();
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        const Clock::time_point at = Clock::now();
        if (grows) {
            run.WriteEpoch();
        }
        std::this_thread::sleep_until(at + period);
    }
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    state.counters["cpu_percent"] = 100.0 * (run.CpuMs() - cpuBefore) / wallMs;
    state.counters["epochs"] = static_cast<double>(run.visitor.epochs.load());
}

void BM_FollowCpu(benchmark::State& state) {
    MeasureCpu(state, true);
}
BENCHMARK(BM_FollowCpu)->Arg(1000)->Iterations(30)->Unit(benchmark::kMillisecond);

void BM_FollowCpuIdle(benchmark::State& state) {
    MeasureCpu(state, false);
}
BENCHMARK(BM_FollowCpuIdle)->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace
