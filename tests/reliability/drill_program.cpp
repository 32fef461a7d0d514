#include "tests/reliability/drill_program.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

// Nanoseconds a task has run, from the first field of its schedstat.
std::uint64_t TaskRunNanoseconds(const std::string& path) {
    std::ifstream in(path);
    std::uint64_t ns = 0;
    in >> ns;
    return ns;
}

}  // namespace

DrillProgram::DrillProgram(const std::string& path, const DrillOptions& options) {
    // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        variables.emplace_back(*v);
    }
    std::vector<std::pair<std::string, std::string>> added = options.environment;
    added.emplace_back("QT_QPA_PLATFORM", "offscreen");
    added.emplace_back("XDG_RUNTIME_DIR", options.directory);
    added.emplace_back("SATLOG_TRACE", "1");
    added.emplace_back("SATLOG_FIRST_PAINT", "1");
    added.emplace_back("SATLOG_CLICK", "Button4");
    if (options.closeAfterSeconds > 0) {
        added.emplace_back("SATLOG_CLOSE_AFTER", std::to_string(options.closeAfterSeconds));
    }
    for (const auto& [name, value] : added) {
        std::erase_if(variables, [&](const std::string& v) { return v.rfind(name + "=", 0) == 0; });
        variables.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    const std::string directory = options.directory;

    int errors[2];
    if (pipe2(errors, O_CLOEXEC) != 0) {
        return;
    }
    started_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(errors[1], STDERR_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        if (chdir(directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.removeDirectoryFirst && rmdir(directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.fileSizeLimit) {
            // The hard limit stays open, so that the drill can give the space back later.
            const rlimit limit{*options.fileSizeLimit, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);  // the program itself must survive SIGXFSZ
        }
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(errors[1]);
    if (pid_ < 0) {
        close(errors[0]);
        return;
    }
    reader_ = std::thread([this, fd = errors[0]] { ReadErrors(fd); });
}

DrillProgram::~DrillProgram() {
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void DrillProgram::ReadErrors(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        const auto now = Clock::now();
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        std::lock_guard lock(mutex_);
        while ((end = pending.find('\n')) != std::string::npos) {
            lines_.push_back({now, pending.substr(0, end)});
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    close(fd);
}

std::optional<DrillProgram::Line> DrillProgram::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    std::size_t seen = 0;
    const auto until = Clock::now() + limit;
    for (;;) {
        for (; seen < lines_.size(); ++seen) {
            if (match(lines_[seen].text)) {
                return lines_[seen];
            }
        }
        if (changed_.wait_until(lock, until) == std::cv_status::timeout && seen == lines_.size()) {
            return std::nullopt;
        }
    }
}

std::optional<DrillProgram::Line> DrillProgram::WaitForLine(const std::string& text,
                                                            std::chrono::milliseconds limit) {
    return WaitForLine([&](const std::string& line) { return line == text; }, limit);
}

std::vector<DrillProgram::Line> DrillProgram::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string DrillProgram::Transcript() const {
    std::ostringstream out;
    std::lock_guard lock(mutex_);
    for (const Line& line : lines_) {
        out << "  " << line.text << "\n";
    }
    return out.str();
}

bool DrillProgram::SetFileSizeLimit(std::uint64_t bytes) {
    const rlimit limit{bytes, RLIM_INFINITY};
    return prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

double DrillProgram::CpuSeconds() const {
    const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return -1.0;
    }
    std::uint64_t ns = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ns += TaskRunNanoseconds(tasks + "/" + entry->d_name + "/schedstat");
        }
    }
    closedir(dir);
    return static_cast<double>(ns) / 1e9;
}

double DrillProgram::CpuShareOver(std::chrono::milliseconds span) const {
    const double before = CpuSeconds();
    const auto begin = Clock::now();
    std::this_thread::sleep_for(span);
    const double after = CpuSeconds();
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return before < 0 || after < 0 ? -1.0 : (after - before) / seconds;
}

std::optional<int> DrillProgram::Wait(std::chrono::milliseconds limit) {
    if (exitCode_) {
        return exitCode_;
    }
    const auto until = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            ended_ = Clock::now();
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitCode_;
        }
        if (Clock::now() >= until) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
