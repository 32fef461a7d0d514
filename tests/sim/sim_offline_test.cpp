// The whole program offline: --log, --truth, --replay, and its messages for bad input.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial/win32_comm.hpp"
#include "records/record_dispatch.hpp"
#include "records/record_encoder.hpp"
#include "records/satellite_tables.hpp"
#include "tests/support/controlling_terminal.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/pseudo_terminal.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/sim_start.hpp"
#include "tools/sim/raw_log_replay.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

namespace fs = std::filesystem;

class SimOffline : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("satlog-sim-offline-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs satlog-sim with `args`; keeps what it wrote to standard error.
    int Sim(std::vector<std::string> given) {
        const std::vector<std::string> args = WithFixedSimStart(std::move(given));
        std::vector<const char*> argv{"satlog-sim"};
        for (const std::string& a : args) {
            argv.push_back(a.c_str());
        }
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = SimMain(static_cast<int>(argv.size()), argv.data(), out, err);
        stderr_ = Slurp(err);
        std::fclose(out);
        std::fclose(err);
        return status;
    }

    static std::string Slurp(std::FILE* f) {
        std::rewind(f);
        std::string text;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        return text;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string stderr_;
};

struct LogSummary {
    std::size_t snv = 0, mpc = 0, pbn = 0, badTrailers = 0, noSlot = 0;
};

LogSummary Summarise(const std::string& path) {
    LogSummary s;
    const FramedLog log = FrameLogFile(path);
    EXPECT_TRUE(log.opened) << path;
    EXPECT_FALSE(log.Damaged()) << path;
    for (const FramedEvent* entry : log.Entries()) {
        const FramedEvent& e = *entry;
        const std::size_t n = e.body.size();
        s.badTrailers += !(e.body[n - 2] == 0x0D && e.body[n - 1] == 0x0A);
        switch (e.kind->kind) {
            case RecordKind::Ephemeris:
                ++s.snv;
                s.noSlot += !NamesSlot(DecodeEphemeris(std::span(e.body).first<134>()).slot);
                break;
            case RecordKind::Measurement:
                ++s.mpc;
                s.noSlot += !NamesSlot(DecodeMeasurement(std::span(e.body).first<97>()).prn);
                break;
            case RecordKind::EpochTime:
                ++s.pbn;
                break;
        }
    }
    return s;
}

struct Row {
    long timeMs;
    int prn;
    double t, x, y, z;
};

std::vector<Row> ReadRows(const std::string& csv) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time_ms,prn,transmit_time,x,y,z");
    std::vector<Row> rows;
    while (std::getline(in, line)) {
        Row r{};
        EXPECT_EQ(std::sscanf(line.c_str(), "%ld,%d,%lf,%lf,%lf,%lf", &r.timeMs, &r.prn, &r.t, &r.x,
                              &r.y, &r.z),
                  6)
            << line;
        rows.push_back(r);
    }
    return rows;
}

// The positions the tool's own tables compute from a raw log, as satlog-dump prints them.
class Collect : public ComputedSatelliteSink {
  public:
    void SatelliteComputed(std::int32_t timeMs, int slot, double transmitTime,
                           const SatellitePosition& p) override {
        rows.push_back({timeMs, slot, transmitTime, p.x, p.y, p.z});
    }
    std::vector<Row> rows;
};

std::vector<Row> ToolPositions(const std::string& logPath) {
    Collect sink;
    SatelliteTables tables;
    const FramedLog log = FrameLogFile(logPath);
    for (const FramedEvent* e : log.Entries()) {
        DispatchRecord(*e->kind, e->body, tables, &sink);
    }
    return sink.rows;
}

TEST_F(SimOffline, TruthIsWhatTheToolComputesFromTheLogWithinAMillimetre) {
    ASSERT_EQ(Sim({"--log", Path("a.log"), "--truth", Path("a.csv"), "--duration", "120"}), 0)
        << stderr_;
    const LogSummary s = Summarise(Path("a.log"));
    EXPECT_EQ(s.pbn, 120u);
    EXPECT_GE(s.mpc, 120u * 5);
    EXPECT_GE(s.snv, 12u);
    const std::vector<Row> truth = ReadRows(ReadFile(Path("a.csv")));
    const std::vector<Row> tool = ToolPositions(Path("a.log"));
    ASSERT_EQ(truth.size(), tool.size());
    ASSERT_GT(truth.size(), 500u);
    double worst = 0;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        EXPECT_EQ(truth[i].timeMs, tool[i].timeMs);
        EXPECT_EQ(truth[i].prn, tool[i].prn);
        EXPECT_NEAR(truth[i].t, tool[i].t, 1e-9);
        worst = std::max(worst, std::hypot(truth[i].x - tool[i].x, truth[i].y - tool[i].y,
                                           truth[i].z - tool[i].z));
    }
    EXPECT_LT(worst, 1e-3);
}

TEST_F(SimOffline, FaultsShapeTheLogAsTheToolWouldRecordIt) {
    ASSERT_EQ(Sim({"--log", Path("clean.log"), "--duration", "30"}), 0) << stderr_;
    const LogSummary clean = Summarise(Path("clean.log"));
    const std::size_t records = clean.snv + clean.mpc + clean.pbn;

    ASSERT_EQ(Sim({"--log", Path("split.log"), "--duration", "30", "--split-every", "4"}), 0);
    const LogSummary split = Summarise(Path("split.log"));
    EXPECT_EQ(split.snv + split.mpc + split.pbn, records - records / 4);

    ASSERT_EQ(Sim({"--log", Path("mixed.log"), "--duration", "30", "--bad-trailer-every", "5",
                   "--bad-slot-every", "9", "--junk-every", "2", "--unknown-kind-every", "3",
                   "--bad-separator-every", "7"}),
              0);
    const LogSummary mixed = Summarise(Path("mixed.log"));
    EXPECT_EQ(mixed.snv + mixed.mpc + mixed.pbn, records + records / 9);
    EXPECT_EQ(mixed.badTrailers, records / 5);
    EXPECT_EQ(mixed.noSlot, records / 9);

    ASSERT_EQ(Sim({"--log", Path("hangup.log"), "--duration", "30", "--hangup-after", "50"}), 0);
    const LogSummary hangup = Summarise(Path("hangup.log"));
    EXPECT_EQ(hangup.snv + hangup.mpc + hangup.pbn, 50u);
}

TEST_F(SimOffline, ReplayOfALogLogsTheSameBytes) {
    ASSERT_EQ(Sim({"--log", Path("a.log"), "--duration", "40", "--bad-trailer-every", "11"}), 0);
    ASSERT_EQ(Sim({"--replay", Path("a.log"), "--log", Path("b.log")}), 0) << stderr_;
    EXPECT_EQ(ReadFile(Path("a.log")), ReadFile(Path("b.log")));
    // --duration bounds a replay by epochs.
    ASSERT_EQ(Sim({"--replay", Path("a.log"), "--log", Path("c.log"), "--duration", "10"}), 0);
    EXPECT_EQ(Summarise(Path("c.log")).pbn, 10u);
}

TEST_F(SimOffline, DamagedReplayLogReplaysEveryWholeEntryAndSaysWhere) {
    ASSERT_EQ(Sim({"--log", Path("a.log"), "--duration", "3"}), 0);
    const std::string log = ReadFile(Path("a.log"));
    const std::size_t lastEntry = log.size() - (4 + kPbnLayout.bodyLength);
    std::ofstream(Path("cut.log"), std::ios::binary) << log.substr(0, log.size() - 7);
    EXPECT_EQ(Sim({"--replay", Path("cut.log"), "--log", Path("b.log")}), 0) << stderr_;
    EXPECT_EQ(ReadFile(Path("b.log")), log.substr(0, lastEntry));
    EXPECT_NE(stderr_.find(Path("cut.log") + ": byte offset " + std::to_string(lastEntry)),
              std::string::npos)
        << stderr_;

    const std::size_t firstEntry = 4 + kSnvLayout.bodyLength;
    ASSERT_EQ(log.substr(0, 4), "SNV,");
    std::ofstream(Path("holed.log"), std::ios::binary)
        << log.substr(0, firstEntry) << std::string(100, '\0') << log.substr(firstEntry);
    EXPECT_EQ(Sim({"--replay", Path("holed.log"), "--log", Path("c.log")}), 0) << stderr_;
    EXPECT_EQ(ReadFile(Path("c.log")), log);
    EXPECT_NE(stderr_.find("skipped 100 bytes"), std::string::npos) << stderr_;

    std::ofstream(Path("junk.log"), std::ios::binary) << "XYZ," << std::string(60, 'x');
    EXPECT_EQ(Sim({"--replay", Path("junk.log"), "--log", Path("d.log")}), 2);
    EXPECT_NE(stderr_.find("no whole entry"), std::string::npos) << stderr_;
    EXPECT_EQ(Sim({"--replay", Path("missing.log"), "--log", Path("d.log")}), 2);
    EXPECT_NE(stderr_.find(Path("missing.log")), std::string::npos) << stderr_;
    EXPECT_EQ(Sim({"--replay", dir_.string(), "--log", Path("d.log")}), 2);
    EXPECT_NE(stderr_.find("is a directory"), std::string::npos) << stderr_;
}

TEST_F(SimOffline, ReplayReadsAPipe) {
    ASSERT_EQ(Sim({"--log", Path("a.log"), "--duration", "5"}), 0);
    const std::string log = ReadFile(Path("a.log"));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(Path("fifo"), std::ios::binary) << log; });
    EXPECT_EQ(Sim({"--replay", Path("fifo"), "--log", Path("b.log")}), 0) << stderr_;
    writer.join();
    EXPECT_EQ(ReadFile(Path("b.log")), log);
}

TEST_F(SimOffline, ReplayOfALogWithoutPositionRecordsHoldsABoundedEpoch) {
    std::vector<std::uint8_t> log;
    for (int k = 0; k < 1000; ++k) {
        AppendLogEntry(log, kMpcLayout, EncodeMeasurementBody({5, 1, 0.0, 0.07}));
    }
    std::ofstream(Path("a.log"), std::ios::binary)
        .write(reinterpret_cast<const char*>(log.data()), static_cast<std::streamsize>(log.size()));
    ASSERT_EQ(Sim({"--replay", Path("a.log"), "--log", Path("b.log"), "--duration", "1"}), 0);
    const std::size_t entry = 4 + kMpcLayout.bodyLength;
    EXPECT_EQ(ReadFile(Path("b.log")).size(), RawLogReplay::kMaxEpochRecords * entry);
}

TEST_F(SimOffline, OutputsThatNameAnInputOrEachOtherAreRefusedUntouched) {
    ASSERT_EQ(Sim({"--log", Path("rec.log"), "--duration", "2"}), 0);
    const std::string recording = ReadFile(Path("rec.log"));
    std::ofstream(Path("brdc.n")) << "navigation\n";
    fs::create_hard_link(Path("rec.log"), Path("hard.log"));
    fs::create_symlink(Path("rec.log"), Path("soft.log"));
    const std::vector<std::vector<std::string>> cases = {
        {"--replay", Path("rec.log"), "--log", Path("rec.log")},
        {"--replay", Path("rec.log"), "--log", Path("hard.log")},
        {"--replay", Path("soft.log"), "--log",
         Path("../" + dir_.filename().string() + "/rec.log")},
        {"--nav", Path("brdc.n"), "--log", Path("brdc.n"), "--duration", "1"},
        {"--log", Path("new.log"), "--capture", Path("new.log"), "--duration", "1"},
        {"--log", Path("new.log"), "--truth", Path("./new.log"), "--duration", "1"},
        {"--log", Path("rec.log"), "--capture", Path("no/such/dir"), "--duration", "1"},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(Sim(args), 2) << args[1] << " " << args[3];
        EXPECT_EQ(ReadFile(Path("rec.log")), recording) << args[1] << " " << args[3];
        EXPECT_EQ(ReadFile(Path("brdc.n")), "navigation\n");
        EXPECT_FALSE(fs::exists(Path("new.log")));
    }
    EXPECT_NE(stderr_.find(Path("no/such/dir")), std::string::npos) << stderr_;
}

TEST_F(SimOffline, FailedWriteStopsTheRunWithItsCause) {
    EXPECT_EQ(Sim({"--log", "/dev/full", "--duration", "20000", "--truth", Path("t.csv")}), 1);
    EXPECT_NE(stderr_.find("/dev/full: write failed: No space left on device"), std::string::npos)
        << stderr_;
    EXPECT_LT(ReadFile(Path("t.csv")).size(), 100000u);  // not 20000 epochs of rows
}

TEST_F(SimOffline, BadNavigationFileNamesFileAndLine) {
    EXPECT_EQ(Sim({"--nav", Path("none.n"), "--log", Path("x.log"), "--duration", "1"}), 2);
    EXPECT_NE(stderr_.find(Path("none.n")), std::string::npos) << stderr_;
    EXPECT_EQ(Sim({"--nav", dir_.string(), "--log", Path("x.log"), "--duration", "1"}), 2);
    EXPECT_NE(stderr_.find(dir_.string() + ": is a directory"), std::string::npos) << stderr_;
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    // A good file with one damaged number on line 12.
    std::istringstream in(ReadTextFile(ReferenceDataDir() / "brdc1820.10n"));
    std::ostringstream out;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (n == 12) {
            line.replace(10, 6, "#BAD##");
        }
        out << line << '\n';
    }
    std::ofstream(Path("bad.n")) << out.str();
    EXPECT_EQ(Sim({"--nav", Path("bad.n"), "--log", Path("x.log"), "--duration", "1"}), 2);
    EXPECT_NE(stderr_.find(Path("bad.n") + ":12:"), std::string::npos) << stderr_;
    // Without ION ALPHA (line 4) the ephemerides serve, but --ionosphere has no coefficients.
    std::string noAlpha = ReadTextFile(ReferenceDataDir() / "brdc1820.10n");
    const std::size_t alpha = noAlpha.find("ION ALPHA");
    ASSERT_NE(alpha, std::string::npos);
    noAlpha.erase(noAlpha.rfind('\n', alpha) + 1,
                  noAlpha.find('\n', alpha) - noAlpha.rfind('\n', alpha));
    std::ofstream(Path("noion.n")) << noAlpha;
    EXPECT_EQ(Sim({"--nav", Path("noion.n"), "--log", Path("x.log"), "--duration", "1"}), 0);
    EXPECT_EQ(
        Sim({"--nav", Path("noion.n"), "--ionosphere", "--log", Path("x.log"), "--duration", "1"}),
        2);
    EXPECT_NE(stderr_.find(Path("noion.n") + ": has no ION ALPHA and ION BETA"), std::string::npos)
        << stderr_;
}

TEST_F(SimOffline, UnwritableOutputIsRefusedByName) {
    const std::string where = Path("no/such/dir/x.log");
    EXPECT_EQ(Sim({"--log", where, "--duration", "1"}), 2);
    EXPECT_NE(stderr_.find(where), std::string::npos) << stderr_;
}

// satlog is recording into the file: the simulator honours its lock and leaves the log alone.
TEST_F(SimOffline, ALogThatSatlogIsRecordingIsNotTouched) {
    const HANDLE log = CreateFileA(Path("mavu0.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log, "PBN,", 4, &written, nullptr));
    EXPECT_NE(Sim({"--log", Path("mavu0.txt"), "--duration", "1"}), 0);
    EXPECT_NE(stderr_.find(Path("mavu0.txt") + ": cannot write: another program is writing it"),
              std::string::npos)
        << stderr_;
    EXPECT_EQ(ReadFile(Path("mavu0.txt")), "PBN,");
    CloseHandle(log);
}

TEST_F(SimOffline, UnusableDeviceIsNamedWithItsCause) {
    EXPECT_EQ(Sim({"--device", Path("ttyNone")}), 1);
    EXPECT_NE(stderr_.find(Path("ttyNone") + ": cannot open"), std::string::npos) << stderr_;
    EXPECT_EQ(Sim({"--device", "/dev/null"}), 1);
    EXPECT_NE(stderr_.find("/dev/null: not a serial device"), std::string::npos) << stderr_;
    // The terminal it was started from, which it would otherwise leave in raw mode.
    PseudoTerminal terminal;
    EXPECT_TRUE(CheckWithControllingTerminal(terminal.Path(), [&] {
        return Sim({"--device", "/dev/tty"}) == 1 &&
               stderr_.find("/dev/tty: it is this program's controlling terminal") !=
                   std::string::npos;
    }));
}

// Station 0759's hour: one epoch per observation epoch, C1 as the travel time, the truth what the
// tool computes from the log.
TEST_F(SimOffline, ObservationFileIsReplayedEpochByEpoch) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    const std::string obs = (ReferenceDataDir() / "07590920.05o").string();
    const std::string nav = (ReferenceDataDir() / "07590920.05n").string();
    ASSERT_EQ(Sim({"--obs", obs, "--nav", nav, "--log", Path("a.log"), "--truth", Path("a.csv")}),
              0)
        << stderr_;
    std::vector<std::int32_t> epochs;
    std::vector<MeasurementRecord> first;
    const FramedLog log = FrameLogFile(Path("a.log"));
    ASSERT_TRUE(log.opened);
    for (const FramedEvent* e : log.Entries()) {
        const std::span<const std::uint8_t> body(e->body);
        if (e->kind->kind == RecordKind::EpochTime) {
            epochs.push_back(DecodeEpochTime(body.first<58>()));
        } else if (e->kind->kind == RecordKind::Measurement && epochs.empty()) {
            first.push_back(DecodeMeasurement(body.first<97>()));
        }
    }
    ASSERT_EQ(epochs.size(), 120u);
    EXPECT_EQ(epochs.front(), 518400000);
    EXPECT_EQ(epochs[96], 518400000 + 48 * 60000 + 4);  // after a splice, 4 ms late
    EXPECT_EQ(epochs.back(), 521970000 + 5);
    // The first epoch: G03 first, its C1 and L1 as written.
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first[0].prn, 3);
    EXPECT_EQ(first[0].status, 1);
    EXPECT_NEAR(first[0].rawRange * 299792458.0, 24767686.375, 1e-6);
    EXPECT_EQ(first[0].fullPhase, 55923622.160);

    const std::vector<Row> truth = ReadRows(ReadFile(Path("a.csv")));
    const std::vector<Row> tool = ToolPositions(Path("a.log"));
    ASSERT_EQ(truth.size(), tool.size());
    ASSERT_GT(truth.size(), 900u);
    for (std::size_t i = 0; i < truth.size(); ++i) {
        EXPECT_EQ(truth[i].prn, tool[i].prn);
        EXPECT_LT(
            std::hypot(truth[i].x - tool[i].x, truth[i].y - tool[i].y, truth[i].z - tool[i].z),
            1e-3);
    }

    // --duration counts seconds of the file's epochs.
    ASSERT_EQ(Sim({"--obs", obs, "--nav", nav, "--log", Path("b.log"), "--duration", "60"}), 0);
    EXPECT_EQ(Summarise(Path("b.log")).pbn, 2u);
}

// The observation file is read as a stream: an endless device is refused at its first line, not
// read into memory until memory runs out, and a directory is named as one.
TEST_F(SimOffline, ObservationInputThatIsNoFileIsRefusedAtOnce) {
    SATLOG_REQUIRE_REFERENCE("07590920.05n");
    const std::string nav = (ReferenceDataDir() / "07590920.05n").string();
    EXPECT_EQ(Sim({"--obs", "/dev/zero", "--nav", nav, "--log", Path("x.log")}), 2);
    EXPECT_NE(stderr_.find("/dev/zero:1: line longer than 80 characters"), std::string::npos)
        << stderr_;
    EXPECT_EQ(Sim({"--obs", dir_.string(), "--nav", nav, "--log", Path("x.log")}), 2);
    EXPECT_NE(stderr_.find(dir_.string() + ": is a directory"), std::string::npos) << stderr_;
    EXPECT_FALSE(fs::exists(Path("x.log")));
}

TEST_F(SimOffline, BadObservationFileNamesFileAndLine) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    const std::string obs = (ReferenceDataDir() / "07590920.05o").string();
    const std::string nav = (ReferenceDataDir() / "07590920.05n").string();
    EXPECT_EQ(Sim({"--obs", obs, "--log", Path("x.log")}), 2);
    EXPECT_NE(stderr_.find("--nav"), std::string::npos) << stderr_;

    std::string text = ReadTextFile(obs);
    text[text.find("24767686.375")] = 'x';  // line 19, the first satellite's C1
    std::ofstream(Path("bad.o")) << text;
    EXPECT_EQ(Sim({"--obs", Path("bad.o"), "--nav", nav, "--log", Path("x.log")}), 2);
    EXPECT_NE(stderr_.find(Path("bad.o") + ":19:"), std::string::npos) << stderr_;

    text = ReadTextFile(obs);
    text.replace(text.find("    C1    L2"), 12, "    L2    C2");
    std::ofstream(Path("noc1.o")) << text;
    EXPECT_EQ(Sim({"--obs", Path("noc1.o"), "--nav", nav, "--log", Path("x.log")}), 2);
    EXPECT_NE(stderr_.find(Path("noc1.o") + ": the header's # / TYPES OF OBSERV has no C1"),
              std::string::npos)
        << stderr_;
}

}  // namespace
