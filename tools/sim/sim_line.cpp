#include "tools/sim/sim_line.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/posix/controlling_terminal.hpp"

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

extern "C" void OnInterrupt(int) {
    interruptFlag = 1;
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Raw bytes at 19200 bits/s, 8 data bits, no parity, one stop bit, no flow control on this side:
// the receiver holds its handshake lines on and never waits for the tool.
bool SetLine(int fd, const std::string& name, std::string& error) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = SystemError(name + ": cannot read the line settings");
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, B19200) != 0 || cfsetospeed(&t, B19200) != 0 ||
        tcsetattr(fd, TCSANOW, &t) != 0) {
        error = SystemError(name + ": cannot set 19200 8N1");
        return false;
    }
    return true;
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked wait returns and sees the flag
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() {
    return interruptFlag != 0;
}

std::unique_ptr<SimLine> SimLine::OpenPseudoTerminal(const std::string& linkPath,
                                                     std::string& error) {
    std::unique_ptr<SimLine> line(new SimLine());
    line->fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line->fd_ < 0) {
        error = SystemError("cannot open a new pseudo-terminal");
        return nullptr;
    }
    char name[256];
    if (grantpt(line->fd_) != 0 || unlockpt(line->fd_) != 0 ||
        ptsname_r(line->fd_, name, sizeof name) != 0) {
        error = SystemError("cannot prepare the pseudo-terminal");
        return nullptr;
    }
    line->toolPath_ = name;
    line->toolFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (line->toolFd_ < 0) {
        error = SystemError(line->toolPath_ + ": cannot open");
        return nullptr;
    }
    if (!SetLine(line->toolFd_, line->toolPath_, error) || !SetNonBlocking(line->fd_)) {
        if (error.empty()) {
            error = SystemError(line->toolPath_ + ": cannot set non-blocking");
        }
        return nullptr;
    }
    if (!linkPath.empty()) {
        struct stat st {};
        if (lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = linkPath + ": exists and is not a symbolic link; not replaced";
                return nullptr;
            }
            if (unlink(linkPath.c_str()) != 0) {
                error = SystemError(linkPath + ": cannot replace the old link");
                return nullptr;
            }
        }
        if (symlink(name, linkPath.c_str()) != 0) {
            error = SystemError(linkPath + ": cannot create the link");
            return nullptr;
        }
        line->linkPath_ = linkPath;
    }
    return line;
}

std::unique_ptr<SimLine> SimLine::OpenDevice(const std::string& path, std::string& error) {
    std::unique_ptr<SimLine> line(new SimLine());
    line->device_ = true;
    line->toolPath_ = path;
    line->fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (line->fd_ < 0) {
        error = SystemError(path + ": cannot open");
        return nullptr;
    }
    if (!isatty(line->fd_)) {
        error = path + ": not a serial device";
        return nullptr;
    }
    if (serial_detail::IsControllingTerminal(line->fd_)) {
        error = path + ": " + serial_detail::kControllingTerminalCause;
        return nullptr;
    }
    if (!SetLine(line->fd_, path, error)) {
        return nullptr;
    }
    tcflush(line->fd_, TCIOFLUSH);
    return line;
}

SimLine::~SimLine() {
    HangUp();
    if (!linkPath_.empty()) {
        unlink(linkPath_.c_str());
    }
}

bool SimLine::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (Interrupted()) {
            lastError_ = "interrupted";
            return false;
        }
        if (fd_ < 0) {
            lastError_ = "the line is closed";
            return false;
        }
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            lastError_ = SystemError(toolPath_ + ": write failed");
            return false;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR) {
                lastError_ = SystemError(toolPath_ + ": wait to write failed");
                return false;
            }
        }
    }
    return true;
}

long SimLine::Read(std::uint8_t* buffer, std::size_t size, int timeoutMs) {
    for (;;) {
        if (Interrupted()) {
            lastError_ = "interrupted";
            return -1;
        }
        const ssize_t n = read(fd_, buffer, size);
        if (n > 0) {
            return static_cast<long>(n);
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            lastError_ =
                n == 0 ? toolPath_ + ": hung up" : SystemError(toolPath_ + ": read failed");
            return -1;
        }
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        if (ready == 0) {
            return 0;
        }
        if (ready < 0 && errno != EINTR) {
            lastError_ = SystemError(toolPath_ + ": wait to read failed");
            return -1;
        }
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0) {
            lastError_ = toolPath_ + ": line error";
            return -1;
        }
    }
}

long SimLine::Unread() const {
    int count = 0;
    if (device_) {
        if (ioctl(fd_, TIOCOUTQ, &count) != 0) {
            return 0;
        }
    } else if (ioctl(toolFd_, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

void SimLine::Drain(int idleLimitMs) {
    if (fd_ < 0) {
        return;
    }
    // The line has no "all read" event, and bytes just written may still be on their way into
    // the tool's input queue (a pseudo-terminal moves them in the background), so an empty queue
    // counts only once it has stayed empty for a while. Looks every 10 ms; gives up when the
    // tool stops reading.
    constexpr int kStepMs = 10;
    constexpr int kSettledMs = 250;
    long last = Unread();
    int idle = 0;
    int empty = 0;
    while (empty < kSettledMs && idle < idleLimitMs && !Interrupted()) {
        poll(nullptr, 0, kStepMs);
        const long now = Unread();
        idle = now < last || now == 0 ? 0 : idle + kStepMs;
        empty = now == 0 ? empty + kStepMs : 0;
        last = now;
    }
}

void SimLine::HangUp() {
    if (toolFd_ >= 0) {
        close(toolFd_);
        toolFd_ = -1;
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}
