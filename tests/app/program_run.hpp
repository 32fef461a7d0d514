// Runs a program to its end with extra environment variables, in a given directory, collecting
// its standard output and error line by line with the time each line arrived.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct TimedLine {
    std::chrono::steady_clock::duration at;  // since the program was started
    std::string text;
};

struct ProgramResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // -1 when killed by a signal
    std::chrono::steady_clock::duration elapsed{};
    std::vector<TimedLine> errorLines;
    std::vector<TimedLine> outputLines;

    std::string ErrorText() const;
    // The first line of standard error that starts with `prefix`, or null.
    const TimedLine* FirstError(const std::string& prefix) const;
};

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& directory, std::chrono::seconds limit);

class ChildProcess;

// A program kept running in the background (the simulator); terminated when this goes.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string& path, const std::vector<std::string>& arguments);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // The first line the program prints on standard output, waiting up to `limit`.
    std::string FirstOutputLine(std::chrono::seconds limit);

  private:
    std::unique_ptr<ChildProcess> child_;
};
