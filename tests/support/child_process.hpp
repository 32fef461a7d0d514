// A program started by a test as a child process: its arguments, variables set on top of the
// test's own environment, a working directory, and where each standard stream goes (inherited,
// /dev/null, a file, or caught line by line with the time each line arrived). The test can wait
// for a line, signal the program, wait for its end with a bound, and read how it ended. The
// program is stopped (by default killed) when the object goes.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ChildOptions {
    enum class Stream { Inherit, Null, Capture, File };

    std::vector<std::string> argv;                                 // argv[0]: the program's path
    std::vector<std::pair<std::string, std::string>> environment;  // set on top of the test's own
    std::string directory;              // the working directory; empty: the test's own
    bool removeDirectoryFirst = false;  // the working directory is gone when the program starts
    std::optional<std::uint64_t> fileSizeLimit;  // RLIMIT_FSIZE (soft; the hard limit stays open)
    Stream input = Stream::Inherit;              // Capture means nothing to read: /dev/null
    Stream output = Stream::Inherit;
    Stream error = Stream::Inherit;
    std::string outputFile;  // for Stream::File, truncated first
    std::string errorFile;
    int stopSignal = SIGKILL;  // sent by the destructor to a program that still runs
};

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Channel { Output, Error };
    struct Line {
        Clock::time_point at;
        std::string text;
    };

    explicit ChildProcess(const ChildOptions& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    Clock::time_point StartedAt() const { return started_; }
    Clock::time_point EndedAt() const { return ended_; }

    void Signal(int signal);

    // Waits for the end of the program: its exit code, -1 after a signal (TermSignal() says which),
    // nothing when it still runs after `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    int TermSignal() const { return termSignal_; }

    // Waits until every caught stream has been closed by the program (and whatever it started);
    // false when one is still open at `until`.
    bool WaitForStreamsClosed(Clock::time_point until);

    // The first line of `channel` that satisfies `match`, or nothing after `limit`.
    std::optional<Line> WaitForLine(Channel channel,
                                    const std::function<bool(const std::string&)>& match,
                                    std::chrono::milliseconds limit);
    std::vector<Line> Lines(Channel channel) const;

  private:
    void Read(int fd, Channel channel);

    pid_t pid_ = -1;
    Clock::time_point started_;
    Clock::time_point ended_;
    std::optional<int> exitCode_;
    int termSignal_ = 0;
    int stopSignal_ = SIGKILL;
    std::atomic<bool> stopReading_{false};
    std::vector<std::thread> readers_;
    int openStreams_ = 0;  // guarded by mutex_
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Line> outputLines_;
    std::vector<Line> errorLines_;
};
