// satlog-sim as a child process, as a user runs it: its standard output (the path of the
// pseudo-terminal) caught line by line, its standard error kept in a file.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.hpp"
#include "tests/support/sim_start.hpp"

class SimProcess {
  public:
    SimProcess(const std::vector<std::string>& args, const std::filesystem::path& stderrPath)
        : child_(Options(args, stderrPath)), stderrPath_(stderrPath) {}

    bool Started() const { return child_.Started(); }

    // The first line of standard output: the path the tool opens. Empty after `limit`.
    std::string ToolPath(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto line = child_.WaitForLine(
            ChildProcess::Channel::Output, [](const std::string&) { return true; }, limit);
        return line ? line->text : std::string();
    }

    // The exit status (128 + the signal after one), or -1 when the process did not end within
    // `limit`.
    int Wait(std::chrono::milliseconds limit) {
        const std::optional<int> code = child_.Wait(limit);
        if (!code) {
            return -1;
        }
        return *code >= 0 ? *code : 128 + child_.TermSignal();
    }

    void Terminate() { Signal(SIGTERM); }
    void Signal(int signal) { child_.Signal(signal); }

    std::string Stderr() const {
        std::ifstream in(stderrPath_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

  private:
    static ChildOptions Options(const std::vector<std::string>& args,
                                const std::filesystem::path& stderrPath) {
        ChildOptions options;
        options.argv = {SATLOG_SIM_PATH};
        const std::vector<std::string> fixed = WithFixedSimStart(args);
        options.argv.insert(options.argv.end(), fixed.begin(), fixed.end());
        options.output = ChildOptions::Stream::Capture;
        options.error = ChildOptions::Stream::File;
        options.errorFile = stderrPath.string();
        return options;
    }

    ChildProcess child_;
    std::filesystem::path stderrPath_;
};
