#include "tests/app/program_run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Splits what arrived into lines, keeping an unfinished tail for later.
void TakeLines(std::string& pending, Clock::duration at, std::vector<TimedLine>& lines) {
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        lines.push_back({at, pending.substr(0, end)});
        pending.erase(0, end + 1);
    }
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
    ProgramResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    auto argv = Pointers(args);
    auto envp = Pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = -1;
    auto begin = Clock::now();
    int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    result.started = true;

    std::string pendingOut, pendingErr;
    bool outOpen = true, errOpen = true;
    auto deadline = begin + limit;
    while (outOpen || errOpen) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0},
                         {errOpen ? errPipe[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) {
            continue;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            auto at = Clock::now() - begin;
            if (n <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
                continue;
            }
            std::string& pending = i == 0 ? pendingOut : pendingErr;
            pending.append(buffer, static_cast<size_t>(n));
            TakeLines(pending, at, i == 0 ? result.outputLines : result.errorLines);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.elapsed = Clock::now() - begin;
    if (!pendingErr.empty()) {
        result.errorLines.push_back({result.elapsed, pendingErr});
    }
    close(outPipe[0]);
    close(errPipe[0]);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

BackgroundProgram::BackgroundProgram(const std::string& path,
                                     const std::vector<std::string>& arguments) {
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> args{path};
    args.insert(args.end(), arguments.begin(), arguments.end());
    auto argv = Pointers(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    output_ = outPipe[0];
}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) {
        close(output_);
    }
}

std::string BackgroundProgram::FirstOutputLine(std::chrono::seconds limit) {
    std::string line;
    auto deadline = Clock::now() + limit;
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{output_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char c;
        if (read(output_, &c, 1) != 1) {
            return {};
        }
        line += c;
    }
    line.pop_back();
    return line;
}
