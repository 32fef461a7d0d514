#include "tests/support/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Where one standard stream of the child comes from: a descriptor opened before fork (the child
// only duplicates it), or -1 to keep the test's own.
struct Source {
    int fd = -1;
    int readEnd = -1;  // the test's end of a pipe, for Stream::Capture
};

Source Open(ChildOptions::Stream stream, const std::string& file, bool forInput) {
    using Stream = ChildOptions::Stream;
    Source source;
    if (stream == Stream::Null || (forInput && stream == Stream::Capture)) {
        source.fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    } else if (stream == Stream::File) {
        source.fd = forInput ? open(file.c_str(), O_RDONLY | O_CLOEXEC)
                             : open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else if (stream == Stream::Capture) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            source.readEnd = ends[0];
            source.fd = ends[1];
        }
    }
    return source;
}

}  // namespace

ChildProcess::ChildProcess(const ChildOptions& options) : stopSignal_(options.stopSignal) {
    // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        variables.emplace_back(*v);
    }
    for (const auto& [name, value] : options.environment) {
        const std::string prefix = name + "=";
        std::erase_if(variables,
                      [&prefix](const std::string& v) { return v.rfind(prefix, 0) == 0; });
        variables.push_back(prefix + value);
    }
    std::vector<char*> envp;
    for (std::string& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> arguments = options.argv;
    if (arguments.empty()) {
        return;
    }
    std::vector<char*> argv;
    for (std::string& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string& directory = options.directory;
    const Source sources[3] = {Open(options.input, {}, true),
                               Open(options.output, options.outputFile, false),
                               Open(options.error, options.errorFile, false)};
    const rlimit sizeLimit{options.fileSizeLimit.value_or(RLIM_INFINITY), RLIM_INFINITY};

    started_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
        for (int stream = 0; stream < 3; ++stream) {
            if (sources[stream].fd >= 0) {
                dup2(sources[stream].fd, stream);
            }
        }
        if (!directory.empty() && chdir(directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.removeDirectoryFirst && rmdir(directory.c_str()) != 0) {
            _exit(126);
        }
        if (options.fileSizeLimit) {
            setrlimit(RLIMIT_FSIZE, &sizeLimit);  // the program itself must survive SIGXFSZ
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    for (const Source& source : sources) {
        if (source.fd >= 0) {
            close(source.fd);
        }
    }
    if (pid_ < 0) {
        for (const Source& source : sources) {
            if (source.readEnd >= 0) {
                close(source.readEnd);
            }
        }
        return;
    }
    for (int stream = 1; stream < 3; ++stream) {
        if (sources[stream].readEnd >= 0) {
            openStreams_ += 1;
            const Channel channel = stream == 1 ? Channel::Output : Channel::Error;
            readers_.emplace_back(
                [this, fd = sources[stream].readEnd, channel] { Read(fd, channel); });
        }
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, stopSignal_);
        waitpid(pid_, nullptr, 0);
    }
    // A program the child started may still hold a stream open: the readers stop anyway.
    stopReading_ = true;
    for (std::thread& reader : readers_) {
        reader.join();
    }
}

void ChildProcess::Read(int fd, Channel channel) {
    std::vector<Line>& lines = channel == Channel::Output ? outputLines_ : errorLines_;
    std::string pending;
    char buffer[4096];
    while (!stopReading_) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        const auto now = Clock::now();
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        std::lock_guard lock(mutex_);
        while ((end = pending.find('\n')) != std::string::npos) {
            lines.push_back({now, pending.substr(0, end)});
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    close(fd);
    std::lock_guard lock(mutex_);
    if (!pending.empty()) {
        lines.push_back({Clock::now(), pending});  // a last line without its newline
    }
    openStreams_ -= 1;
    changed_.notify_all();
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
    if (exitCode_ || pid_ <= 0) {
        return exitCode_;
    }
    const auto until = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            ended_ = Clock::now();
            termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitCode_;
        }
        if (Clock::now() >= until) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool ChildProcess::WaitForStreamsClosed(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, until, [&] { return openStreams_ == 0; });
}

std::optional<ChildProcess::Line> ChildProcess::WaitForLine(
    Channel channel, const std::function<bool(const std::string&)>& match,
    std::chrono::milliseconds limit) {
    const std::vector<Line>& lines = channel == Channel::Output ? outputLines_ : errorLines_;
    std::unique_lock lock(mutex_);
    std::size_t seen = 0;
    const auto until = Clock::now() + limit;
    for (;;) {
        for (; seen < lines.size(); ++seen) {
            if (match(lines[seen].text)) {
                return lines[seen];
            }
        }
        if (openStreams_ == 0 && seen == lines.size()) {
            return std::nullopt;  // nothing more can come
        }
        if (changed_.wait_until(lock, until) == std::cv_status::timeout && seen == lines.size()) {
            return std::nullopt;
        }
    }
}

std::vector<ChildProcess::Line> ChildProcess::Lines(Channel channel) const {
    std::lock_guard lock(mutex_);
    return channel == Channel::Output ? outputLines_ : errorLines_;
}
