// satlog-dump fix --follow and nmea --follow against a writer that does to the log what the window
// and its user do: appends in pieces that split entries, pauses inside an entry, takes back a
// partial entry, empties the log and starts again (once regrowing past the followers' offset while
// they are stopped, so that only the bytes can tell), deletes it and creates it again, and replaces
// it by renaming another file over it. What each follower writes is, recording by recording, what
// the same command writes for that recording's whole log.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/framed_log.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

using namespace std::chrono_literals;

// The GPS week the nmea commands date every recording by (all lie in one week).
const std::string kWeek = "2300";

// What a command writes for one epoch: fix one row, nmea the epoch's sentences.
using EpochLines = std::vector<std::string>;

std::vector<EpochLines> OfflineEpochs(const std::vector<std::string>& command,
                                      const std::string& path) {
    std::vector<std::string> args = command;
    args.push_back(path);
    const CommandRun run = RunCommand(DumpMain, args);
    EXPECT_EQ(run.status, 0) << run.err;
    const bool rows = command[1] == "fix";
    std::vector<EpochLines> epochs;
    for (std::size_t at = rows ? run.out.find('\n') + 1 : 0; at < run.out.size();) {
        const std::size_t end = run.out.find('\n', at);
        const std::string line = run.out.substr(at, end - at);
        if (rows || line.rfind("$GPRMC", 0) == 0) {
            epochs.emplace_back();
        }
        epochs.back().push_back(line);
        at = end + 1;
    }
    return epochs;
}

struct Recording {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> epochEnds;  // where each PBN entry ends
    std::vector<EpochLines> byCommand[2];  // fix, nmea: what each writes for the whole log
};

const std::vector<std::string> kCommands[2] = {{"satlog-dump", "fix"},
                                               {"satlog-dump", "nmea", "--week", kWeek}};

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
    for (int c = 0; c < 2; ++c) {
        r.byCommand[c] = OfflineEpochs(kCommands[c], path);
        EXPECT_EQ(r.byCommand[c].size(), r.epochEnds.size());
    }
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

// One command following the log.
struct Follower {
    int command;  // index into kCommands
    std::unique_ptr<ChildProcess> child;

    // Waits until the follower has written the last line of `epoch`.
    void AwaitEpoch(const EpochLines& epoch) const {
        ASSERT_TRUE(child->WaitForLine(
            ChildProcess::Channel::Output, [&](const std::string& l) { return l == epoch.back(); },
            20s))
            << kCommands[command][1] << " never wrote " << epoch.back();
    }
    void AwaitSaid(const std::string& text) const {
        ASSERT_TRUE(child->WaitForLine(
            ChildProcess::Channel::Error,
            [&](const std::string& l) { return l.find(text) != std::string::npos; }, 20s))
            << kCommands[command][1] << " never said: " << text;
    }
};

TEST(LogFollow, EachRecordingComesOutAsTheCommandWritesItsWholeLog) {
    ScratchDirectory dir;
    const Recording a = Record(dir, "a.log", 40, 345600);
    const Recording b = Record(dir, "b.log", 12, 400000);
    const Recording c = Record(dir, "c.log", 30, 450000);
    const Recording d = Record(dir, "d.log", 10, 500000);
    const Recording e = Record(dir, "e.log", 10, 550000);
    ASSERT_GT(c.epochEnds[20], b.bytes.size());  // c regrows past where b was read to
    const std::string log = dir / "mavu0.txt";
    Writer writer(log);

    // Ten epochs are the log's past when the followers start: they teach them the ephemerides.
    const std::size_t past = 10;
    writer.Append(a.bytes, 0, a.epochEnds[past - 1]);
    std::vector<Follower> followers;
    for (int command = 0; command < 2; ++command) {
        ChildOptions options;
        options.argv = kCommands[command];
        options.argv[0] = SATLOG_DUMP_PATH;
        // nmea from the log's start, so that when it opened the log does not matter.
        options.argv.push_back("--follow");
        if (command == 1) {
            options.argv.push_back("--from-start");
        }
        options.argv.push_back(log);
        options.output = options.error = ChildOptions::Stream::Capture;
        options.stopSignal = SIGTERM;
        followers.push_back({command, std::make_unique<ChildProcess>(options)});
    }
    // fix writes its header when the log's past has been read.
    ASSERT_TRUE(followers[0].child->WaitForLine(
        ChildProcess::Channel::Output,
        [](const std::string& l) { return l.rfind("time_ms", 0) == 0; }, 20s));
    const auto awaitAll = [&](const Recording& r, std::size_t epoch) {
        for (const Follower& f : followers) {
            f.AwaitEpoch(r.byCommand[f.command][epoch]);
        }
    };
    const auto allSay = [&](const std::string& text) {
        for (const Follower& f : followers) {
            f.AwaitSaid(text);
        }
    };

    // Pieces that split entries, and a pause of a second inside an entry.
    const std::size_t middle = a.epochEnds[20] + 50;
    writer.Append(a.bytes, a.epochEnds[past - 1], middle);
    std::this_thread::sleep_for(1s);
    writer.Append(a.bytes, middle, a.epochEnds[30]);
    awaitAll(a, 30);
    // A failed write taken back: the followers must have read the partial entry first.
    const std::vector<std::uint8_t> partial(a.bytes.begin() + a.epochEnds[31],
                                            a.bytes.begin() + a.epochEnds[31] + 90);
    writer.Append(partial, 0, partial.size());
    std::this_thread::sleep_for(500ms);
    writer.CutTo(a.epochEnds[30]);
    writer.Append(a.bytes, a.epochEnds[30], a.bytes.size());
    awaitAll(a, a.epochEnds.size() - 1);
    allSay("took back the partial entry at byte offset " + std::to_string(a.epochEnds[30]));

    // Emptied in place and written anew.
    writer.CutTo(0);
    allSay("the log started again (it holds 0 bytes");
    writer.Append(b.bytes, 0, b.bytes.size());
    awaitAll(b, b.epochEnds.size() - 1);

    // Emptied and regrown past the followers' offset while they do not look.
    for (const Follower& f : followers) {
        f.child->Signal(SIGSTOP);
        ASSERT_TRUE(AwaitStopped(f.child->Pid()));
    }
    writer.CutTo(0);
    writer.Append(c.bytes, 0, c.epochEnds[20]);
    for (const Follower& f : followers) {
        f.child->Signal(SIGCONT);
    }
    writer.Append(c.bytes, c.epochEnds[20], c.bytes.size());
    awaitAll(c, c.epochEnds.size() - 1);
    allSay("changed); reading it from its beginning");

    // Deleted, then created again under the same name.
    ASSERT_EQ(::unlink(log.c_str()), 0);
    allSay("the log was removed or renamed");
    writer.Reopen();
    writer.Append(d.bytes, 0, d.bytes.size());
    awaitAll(d, d.epochEnds.size() - 1);

    // Another file renamed over it.
    ASSERT_EQ(::rename((dir / "e.log").c_str(), log.c_str()), 0);
    awaitAll(e, e.epochEnds.size() - 1);

    for (const Follower& f : followers) {
        f.child->Signal(SIGTERM);
        EXPECT_EQ(f.child->Wait(10s), 0);
        std::vector<std::string> expected;
        for (const Recording* r : {&a, &b, &c, &d, &e}) {
            const auto& epochs = r->byCommand[f.command];
            const bool fromStart = f.command == 1;
            for (std::size_t k = r == &a && !fromStart ? past : 0; k < epochs.size(); ++k) {
                expected.insert(expected.end(), epochs[k].begin(), epochs[k].end());
            }
        }
        std::vector<std::string> written;
        for (const ChildProcess::Line& line : f.child->Lines(ChildProcess::Channel::Output)) {
            written.push_back(line.text);
        }
        if (f.command == 0 && !written.empty()) {
            written.erase(written.begin());  // the header
        }
        EXPECT_EQ(written, expected) << kCommands[f.command][1];
        int restarts = 0;
        for (const ChildProcess::Line& line : f.child->Lines(ChildProcess::Channel::Error)) {
            EXPECT_EQ(line.text.find(": byte offset "), std::string::npos)
                << "damage reported: " << line.text;
            restarts += line.text.find("the log started again") != std::string::npos;
        }
        EXPECT_EQ(restarts, 4) << kCommands[f.command][1];  // emptied, rewritten, new, replaced
    }
}

// fix --from-start: the header, then the row of every epoch, the past included.
TEST(LogFollow, FixFromStartWritesTheHeaderThenEveryEpoch) {
    ScratchDirectory dir;
    const Recording a = Record(dir, "a.log", 5, 345600);
    const std::string log = dir / "mavu0.txt";
    Writer writer(log);
    writer.Append(a.bytes, 0, a.bytes.size());
    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "fix", "--follow", "--from-start", log};
    options.output = options.error = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    const Follower fix{0, std::make_unique<ChildProcess>(options)};
    fix.AwaitEpoch(a.byCommand[0].back());
    fix.child->Signal(SIGTERM);
    EXPECT_EQ(fix.child->Wait(10s), 0);
    std::vector<std::string> written;
    for (const ChildProcess::Line& line : fix.child->Lines(ChildProcess::Channel::Output)) {
        written.push_back(line.text);
    }
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.front().rfind("time_ms,", 0), 0u) << written.front();
    std::vector<std::string> expected;
    for (const EpochLines& epoch : a.byCommand[0]) {
        expected.insert(expected.end(), epoch.begin(), epoch.end());
    }
    EXPECT_EQ(std::vector<std::string>(written.begin() + 1, written.end()), expected);
}

}  // namespace
