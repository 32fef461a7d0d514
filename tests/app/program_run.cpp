#include "tests/app/program_run.hpp"

#include <signal.h>

#include "tests/support/child_process.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<TimedLine> SinceStart(const ChildProcess& child, ChildProcess::Channel channel) {
    std::vector<TimedLine> lines;
    for (const ChildProcess::Line& line : child.Lines(channel)) {
        lines.push_back({line.at - child.StartedAt(), line.text});
    }
    return lines;
}

}  // namespace

std::string ProgramResult::ErrorText() const {
    std::string text;
    for (const TimedLine& line : errorLines) {
        text += line.text + "\n";
    }
    return text;
}

const TimedLine* ProgramResult::FirstError(const std::string& prefix) const {
    for (const TimedLine& line : errorLines) {
        if (line.text.rfind(prefix, 0) == 0) {
            return &line;
        }
    }
    return nullptr;
}

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& directory, std::chrono::seconds limit) {
    ChildOptions options;
    options.argv = {path};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.environment = environment;
    options.directory = directory;
    options.output = ChildOptions::Stream::Capture;
    options.error = ChildOptions::Stream::Capture;
    ChildProcess child(options);
    ProgramResult result;
    if (!child.Started()) {
        return result;
    }
    result.started = true;
    // The program has finished when both its streams close; past the limit it is killed.
    if (!child.WaitForStreamsClosed(child.StartedAt() + limit)) {
        result.timedOut = true;
        child.Signal(SIGKILL);
    }
    const std::optional<int> exitCode = child.Wait(std::chrono::hours(1));
    result.elapsed = child.EndedAt() - child.StartedAt();
    result.exitCode = exitCode.value_or(-1);
    result.outputLines = SinceStart(child, ChildProcess::Channel::Output);
    result.errorLines = SinceStart(child, ChildProcess::Channel::Error);
    return result;
}

BackgroundProgram::BackgroundProgram(const std::string& path,
                                     const std::vector<std::string>& arguments) {
    ChildOptions options;
    options.argv = {path};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.output = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    child_ = std::make_unique<ChildProcess>(options);
}

BackgroundProgram::~BackgroundProgram() = default;

std::string BackgroundProgram::FirstOutputLine(std::chrono::seconds limit) {
    const auto line = child_->WaitForLine(
        ChildProcess::Channel::Output, [](const std::string&) { return true; }, limit);
    return line ? line->text : std::string();
}
