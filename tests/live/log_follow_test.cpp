// satlog-dump fix --follow against a writer that does to the log what the window and its user do:
// appends in pieces that split entries, pauses inside an entry, takes back a partial entry, empties
// the log and starts again (once regrowing past the follower's offset while the follower is
// stopped, so that only the bytes can tell), deletes it and creates it again, and replaces it by
// renaming another file over it. What the follower writes is, recording by recording, what
// satlog-dump fix writes for that recording's whole log.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/framed_log.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

using namespace std::chrono_literals;

struct Recording {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> rows;         // satlog-dump fix of the whole log, without the header
    std::vector<std::uint64_t> epochEnds;  // where each PBN entry ends
};

Recording Record(const ScratchDirectory& dir, const std::string& name, int seconds, int start) {
    const std::string path = dir / name;
    const CommandRun sim =
        RunCommand(SimMain, {"satlog-sim", "--log", path, "--duration", std::to_string(seconds),
                             "--start", std::to_string(start)});
    EXPECT_EQ(sim.status, 0) << sim.err;
    Recording r;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    for (int c; f != nullptr && (c = std::fgetc(f)) != EOF;) {
        r.bytes.push_back(static_cast<std::uint8_t>(c));
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    const FramedLog framed = FrameLog(r.bytes);
    for (const FramedEvent* pbn : framed.Entries(&kPbnLayout)) {
        r.epochEnds.push_back(pbn->offset + 4 + kPbnLayout.bodyLength);
    }
    const CommandRun fix = RunCommand(DumpMain, {"satlog-dump", "fix", path});
    EXPECT_EQ(fix.status, 0) << fix.err;
    for (std::size_t at = fix.out.find('\n') + 1; at < fix.out.size();) {
        const std::size_t end = fix.out.find('\n', at);
        r.rows.push_back(fix.out.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(r.rows.size(), r.epochEnds.size());
    return r;
}

// Writes the followed log as the window would, in pieces of random size with short pauses.
class Writer {
  public:
    explicit Writer(std::string path) : path_(std::move(path)) { Reopen(); }
    ~Writer() { ::close(fd_); }

    void Reopen() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ASSERT_GE(fd_, 0) << path_;
    }
    void Append(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
        while (from < to) {
            const std::size_t piece = std::min<std::size_t>(to - from, 1 + random_() % 400);
            ASSERT_EQ(::write(fd_, bytes.data() + from, piece), static_cast<ssize_t>(piece));
            from += piece;
            std::this_thread::sleep_for(std::chrono::microseconds(random_() % 3000));
        }
    }
    void CutTo(std::uint64_t size) { ASSERT_EQ(::ftruncate(fd_, static_cast<off_t>(size)), 0); }

  private:
    std::string path_;
    int fd_ = -1;
    std::mt19937 random_{2026};
};

// Waits until the process `pid` is stopped (SIGSTOP has taken effect).
bool AwaitStopped(pid_t pid) {
    for (int k = 0; k < 2000; ++k) {
        std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
        char state = 0;
        if (f != nullptr) {
            const int read = std::fscanf(f, "%*d (%*[^)]) %c", &state);
            std::fclose(f);
            if (read == 1 && (state == 'T' || state == 't')) {
                return true;
            }
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

class LogFollow : public ::testing::Test {
  protected:
    // The follower's rows so far, without the header.
    std::vector<std::string> Rows(ChildProcess& follower) {
        std::vector<std::string> rows;
        for (const ChildProcess::Line& line : follower.Lines(ChildProcess::Channel::Output)) {
            rows.push_back(line.text);
        }
        if (!rows.empty()) {
            rows.erase(rows.begin());
        }
        return rows;
    }
    // Waits until the follower has written `row`.
    void AwaitRow(ChildProcess& follower, const std::string& row) {
        ASSERT_TRUE(follower.WaitForLine(
            ChildProcess::Channel::Output, [&](const std::string& l) { return l == row; }, 20s))
            << "never came: " << row;
    }
    void AwaitError(ChildProcess& follower, const std::string& text) {
        ASSERT_TRUE(follower.WaitForLine(
            ChildProcess::Channel::Error,
            [&](const std::string& l) { return l.find(text) != std::string::npos; }, 20s))
            << "never said: " << text;
    }

    ScratchDirectory dir_;
};

TEST_F(LogFollow, EachRecordingComesOutAsTheOfflineFixOfItsWholeLog) {
    const Recording a = Record(dir_, "a.log", 40, 345600);
    const Recording b = Record(dir_, "b.log", 12, 400000);
    const Recording c = Record(dir_, "c.log", 30, 450000);
    const Recording d = Record(dir_, "d.log", 10, 500000);
    const Recording e = Record(dir_, "e.log", 10, 550000);
    ASSERT_GT(c.epochEnds[20], b.bytes.size());  // c regrows past where b was read to
    const std::string log = dir_ / "mavu0.txt";
    Writer writer(log);

    // Ten epochs are the log's past when the follower starts: they teach it the ephemerides.
    const std::size_t past = 10;
    writer.Append(a.bytes, 0, a.epochEnds[past - 1]);
    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "fix", "--follow", log};
    options.output = options.error = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    ChildProcess follower(options);
    ASSERT_TRUE(follower.WaitForLine(
        ChildProcess::Channel::Output,
        [](const std::string& l) { return l.rfind("time_ms", 0) == 0; }, 20s));

    // Pieces that split entries, and a pause of a second inside an entry.
    const std::size_t middle = a.epochEnds[20] + 50;
    writer.Append(a.bytes, a.epochEnds[past - 1], middle);
    std::this_thread::sleep_for(1s);
    writer.Append(a.bytes, middle, a.epochEnds[30]);
    AwaitRow(follower, a.rows[30]);
    // A failed write taken back: the follower must have read the partial entry first.
    const std::vector<std::uint8_t> junk(a.bytes.begin() + a.epochEnds[31],
                                         a.bytes.begin() + a.epochEnds[31] + 90);
    writer.Append(junk, 0, junk.size());
    std::this_thread::sleep_for(500ms);
    writer.CutTo(a.epochEnds[30]);
    writer.Append(a.bytes, a.epochEnds[30], a.bytes.size());
    AwaitRow(follower, a.rows.back());
    AwaitError(follower,
               "took back the partial entry at byte offset " + std::to_string(a.epochEnds[30]));

    // Emptied in place and written anew.
    writer.CutTo(0);
    AwaitError(follower, "the log started again (it holds 0 bytes");
    writer.Append(b.bytes, 0, b.bytes.size());
    AwaitRow(follower, b.rows.back());

    // Emptied and regrown past the follower's offset while it does not look.
    follower.Signal(SIGSTOP);
    ASSERT_TRUE(AwaitStopped(follower.Pid()));
    writer.CutTo(0);
    writer.Append(c.bytes, 0, c.epochEnds[20]);
    follower.Signal(SIGCONT);
    writer.Append(c.bytes, c.epochEnds[20], c.bytes.size());
    AwaitRow(follower, c.rows.back());
    AwaitError(follower, "changed); reading it from its beginning");

    // Deleted, then created again under the same name.
    ASSERT_EQ(::unlink(log.c_str()), 0);
    AwaitError(follower, "the log was removed or renamed");
    writer.Reopen();
    writer.Append(d.bytes, 0, d.bytes.size());
    AwaitRow(follower, d.rows.back());

    // Another file renamed over it.
    ASSERT_EQ(::rename((dir_ / "e.log").c_str(), log.c_str()), 0);
    AwaitRow(follower, e.rows.back());

    follower.Signal(SIGTERM);
    EXPECT_EQ(follower.Wait(10s), 0);
    std::vector<std::string> expected(a.rows.begin() + past, a.rows.end());
    for (const Recording* r : {&b, &c, &d, &e}) {
        expected.insert(expected.end(), r->rows.begin(), r->rows.end());
    }
    EXPECT_EQ(Rows(follower), expected);
    int restarts = 0;
    for (const ChildProcess::Line& line : follower.Lines(ChildProcess::Channel::Error)) {
        EXPECT_EQ(line.text.find(": byte offset "), std::string::npos)
            << "damage reported: " << line.text;
        restarts += line.text.find("the log started again") != std::string::npos;
    }
    EXPECT_EQ(restarts, 4);  // emptied, rewritten, recreated, replaced
}

// --from-start: the header, then the row of every epoch, the past included.
TEST_F(LogFollow, FromStartWritesTheHeaderThenEveryEpoch) {
    const Recording a = Record(dir_, "a.log", 5, 345600);
    const std::string log = dir_ / "mavu0.txt";
    Writer writer(log);
    writer.Append(a.bytes, 0, a.bytes.size());
    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "fix", "--follow", "--from-start", log};
    options.output = options.error = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    ChildProcess follower(options);
    AwaitRow(follower, a.rows.back());
    follower.Signal(SIGTERM);
    EXPECT_EQ(follower.Wait(10s), 0);
    const auto lines = follower.Lines(ChildProcess::Channel::Output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().text.rfind("time_ms,", 0), 0u) << lines.front().text;
    EXPECT_EQ(Rows(follower), a.rows);
}

}  // namespace
