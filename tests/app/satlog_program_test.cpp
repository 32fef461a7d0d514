// The program satlog run as a user runs it (off screen, START pressed through the mouse hook):
// with the simulated receiver, with a silent one, and with a layout it cannot read.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/app/program_run.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/pseudo_terminal.hpp"
#include "tools/dump/dump_main.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

class SatlogProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("satlog-program-" + std::to_string(getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    ProgramResult Run(Environment environment, std::chrono::seconds limit,
                      const char* program = SATLOG_PROGRAM) {
        environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
        environment.emplace_back("XDG_RUNTIME_DIR", directory_.string());
        return RunProgram(program, {}, environment, directory_.string(), limit);
    }

    fs::path directory_;
};

bool IsCount(const std::string& line) {
    const std::string prefix = "Label3: ";
    if (line.rfind(prefix, 0) != 0 || line.size() == prefix.size()) {
        return false;
    }
    return line.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

struct LogSummary {
    int entries = 0;
    int epochs = 0;
    bool complete = false;
    std::string problem;
};

LogSummary ReadLog(const fs::path& path) {
    LogSummary summary;
    const FramedLog log = FrameLogFile(path.string());
    if (!log.opened) {
        summary.problem = "cannot open " + path.string();
        return summary;
    }
    summary.entries = static_cast<int>(log.Entries().size());
    summary.epochs = static_cast<int>(log.Entries(&kPbnLayout).size());
    summary.complete = !log.Damaged();
    if (summary.complete) {
        return summary;
    }
    for (const FramedEvent& e : log.events) {
        if (e.status != RawLogFramer::Status::Entry) {
            summary.problem = e.text;
            break;
        }
    }
    return summary;
}

}  // namespace

TEST_F(SatlogProgram, UnreadableLayoutIsReportedAndEndsWithoutTheWindow) {
    ProgramResult result = Run({{"SATLOG_LAYOUT_TFORM1", (directory_ / "missing.layout").string()},
                                {"SATLOG_FIRST_PAINT", "1"}},
                               30s);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.FirstError("satlog: Cannot read layout TFORM1 from"), nullptr)
        << result.ErrorText();
    EXPECT_EQ(result.FirstError("first paint"), nullptr) << "the message loop never ran";
    EXPECT_FALSE(fs::exists(directory_ / "mavu0.txt"));
}

// A display that cannot be reached: one line naming it, status 1, and nothing opened.
TEST_F(SatlogProgram, AnUnreachableDisplayIsNamedInOneLine) {
    ProgramResult result = RunProgram(
        "/usr/bin/env",
        {"-u", "WAYLAND_DISPLAY", "DISPLAY=:64999", "QT_QPA_PLATFORM=xcb", SATLOG_PROGRAM}, {},
        directory_.string(), 30s);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.errorLines.size(), 1u) << result.ErrorText();
    EXPECT_EQ(result.errorLines[0].text.rfind(
                  "satlog: cannot open the window on the display DISPLAY=:64999: ", 0),
              0u)
        << result.ErrorText();
    EXPECT_FALSE(fs::exists(directory_ / "mavu0.txt"));
}

TEST_F(SatlogProgram, RecordsTheSimulatedReceiverAndShowsTheCount) {
    BackgroundProgram simulator(SATLOG_SIM_PROGRAM, {"--start", "345600"});
    std::string line = simulator.FirstOutputLine(10s);
    ASSERT_FALSE(line.empty()) << "the simulator printed no line";
    const fs::path picture = directory_ / "window.png";
    ProgramResult result = Run({{"SATLOG_COM3", line},
                                {"SATLOG_TRACE", "1"},
                                {"SATLOG_FIRST_PAINT", "1"},
                                {"SATLOG_CLICK", "Button4,Button4"},
                                {"SATLOG_CLOSE_AFTER", "7"},
                                {"SATLOG_GRAB", picture.string()}},
                               60s);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut) << result.ErrorText();
    EXPECT_EQ(result.exitCode, 0) << result.ErrorText();

    EXPECT_NE(result.FirstError("Label1: COM3 Open"), nullptr) << result.ErrorText();
    EXPECT_NE(result.FirstError("Label2: SetCommState Success"), nullptr);
    const TimedLine* painted = result.FirstError("first paint");
    ASSERT_NE(painted, nullptr) << result.ErrorText();
    const TimedLine* firstCount = nullptr;
    int counts = 0;
    for (const TimedLine& traced : result.errorLines) {
        if (IsCount(traced.text)) {
            firstCount = firstCount ? firstCount : &traced;
            ++counts;
        }
        EXPECT_NE(traced.text, "Label2: error") << "a record was lost or split";
    }
    ASSERT_NE(firstCount, nullptr) << result.ErrorText();
    EXPECT_LE(firstCount->at - painted->at, 3s) << "the count appears within 3 s of START";
    EXPECT_GE(counts, 3) << "and keeps updating, once per epoch";

    // Everything received before the close is in the log, whole.
    LogSummary log = ReadLog(directory_ / "mavu0.txt");
    EXPECT_TRUE(log.complete) << log.problem;
    EXPECT_GE(log.epochs, counts);
    EXPECT_GT(log.entries, log.epochs);

    QImage shot(QString::fromStdString(picture.string()));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size().width(), 383);
    EXPECT_EQ(shot.size().height(), 112);
}

// The trace piped into a reader that leaves early (`satlog 2>&1 | head -n 1`): standard error
// breaks, the recording goes on to the close.
TEST_F(SatlogProgram, ABrokenStandardErrorDoesNotStopTheRecording) {
    BackgroundProgram simulator(SATLOG_SIM_PROGRAM, {"--start", "345600"});
    const std::string line = simulator.FirstOutputLine(10s);
    ASSERT_FALSE(line.empty()) << "the simulator printed no line";
    const std::string pipeline =
        R"("$0" 2>&1 >/dev/null | head -n 1 >/dev/null; exit "${PIPESTATUS[0]}")";
    ProgramResult result = RunProgram("/bin/bash", {"-c", pipeline, SATLOG_PROGRAM},
                                      {{"QT_QPA_PLATFORM", "offscreen"},
                                       {"XDG_RUNTIME_DIR", directory_.string()},
                                       {"SATLOG_COM3", line},
                                       {"SATLOG_TRACE", "1"},
                                       {"SATLOG_CLICK", "Button4"},
                                       {"SATLOG_CLOSE_AFTER", "5"}},
                                      directory_.string(), 60s);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << "ended by a signal from standard error";
    LogSummary log = ReadLog(directory_ / "mavu0.txt");
    EXPECT_TRUE(log.complete) << log.problem;
    EXPECT_GE(log.epochs, 2);
}

TEST_F(SatlogProgram, ClosingWhileTheReceiverIsSilentEndsPromptly) {
    PseudoTerminal silent;
    ProgramResult result = Run({{"SATLOG_COM3", silent.Path()},
                                {"SATLOG_TRACE", "1"},
                                {"SATLOG_FIRST_PAINT", "1"},
                                {"SATLOG_CLICK", "Button4"},
                                {"SATLOG_CLOSE_AFTER", "1.5"}},
                               60s);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.ErrorText();
    const TimedLine* painted = result.FirstError("first paint");
    ASSERT_NE(painted, nullptr) << result.ErrorText();
    // From the close (1.5 s after the first paint) to the end of the process.
    EXPECT_LT(result.elapsed - painted->at, 1500ms + 1500ms);

    // The receive thread had sent its first command and was waiting for the answer.
    pollfd p{silent.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 0), 1);
    char buffer[64] = {};
    ASSERT_GT(read(silent.Fd(), buffer, sizeof buffer - 1), 0);
    EXPECT_EQ(std::string(buffer).rfind("$PASHS", 0), 0u) << buffer;
    EXPECT_EQ(fs::file_size(directory_ / "mavu0.txt"), 0u);
}

TEST_F(SatlogProgram, ClosingEndsWithinItsBoundWhenNothingWakesTheReceiveThread) {
    // The receiver answers, sends one epoch and falls silent behind a driver that ignores every
    // cancellation (the program's own entry, with that device behind COM3).
    ProgramResult result = Run({{"SATLOG_TRACE", "1"},
                                {"SATLOG_FIRST_PAINT", "1"},
                                {"SATLOG_CLICK", "Button4"},
                                {"SATLOG_CLOSE_AFTER", "1.5"}},
                               60s, SATLOG_STUCK_RECEIVER_PROGRAM);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut) << "the receive thread kept the process alive";
    EXPECT_EQ(result.exitCode, 0) << result.ErrorText();
    const TimedLine* painted = result.FirstError("first paint");
    ASSERT_NE(painted, nullptr) << result.ErrorText();
    EXPECT_NE(result.FirstError("satlog: a worker thread did not stop within 1000 ms"), nullptr)
        << result.ErrorText();
    // The close 1.5 s after the first paint, then at most the 1 s bound and the process's end.
    EXPECT_LT(result.elapsed - painted->at, 1500ms + 1000ms + 1000ms);
    EXPECT_NE(result.FirstError("Label3: 1"), nullptr) << "the epoch was computed before the close";

    LogSummary log = ReadLog(directory_ / "mavu0.txt");
    EXPECT_TRUE(log.complete) << log.problem;
    EXPECT_EQ(log.entries, 3);
    EXPECT_EQ(log.epochs, 1);
}

// A follower started before the window, in its directory: the window creates its log (twice: the
// second start empties the first run's log in place) as if nobody read it, never showing
// "mavu0.txt Create Error", and what the follower writes is the fix of every epoch of each run's
// log, the second run's after the follower said that the log started again.
TEST_F(SatlogProgram, AFollowerStartedFirstNeverHindersTheWindowAndSeesEveryEpoch) {
    ChildOptions options;
    options.argv = {SATLOG_DUMP_PROGRAM, "fix", "--follow", "mavu0.txt"};
    options.directory = directory_.string();
    options.output = options.error = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    ChildProcess follower(options);
    ASSERT_TRUE(follower.WaitForLine(
        ChildProcess::Channel::Output,
        [](const std::string& l) { return l.rfind("time_ms", 0) == 0; }, 20s));
    std::vector<std::string> expected;
    for (int run = 0; run < 2; ++run) {
        BackgroundProgram simulator(SATLOG_SIM_PROGRAM, {});
        const std::string line = simulator.FirstOutputLine(10s);
        ASSERT_FALSE(line.empty()) << "the simulator printed no line";
        ProgramResult result = Run({{"SATLOG_COM3", line},
                                    {"SATLOG_TRACE", "1"},
                                    {"SATLOG_CLICK", "Button4"},
                                    {"SATLOG_CLOSE_AFTER", "5"}},
                                   60s);
        ASSERT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0) << result.ErrorText();
        EXPECT_EQ(result.FirstError("Label3: mavu0.txt Create Error"), nullptr)
            << result.ErrorText();
        const CommandRun fix =
            RunCommand(DumpMain, {"satlog-dump", "fix", (directory_ / "mavu0.txt").string()});
        ASSERT_EQ(fix.status, 0) << fix.err;
        std::istringstream rows(fix.out);
        std::string row;
        std::getline(rows, row);  // the header
        while (std::getline(rows, row)) {
            expected.push_back(row);
        }
        ASSERT_FALSE(expected.empty());
        ASSERT_TRUE(follower.WaitForLine(
            ChildProcess::Channel::Output,
            [&](const std::string& l) { return l == expected.back(); }, 20s))
            << "the follower never wrote " << expected.back();
    }
    follower.Signal(SIGTERM);
    EXPECT_EQ(follower.Wait(10s), 0);
    std::vector<std::string> rows;
    for (const ChildProcess::Line& line : follower.Lines(ChildProcess::Channel::Output)) {
        rows.push_back(line.text);
    }
    ASSERT_FALSE(rows.empty());
    rows.erase(rows.begin());
    EXPECT_EQ(rows, expected);
    int restarts = 0;
    for (const ChildProcess::Line& line : follower.Lines(ChildProcess::Channel::Error)) {
        restarts += line.text.find("the log started again") != std::string::npos;
    }
    EXPECT_EQ(restarts, 1);
}
