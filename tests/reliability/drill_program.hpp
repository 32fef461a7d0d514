// The program satlog run for a fault drill: off screen, START pressed through the mouse hook, its
// status lines traced on standard error. The drill can change the program's surroundings before it
// starts (a working directory that is gone, a limit on the size of the files it writes) and can
// read how much CPU the whole process has used at any moment.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.hpp"

struct DrillOptions {
    std::string directory;                                         // the working directory
    std::vector<std::pair<std::string, std::string>> environment;  // added to the test's own
    bool removeDirectoryFirst = false;  // the working directory is gone when the program starts
    std::optional<std::uint64_t> fileSizeLimit;  // RLIMIT_FSIZE (soft)
    double closeAfterSeconds = 0;  // the window closes this long after its first paint; 0: never
};

class DrillProgram {
  public:
    using Clock = ChildProcess::Clock;
    using Line = ChildProcess::Line;

    DrillProgram(const std::string& path, const DrillOptions& options);
    DrillProgram(const DrillProgram&) = delete;
    DrillProgram& operator=(const DrillProgram&) = delete;

    bool Started() const { return child_.Started(); }
    pid_t Pid() const { return child_.Pid(); }
    Clock::time_point StartedAt() const { return child_.StartedAt(); }

    // Waits until a line of standard error satisfies `match`; returns it, or nothing after `limit`.
    std::optional<Line> WaitForLine(const std::function<bool(const std::string&)>& match,
                                    std::chrono::milliseconds limit);
    std::optional<Line> WaitForLine(const std::string& text, std::chrono::milliseconds limit);
    std::vector<Line> Lines() const;
    std::string Transcript() const;  // every line so far, for failure messages

    // Changes the program's file size limit while it runs (space freed on a full disk).
    bool SetFileSizeLimit(std::uint64_t bytes);

    // CPU time used by all threads of the process so far, in seconds; negative once it has ended.
    double CpuSeconds() const;
    // The CPU the process uses while the drill waits `span`, as a share of one core.
    double CpuShareOver(std::chrono::milliseconds span) const;

    // Waits for the end of the process: its exit code, -1 after a signal, nothing on time-out.
    std::optional<int> Wait(std::chrono::milliseconds limit) { return child_.Wait(limit); }
    Clock::time_point EndedAt() const { return child_.EndedAt(); }

  private:
    ChildProcess child_;  // killed with the drill if it still runs
};
