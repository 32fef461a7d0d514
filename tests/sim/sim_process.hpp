// satlog-sim as a child process, as a user runs it: its standard output (the path of the
// pseudo-terminal) read through a pipe, its standard error kept in a file.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class SimProcess {
  public:
    SimProcess(const std::vector<std::string>& args, const std::filesystem::path& stderrPath)
        : stderrPath_(stderrPath) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all{SATLOG_SIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, SATLOG_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            close(stdout_);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // The first line of standard output: the path the tool opens. Empty after `limit`.
    std::string ToolPath(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::string line;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{stdout_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char c;
            if (read(stdout_, &c, 1) != 1) {
                return {};
            }
            line.push_back(c);
        }
        line.pop_back();
        return line;
    }

    // The exit status, or -1 when the process did not end within `limit`.
    int Wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!exited_) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > until) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return exitStatus_;
    }

    void Terminate() { Signal(SIGTERM); }
    void Signal(int signal) {
        if (pid_ > 0 && !exited_) {
            kill(pid_, signal);
        }
    }

    std::string Stderr() const {
        std::ifstream in(stderrPath_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
    int exitStatus_ = -1;
    std::filesystem::path stderrPath_;
};
