// Fault drills on the program satlog as a user runs it (off screen, START pressed): the receiver
// hangs up, the port is held by another program, the raw log cannot be created, the disk fills,
// the line floods with junk. Each drill checks what the user sees, that every record received
// before the fault is in the raw log whole, and that the program costs no CPU once the fault has
// happened (no busy loop on a dead line, a missing log or a full disk).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "tests/reliability/drill_program.hpp"
#include "tests/reliability/drill_receiver.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Idle means below 3 % of one core: a loop that retries a failing call, even with a short sleep,
// costs more than that; the window and a waiting receive thread cost nothing measurable.
constexpr double kIdleCpuShare = 0.03;
constexpr auto kIdleSpan = 2000ms;

class ProgramDrill : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("satlog-drill-" + std::to_string(getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(directory_, fs::perms::owner_all, ignored);
        fs::remove_all(directory_, ignored);
    }

    DrillOptions Options(const DrillReceiver& receiver, double closeAfter) const {
        DrillOptions options;
        options.directory = directory_.string();
        options.environment = {{"SATLOG_COM3", receiver.Path()}};
        options.closeAfterSeconds = closeAfter;
        return options;
    }
    std::string LogPath() const { return (directory_ / "mavu0.txt").string(); }

    // Waits until the raw log has reached `size` bytes.
    bool WaitForLogSize(std::uintmax_t size, std::chrono::milliseconds limit) const {
        const auto until = std::chrono::steady_clock::now() + limit;
        std::error_code ignored;
        while (std::chrono::steady_clock::now() < until) {
            if (fs::file_size(LogPath(), ignored) >= size && !ignored) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The window closes when its timer says, however the line behaved: the program is responsive
    // and ends cleanly. Returns how late the end came after the close was due.
    void ExpectClosesOnTime(DrillProgram& program, double closeAfter) {
        const auto painted = program.WaitForLine(
            [](const std::string& line) { return line.rfind("first paint", 0) == 0; }, 0ms);
        ASSERT_TRUE(painted) << program.Transcript();
        const std::optional<int> exit = program.Wait(60s);
        ASSERT_TRUE(exit) << "the program did not end after its window was closed";
        EXPECT_EQ(*exit, 0) << program.Transcript();
        const auto due = painted->at + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::duration<double>(closeAfter));
        const double late = std::chrono::duration<double>(program.EndedAt() - due).count();
        RecordProperty("close_late_ms", static_cast<int>(late * 1000));
        EXPECT_LT(late, 2.0) << "the window closed " << late << " s after it was due";
    }

    void ExpectIdle(DrillProgram& program, const char* when) {
        const double share = program.CpuShareOver(kIdleSpan);
        RecordProperty(std::string("cpu_share_") + when, std::to_string(share));
        std::printf("[ drill ] %s: CPU %.2f %% of one core over %.1f s\n", when, share * 100,
                    std::chrono::duration<double>(kIdleSpan).count());
        EXPECT_GE(share, 0.0) << "the program is gone";
        EXPECT_LT(share, kIdleCpuShare) << "busy " << when;
    }

    static bool Shows(const DrillProgram& program, const std::string& text) {
        const auto lines = program.Lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const DrillProgram::Line& line) { return line.text == text; });
    }

    fs::path directory_;
};

// The receiver hangs up in the middle of a record: what came before it is logged whole, the cut
// record is reported and left out, and the dead line costs nothing.
TEST_F(ProgramDrill, HangUpInTheMiddleOfARecord) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    constexpr double kCloseAfter = 9;
    DrillProgram program(SATLOG_PROGRAM, Options(receiver, kCloseAfter));
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    const DrillSession session(6, 3);
    receiver.Send(session.Line());
    ASSERT_TRUE(WaitForLogSize(session.Log().size(), 10s)) << program.Transcript();
    ASSERT_TRUE(program.WaitForLine("Label3: 6", 5s)) << program.Transcript();

    // Prefix, header and 39 of the 97 body bytes of the next measurement, then the line dies.
    const DrillSession next(6, 1, 3);
    const Bytes& cut = next.records[6].framed;
    receiver.Send(Bytes(cut.begin(), cut.begin() + 50));
    std::this_thread::sleep_for(300ms);
    receiver.HangUp();

    EXPECT_TRUE(program.WaitForLine("Label2: error", 3s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine("Label1: ,MPC,", 3s));
    ExpectIdle(program, "after a hang-up inside a record");
    EXPECT_TRUE(ReadFileBytes(LogPath()) == session.Log()) << "the raw log lost or cut a record";
    ExpectClosesOnTime(program, kCloseAfter);
    EXPECT_TRUE(ReadFileBytes(LogPath()) == session.Log());
}

// The receiver hangs up between records, the line having been quiet for a while.
TEST_F(ProgramDrill, HangUpWhileIdle) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    constexpr double kCloseAfter = 9;
    DrillProgram program(SATLOG_PROGRAM, Options(receiver, kCloseAfter));
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    const DrillSession session(5, 2);
    receiver.Send(session.Line());
    ASSERT_TRUE(WaitForLogSize(session.Log().size(), 10s)) << program.Transcript();
    ASSERT_TRUE(program.WaitForLine("Label3: 5", 5s)) << program.Transcript();
    std::this_thread::sleep_for(500ms);
    receiver.HangUp();

    ExpectIdle(program, "after a hang-up while idle");
    EXPECT_FALSE(Shows(program, "Label2: error")) << program.Transcript();
    EXPECT_TRUE(ReadFileBytes(LogPath()) == session.Log());
    ExpectClosesOnTime(program, kCloseAfter);
}

// Another program has the port when satlog starts: the window says so, START leads to a receive
// thread that waits without cost, and nothing is sent to the other program's line.
TEST_F(ProgramDrill, PortHeldByAnotherProgramAtStartUp) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    setenv("SATLOG_COM9", receiver.Path().c_str(), 1);
    const HANDLE other =
        CreateFileA("COM9", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << "the drill could not take the port itself";

    constexpr double kCloseAfter = 5;
    DrillProgram program(SATLOG_PROGRAM, Options(receiver, kCloseAfter));
    ASSERT_TRUE(program.Started());
    EXPECT_TRUE(program.WaitForLine("Label1: COM3 Open Error", 20s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine("Label2: SetCommState Error", 5s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine(
        [&](const std::string& line) {
            return line.find(receiver.Path()) != std::string::npos &&
                   line.find("busy") != std::string::npos;
        },
        5s))
        << "the cause, naming the device, is on standard error\n"
        << program.Transcript();
    std::this_thread::sleep_for(500ms);  // START has been pressed
    ExpectIdle(program, "with the port held by another program");
    EXPECT_TRUE(receiver.Received(100ms).empty()) << "satlog wrote to a port it does not hold";
    ExpectClosesOnTime(program, kCloseAfter);
    CloseHandle(other);
    EXPECT_EQ(fs::file_size(LogPath()), 0u);
}

// The raw log cannot be created because the working directory is gone: the window says so at
// start-up, every record is still decoded and counted, and each failed log write is shown.
TEST_F(ProgramDrill, RawLogCannotBeCreatedInAMissingDirectory) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    constexpr double kCloseAfter = 8;
    DrillOptions options = Options(receiver, kCloseAfter);
    options.removeDirectoryFirst = true;
    DrillProgram program(SATLOG_PROGRAM, options);
    ASSERT_TRUE(program.Started());
    EXPECT_TRUE(program.WaitForLine("Label3: mavu0.txt Create Error", 20s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine(
        [](const std::string& line) {
            return line.rfind("satlog: cannot create mavu0.txt in ", 0) == 0;
        },
        5s))
        << program.Transcript();
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    receiver.Send(DrillSession(4, 2).Line());
    EXPECT_TRUE(program.WaitForLine("Label2: mavu0.txt Write Error", 5s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine("Label3: 4", 5s)) << program.Transcript();
    ExpectIdle(program, "without a raw log");
    ExpectClosesOnTime(program, kCloseAfter);
}

// The disk fills while logging (a limit on the size of the files the program writes, its signal
// ignored): the write that does not fit is shown as "mavu0.txt Write Error", the program goes on
// counting, and every entry before the full disk is whole.
TEST_F(ProgramDrill, DiskFullWhileLogging) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    const DrillSession session(6, 3);
    constexpr std::size_t kWhole = 12;  // the ephemerides and the first epoch's measurements
    const std::size_t room = session.Log(0, kWhole).size() + 50;
    constexpr double kCloseAfter = 8;
    DrillOptions options = Options(receiver, kCloseAfter);
    options.fileSizeLimit = room;
    DrillProgram program(SATLOG_PROGRAM, options);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    receiver.Send(session.Line());
    EXPECT_TRUE(program.WaitForLine("Label2: mavu0.txt Write Error", 10s)) << program.Transcript();
    // The epochs after the full disk are still computed and shown.
    const auto thirdCount = program.WaitForLine(
        [&, seen = 0](const std::string& line) mutable {
            return line == "Label3: 6" && ++seen == 3;
        },
        10s);
    EXPECT_TRUE(thirdCount) << program.Transcript();
    ExpectIdle(program, "with the disk full");

    const Bytes log = ReadFileBytes(LogPath());
    const Bytes whole = session.Log(0, kWhole);
    ASSERT_GE(log.size(), whole.size());
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), log.begin()))
        << "an entry written before the disk filled is not whole";
    EXPECT_LE(log.size(), room);
    ExpectClosesOnTime(program, kCloseAfter);
}

// The disk fills in the middle of an entry and later has room again (another file deleted): the
// entries logged after that must still be readable, so a write that did not fit may leave no
// partial entry behind.
TEST_F(ProgramDrill, RawLogStaysReadableWhenSpaceReturnsAfterADiskFull) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    const DrillSession session(4, 4);
    constexpr std::size_t kWhole = 9;
    constexpr double kCloseAfter = 8;
    DrillOptions options = Options(receiver, kCloseAfter);
    options.fileSizeLimit = session.Log(0, kWhole).size() + 40;
    DrillProgram program(SATLOG_PROGRAM, options);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    receiver.Send(session.Line(0, kWhole + 2));
    ASSERT_TRUE(program.WaitForLine("Label2: mavu0.txt Write Error", 10s)) << program.Transcript();
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(program.SetFileSizeLimit(RLIM_INFINITY));
    receiver.Send(session.Line(kWhole + 2));
    const std::size_t rest = session.Log(kWhole + 2).size();
    ASSERT_TRUE(WaitForLogSize(session.Log(0, kWhole).size() + rest, 10s));
    std::this_thread::sleep_for(300ms);

    // What fitted before, then what came after the space returned: whole entries only.
    Bytes expected = session.Log(0, kWhole);
    const Bytes after = session.Log(kWhole + 2);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_TRUE(ReadFileBytes(LogPath()) == expected)
        << "the raw log holds a partial entry, and every entry after it is misread";
    ExpectClosesOnTime(program, kCloseAfter);
}

// Junk at full speed for 10 s, with stray prefixes and headers of unknown kinds in it, then valid
// records: the first record after the junk is framed, the window keeps up with its captions and
// closes on time while a second flood is running, and the raw log holds exactly the records.
TEST_F(ProgramDrill, JunkFloodThenValidRecords) {
    DrillReceiver receiver;
    ASSERT_TRUE(receiver.Ok());
    constexpr double kCloseAfter = 18;
    DrillProgram program(SATLOG_PROGRAM, Options(receiver, kCloseAfter));
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(receiver.AnswerConfiguration(20s)) << program.Transcript();

    Bytes junk(1 << 16);
    std::mt19937 random(20240611);
    std::generate(junk.begin(), junk.end(), [&] { return static_cast<std::uint8_t>(random()); });
    const std::string unknown = "$PASHR,XYZ,";
    const std::string partial = "$PASH$PA$PASHR";  // a prefix that swallows the junk after it
    for (std::size_t at = 0; at + 64 < junk.size(); at += 4096) {
        std::copy(unknown.begin(), unknown.end(), junk.begin() + static_cast<long>(at));
        std::copy(partial.begin(), partial.end(), junk.begin() + static_cast<long>(at + 2048));
    }

    const double cpuBefore = program.CpuSeconds();
    const auto floodEnd = std::chrono::steady_clock::now() + 10s;
    const std::uint64_t flooded =
        receiver.Flood(junk, [&] { return std::chrono::steady_clock::now() < floodEnd; });
    const double floodCpu = program.CpuSeconds() - cpuBefore;
    std::printf("[ drill ] junk flood: %llu bytes in 10 s, program CPU %.2f s\n",
                static_cast<unsigned long long>(flooded), floodCpu);
    RecordProperty("junk_bytes", std::to_string(flooded));
    EXPECT_GT(flooded, 100000u) << "the line took almost nothing";
    EXPECT_TRUE(Shows(program, "Label1: ,XYZ,")) << "the unknown headers were not shown";

    // Let the line's buffer drain, then the records: every one of them must be logged.
    std::this_thread::sleep_for(1s);
    const DrillSession session(6, 2);
    receiver.Send(session.Line());
    ASSERT_TRUE(WaitForLogSize(session.Log().size(), 15s)) << program.Transcript();
    EXPECT_TRUE(program.WaitForLine("Label3: 6", 5s)) << program.Transcript();
    ExpectIdle(program, "after the junk flood");
    EXPECT_TRUE(ReadFileBytes(LogPath()) == session.Log()) << "a record was lost or mangled";

    // A second flood, until the window has closed.
    std::atomic<bool> ended{false};
    std::thread flood([&] { receiver.Flood(junk, [&] { return !ended.load(); }); });
    ExpectClosesOnTime(program, kCloseAfter);
    ended = true;
    flood.join();
    EXPECT_TRUE(ReadFileBytes(LogPath()) == session.Log());
}

}  // namespace
