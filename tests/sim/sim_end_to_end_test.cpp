// The tool's receive thread against satlog-sim over a pseudo-terminal: what the thread logs and
// computes is what the simulator's offline run of the same scenario says it should be.
#include <pthread.h>
#include <time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "orbit/satellite_position.hpp"
#include "tests/sim/precise_orbit.hpp"
#include "tests/sim/sim_process.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/live_receiver.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/thread_cpu.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TruthRow {
    long timeMs;
    int prn;
    double t, x, y, z;
};

std::vector<TruthRow> ReadTruth(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<TruthRow> rows;
    while (std::getline(in, line)) {
        TruthRow r{};
        if (std::sscanf(line.c_str(), "%ld,%d,%lf,%lf,%lf,%lf", &r.timeMs, &r.prn, &r.t, &r.x, &r.y,
                        &r.z) == 6) {
            rows.push_back(r);
        }
    }
    return rows;
}

std::size_t CountEntries(const fs::path& log) {
    const FramedLog framed = FrameLogFile(log.string());
    std::size_t n = 0;
    while (n < framed.events.size() && framed.events[n].status == RawLogFramer::Status::Entry) {
        ++n;
    }
    return n;
}

class SimEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("satlog-sim-e2e-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path Path(const std::string& name) const { return dir_ / name; }

    // The scenario offline: the raw log the tool should write (and the truth, if asked).
    std::string Offline(std::vector<std::string> scenario, const std::string& name) {
        scenario.insert(scenario.end(), {"--log", Path(name).string()});
        SimProcess sim(scenario, Path(name + ".err"));
        EXPECT_TRUE(sim.Started());
        EXPECT_EQ(sim.Wait(60s), 0) << sim.Stderr();
        return ReadFile(Path(name));
    }

    struct Live {
        std::string log;
        std::vector<std::string> status;
        SatelliteTables tables;
        double seconds = 0;  // from the receive thread's start to the complete log
        std::string simStderr;
    };

    // The scenario over a pseudo-terminal into the receive thread, until its log holds
    // `expectedSize` bytes (or a minute has passed).
    Live RunLive(std::vector<std::string> scenario, std::uintmax_t expectedSize) {
        Live out;
        SimProcess sim(scenario, Path("live.err"));
        EXPECT_TRUE(sim.Started());
        const std::string tty = sim.ToolPath();
        EXPECT_FALSE(tty.empty()) << sim.Stderr();
        if (tty.empty()) {
            return out;
        }
        LiveReceiver receiver(tty, Path("mavu0.txt"));
        EXPECT_TRUE(receiver.Ok());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(receiver.WaitForLogSize(expectedSize, 120s))
            << receiver.LogSize() << " of " << expectedSize << " bytes\n"
            << sim.Stderr();
        out.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(sim.Wait(30s), 0) << sim.Stderr();
        // Nothing more arrives after the simulator has ended.
        std::this_thread::sleep_for(100ms);
        receiver.Stop();
        out.log = receiver.Log();
        out.status = receiver.status.Changes();
        out.tables = receiver.Tables();
        out.simStderr = sim.Stderr();
        return out;
    }

    fs::path dir_;
};

std::size_t Count(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

TEST_F(SimEndToEnd, BuiltInConstellationLogAndPositionsMatchTheOfflineRun) {
    const std::vector<std::string> scenario{"--duration", "60", "--truth",
                                            Path("truth.csv").string()};
    const std::string expected = Offline(scenario, "expected.log");
    ASSERT_GT(expected.size(), 40000u);
    std::vector<std::string> live = scenario;
    live.back() = Path("live-truth.csv").string();
    live.push_back("--fast");
    const Live run = RunLive(live, expected.size());
    ASSERT_EQ(run.log.size(), expected.size());
    EXPECT_TRUE(run.log == expected) << "the raw logs differ";
    EXPECT_EQ(ReadFile(Path("truth.csv")), ReadFile(Path("live-truth.csv")));

    // The commands arrived in order, and the tool showed every record and no error.
    for (const char* command :
         {"command 1: $PASHS,RCI,1, answered", "command 2: $PASHS,ELM,15, answered",
          "command 3: $PASHS,OUT,A, answered", "command 4: $PASHS,OUT,A,SNV,PBN,MBN,BIN\n"}) {
        EXPECT_NE(run.simStderr.find(command), std::string::npos) << run.simStderr;
    }
    EXPECT_EQ(Count(run.status, "Label2: error"), 0u);
    EXPECT_EQ(Count(run.status, "Label1: ,PBN,"), 60u);

    // The positions in the tables at the last epoch are the simulator's, within a millimetre,
    // and the count on status line 3 is the number of satellites in the truth.
    const std::vector<TruthRow> truth = ReadTruth(Path("truth.csv"));
    ASSERT_FALSE(truth.empty());
    const long lastMs = truth.back().timeMs;
    std::size_t lastCount = 0;
    for (const TruthRow& r : truth) {
        if (r.timeMs != lastMs) {
            continue;
        }
        ++lastCount;
        const SatelliteState& s = run.tables.stateTable[static_cast<std::size_t>(r.prn)];
        EXPECT_DOUBLE_EQ(s.transmitTime, r.t);
        EXPECT_LT(std::hypot(s.x - r.x, s.y - r.y, s.z - r.z), 1e-3) << "PRN " << r.prn;
    }
    EXPECT_EQ(run.status.back(), "Label1: ,PBN,");
    EXPECT_EQ(run.status[run.status.size() - 2], "Label3: " + std::to_string(lastCount));
}

TEST_F(SimEndToEnd, BroadcastScenarioAgreesWithPreciseOrbits) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    SATLOG_REQUIRE_REFERENCE("igs15904.sp3");
    const std::vector<std::string> scenario{
        "--nav",      (ReferenceDataDir() / "brdc1820.10n").string(),
        "--start",    "400000",
        "--duration", "30",
        "--position", "-33.9,18.4,50"};
    const std::string expected = Offline(scenario, "expected.log");
    std::vector<std::string> live = scenario;
    live.push_back("--fast");
    const Live run = RunLive(live, expected.size());
    ASSERT_TRUE(run.log == expected) << "the raw logs differ";

    const std::vector<PreciseOrbitPoint> sp3 = LoadPreciseOrbits("igs15904.sp3");
    int compared = 0;
    double worst = 0;
    for (int slot = 1; slot <= 32; ++slot) {
        const SatelliteState& s = run.tables.stateTable[static_cast<std::size_t>(slot)];
        if (s.receiveTime != 400029.0 || s.x == 0.0 || !run.tables.ephemerisValid[slot]) {
            continue;
        }
        // The emission instant is the transmit time corrected by the satellite's clock.
        const SatelliteSolution sol = SolveSatellitePosition(
            run.tables.ephemerisTable[static_cast<std::size_t>(slot)], s.transmitTime);
        const auto precise = InterpolatePreciseOrbit(sp3, slot, sol.correctedTime);
        ASSERT_TRUE(precise);
        worst = std::max(worst, std::hypot(s.x - precise->x, s.y - precise->y, s.z - precise->z));
        ++compared;
    }
    EXPECT_GE(compared, 5);
    EXPECT_LT(worst, 8.0);
    std::printf("%d satellites, worst distance to the precise orbit %.2f m\n", compared, worst);
}

TEST_F(SimEndToEnd, FaultsGiveTheStatusTextsAndLogTheFramingRulesRequire) {
    const std::vector<std::string> clean{"--duration", "20"};
    const std::string cleanLog = Offline(clean, "clean.log");
    const std::size_t records = CountEntries(Path("clean.log"));
    const std::vector<std::string> scenario{
        "--duration",          "20", "--split-every",        "9",  "--junk-every",          "3",
        "--bad-trailer-every", "7",  "--unknown-kind-every", "11", "--bad-separator-every", "5",
        "--bad-slot-every",    "13"};
    const std::string expected = Offline(scenario, "expected.log");
    std::vector<std::string> live = scenario;
    live.push_back("--fast");
    const Live run = RunLive(live, expected.size());
    EXPECT_TRUE(run.log == expected) << "the raw logs differ";
    // Every split and every wrong trailer, and nothing else, shows "error".
    const std::size_t splits = records / 9;
    const std::size_t trailers = records / 7 - records / 63;  // a split trailer is never seen
    EXPECT_EQ(Count(run.status, "Label2: error"), splits + trailers);
    // Unknown kinds and wrong separators are shown as their headers.
    EXPECT_EQ(Count(run.status, "Label1: ,XYZ,"), records / 11);
    std::size_t separators = 0;
    for (const std::string& s : run.status) {
        separators += s.starts_with("Label1: ;");
    }
    // Even a header cut short shows the separator it began with.
    EXPECT_EQ(separators, records / 5);
    // A header cut after two bytes shows those two.
    EXPECT_GT(Count(run.status, "Label1: ,M") + Count(run.status, "Label1: ,S") +
                  Count(run.status, "Label1: ,P"),
              0u);
    // Every epoch's position record shows its header unless its header was cut.
    std::size_t positions = 0;
    for (const std::string& s : run.status) {
        positions += s.ends_with("PBN,");
    }
    EXPECT_LE(positions, 20u);
    EXPECT_GE(positions, 20u - splits);
}

TEST_F(SimEndToEnd, HangUpLeavesTheThreadWaitingWithoutSpinning) {
    const std::vector<std::string> scenario{"--duration", "30", "--hangup-after", "40"};
    const std::string expected = Offline(scenario, "expected.log");
    EXPECT_EQ(CountEntries(Path("expected.log")), 40u);
    SimProcess sim({"--duration", "30", "--hangup-after", "40", "--fast"}, Path("live.err"));
    const std::string tty = sim.ToolPath();
    ASSERT_FALSE(tty.empty());
    LiveReceiver receiver(tty, Path("mavu0.txt"));
    ASSERT_TRUE(receiver.WaitForLogSize(expected.size(), 60s));
    EXPECT_EQ(sim.Wait(30s), 0);
    EXPECT_NE(sim.Stderr().find("hanging up after 40 records"), std::string::npos);
    std::this_thread::sleep_for(100ms);
    const double before = ThreadCpuMs(receiver.NativeHandle());
    std::this_thread::sleep_for(500ms);
    const double after = ThreadCpuMs(receiver.NativeHandle());
    EXPECT_LT(after - before, 50.0) << "the receive thread spins on the dead line";
    receiver.Stop();
    EXPECT_TRUE(receiver.Log() == expected);
}

TEST_F(SimEndToEnd, SilentReceiverKeepsTheToolInConfiguration) {
    SimProcess sim({"--silent-after", "1", "--link", Path("gps").string()}, Path("live.err"));
    const std::string tty = sim.ToolPath();
    ASSERT_FALSE(tty.empty());
    EXPECT_EQ(fs::read_symlink(Path("gps")).string(), tty);
    // The tool opens the link, as SATLOG_COM3 would name it.
    LiveReceiver receiver(Path("gps").string(), Path("mavu0.txt"));
    ASSERT_TRUE(receiver.Ok());
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (sim.Stderr().find("command 2: $PASHS,ELM,15") == std::string::npos &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(300ms);
    const std::string log = sim.Stderr();
    EXPECT_NE(log.find("command 1: $PASHS,RCI,1, answered"), std::string::npos) << log;
    EXPECT_NE(log.find("command 2: $PASHS,ELM,15\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("command 3"), std::string::npos) << log;
    EXPECT_EQ(receiver.LogSize(), 0u);
    receiver.Stop();
    sim.Terminate();
    EXPECT_EQ(sim.Wait(10s), 0);
    EXPECT_FALSE(fs::is_symlink(Path("gps"))) << "the link outlives the simulator";
}

TEST_F(SimEndToEnd, ReplayedLogArrivesUnchanged) {
    const std::string recorded = Offline(
        {"--duration", "15", "--bad-trailer-every", "6", "--bad-slot-every", "10"}, "recorded.log");
    const Live run =
        RunLive({"--replay", Path("recorded.log").string(), "--fast"}, recorded.size());
    EXPECT_TRUE(run.log == recorded);
}

TEST_F(SimEndToEnd, RealTimeKeepsToTheLineRate) {
    const std::string expected = Offline({"--duration", "3"}, "expected.log");
    const auto start = std::chrono::steady_clock::now();
    const Live run = RunLive({"--duration", "3"}, expected.size());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(run.log == expected);
    // Three epochs one second apart, each taking what 19,200 bits/s need for its bytes.
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 8.0);
}

TEST_F(SimEndToEnd, ObservationReplayKeepsTheFilesEpochRate) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    const std::vector<std::string> scenario{
        "--obs",      (ReferenceDataDir() / "07590920.05o").string(),
        "--nav",      (ReferenceDataDir() / "07590920.05n").string(),
        "--duration", "90"};
    const std::string expected = Offline(scenario, "expected.log");
    std::vector<std::string> live = scenario;
    live.insert(live.end(), {"--speed", "30"});
    const auto start = std::chrono::steady_clock::now();
    const Live run = RunLive(live, expected.size());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(run.log == expected);
    // Three epochs 30 s apart in the file, one second apart at 30 times real time.
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 8.0);
}

// Throughput: --fast over a pseudo-terminal into the receive thread, with nothing lost.
TEST_F(SimEndToEnd, FastThroughputWithoutLoss) {
    const std::vector<std::string> scenario{"--duration", "600"};
    const std::string expected = Offline(scenario, "expected.log");
    const std::size_t records = CountEntries(Path("expected.log"));
    const Live run = RunLive({"--duration", "600", "--fast"}, expected.size());
    ASSERT_EQ(run.log.size(), expected.size());
    EXPECT_TRUE(run.log == expected);
    EXPECT_EQ(Count(run.status, "Label2: error"), 0u);
    std::printf("--fast: %zu records (%zu bytes of log) in %.2f s: %.0f records/s, none lost\n",
                records, expected.size(), run.seconds, static_cast<double>(records) / run.seconds);
}

// SIGINT, SIGTERM and SIGHUP end an offline run at once, with every entry of the log whole.
TEST_F(SimEndToEnd, SignalsEndAnOfflineRunWithWholeEntries) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path log = Path("signalled.log");
        SimProcess sim({"--log", log.string(), "--duration", "100000000"}, Path("signalled.err"));
        ASSERT_TRUE(sim.Started());
        std::this_thread::sleep_for(200ms);
        sim.Signal(signal);
        ASSERT_EQ(sim.Wait(10s), 0) << "signal " << signal << ": " << sim.Stderr();
        EXPECT_NE(sim.Stderr().find("interrupted"), std::string::npos) << sim.Stderr();
        const FramedLog framed = FrameLogFile(log.string());
        ASSERT_TRUE(framed.opened);
        EXPECT_FALSE(framed.Damaged()) << "signal " << signal;
        EXPECT_GT(framed.Entries().size(), 0u);
    }
}

}  // namespace
