#include "platform/serial/tty_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/posix/controlling_terminal.hpp"
#include "platform/serial/dcb_termios.hpp"
#include "platform/serial/read_timeouts.hpp"

namespace serial_detail {
namespace {

timespec ToTimespec(std::chrono::steady_clock::duration d) {
    if (d < std::chrono::steady_clock::duration::zero()) {
        d = std::chrono::steady_clock::duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

CommObject* TtyPort::Open(const std::string& path, OpenFailure& failure) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = OpenFailureFromErrno(errno);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        failure = {ERROR_FILE_NOT_FOUND,
                   "not a serial device (" + std::string(std::strerror(errno)) + ")"};
        ::close(fd);
        return nullptr;
    }
    if (IsControllingTerminal(fd)) {
        failure = {ERROR_ACCESS_DENIED, kControllingTerminalCause};
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure = OpenFailureFromErrno(errno);
        failure.error = ERROR_ACCESS_DENIED;  // what Windows reports for a port in use
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);  // a refusal only weakens the lock for non-root openers

    // Raw bytes in both directions; CLOCAL so that the modem lines never hang the line up. With
    // VMIN 1 on a non-blocking descriptor, "nothing buffered" is EAGAIN and a hung-up line reads 0.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        failure = OpenFailureFromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        failure = OpenFailureFromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    return new TtyPort(fd, wakeFd);
}

TtyPort::TtyPort(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd), dcb_(DefaultDcb()) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) == 0) {
        FillDcbFromTermios(tio, dcb_);
    }
    // Pseudo-terminals and some USB adapters have no counters (ENOTTY): their modem-line and
    // error events never fire.
    countersSupported_ = ::ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
}

TtyPort::~TtyPort() {
    // The exclusive mode belongs to the terminal, not to this descriptor: left set, it would
    // refuse every later opener of the line after satlog has ended.
    ::ioctl(fd_, TIOCNXCL);
    ::close(wakeFd_);
    ::close(fd_);
}

bool TtyPort::EnterBlockingCall() {
    if (cancelled_.load(std::memory_order_acquire)) {
        SetLastErrorCode(ERROR_OPERATION_ABORTED);
        return false;
    }
    if (!dead_.load(std::memory_order_relaxed)) {
        return true;
    }
    const Clock::time_point until = Clock::now() + kDeadPortSleep;
    if (WaitFor(0, &until) < 0) {
        SetLastErrorCode(ERROR_OPERATION_ABORTED);
        return false;
    }
    // Still hung up? A hung-up terminal reports POLLHUP (and POLLERR) at once.
    pollfd probe{fd_, POLLIN, 0};
    if (::poll(&probe, 1, 0) < 0 || (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        SetLastErrorCode(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    dead_.store(false, std::memory_order_relaxed);
    return true;
}

void TtyPort::MarkDead() {
    dead_.store(true, std::memory_order_relaxed);
    SetLastErrorCode(ERROR_DEVICE_NOT_CONNECTED);
}

int TtyPort::WaitFor(short events, const Clock::time_point* deadline) {
    pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
    const nfds_t count = events != 0 ? 2 : 1;
    pollfd* set = events != 0 ? fds : fds + 1;
    for (;;) {
        timespec timeout{};
        const timespec* limit = nullptr;
        if (deadline != nullptr) {
            timeout = ToTimespec(*deadline - Clock::now());
            limit = &timeout;
        }
        const int ready = ::ppoll(set, count, limit, nullptr);
        if (cancelled_.load(std::memory_order_acquire)) {
            return -1;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return POLLERR;
        }
        if (ready == 0) {
            return 0;
        }
        return events != 0 ? fds[0].revents : 0;
    }
}

BOOL TtyPort::Read(void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    if (!EnterBlockingCall()) {
        return 0;
    }
    COMMTIMEOUTS timeouts{};
    {
        std::lock_guard lock(mutex_);
        timeouts = timeouts_;
    }
    const ReadTimeouts plan = PlanRead(timeouts, count);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastByte = start;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    // Bytes found on the line at first came while nobody waited for them.
    DsrReceiveGate::Arrival arrival = DsrReceiveGate::Arrival::SinceLastLook;
    bool hangUpReported = false;  // by the last poll: with nothing to read, the line is gone

    for (;;) {
        if (const DWORD moved = TakeQueued(bytes + transferred, count - transferred); moved > 0) {
            transferred += moved;
            lastByte = Clock::now();
        }
        if (transferred == count || (plan.returnOnFirstByte && transferred > 0)) {
            break;
        }
        const LineState line = TakeFromLine(arrival);
        arrival = DsrReceiveGate::Arrival::SinceLastLook;
        if (Queued() > 0) {
            continue;
        }
        if (line == LineState::HungUp || hangUpReported) {
            MarkDead();
            return 0;
        }
        if (plan.returnAtOnce) {
            break;
        }
        // Nothing received (or only bytes the DSR gate dropped): wait for more, up to the
        // earliest time-out in force.
        Clock::time_point deadline = Clock::time_point::max();
        if (plan.totalMs >= 0) {
            deadline = start + std::chrono::milliseconds(plan.totalMs);
        }
        if (plan.intervalMs >= 0 && transferred > 0) {
            deadline = std::min(deadline, lastByte + std::chrono::milliseconds(plan.intervalMs));
        }
        const bool limited = deadline != Clock::time_point::max();
        if (limited && Clock::now() >= deadline) {
            break;
        }
        const int revents = WaitFor(POLLIN, limited ? &deadline : nullptr);
        if (revents < 0) {
            SetLastErrorCode(ERROR_OPERATION_ABORTED);
            return 0;
        }
        // Bytes that end the wait came a moment ago, after the line was found empty. On a
        // hang-up the next take tells data from it; on time-out the loop sees the deadline passed.
        if ((revents & POLLIN) != 0) {
            arrival = DsrReceiveGate::Arrival::JustNow;
        }
        hangUpReported = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return 1;
}

BOOL TtyPort::Write(const void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    if (cancelled_.load(std::memory_order_acquire)) {
        SetLastErrorCode(ERROR_OPERATION_ABORTED);
        return 0;
    }
    COMMTIMEOUTS timeouts{};
    {
        std::lock_guard lock(mutex_);
        timeouts = timeouts_;
    }
    const std::int64_t totalMs = PlanWrite(timeouts, count);
    const Clock::time_point deadline =
        totalMs >= 0 ? Clock::now() + std::chrono::milliseconds(totalMs) : Clock::time_point::max();
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    BOOL ok = 1;
    while (transferred < count) {
        const ssize_t n = ::write(fd_, bytes + transferred, count - transferred);
        if (n > 0) {
            transferred += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            // Output held (flow control, full queue): wait for room.
            if (totalMs >= 0 && Clock::now() >= deadline) {
                break;  // a write time-out: success with the count moved, as on Windows
            }
            const int revents = WaitFor(POLLOUT, totalMs >= 0 ? &deadline : nullptr);
            if (revents < 0) {
                SetLastErrorCode(ERROR_OPERATION_ABORTED);
                ok = 0;
                break;
            }
            if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (revents & POLLOUT) == 0) {
                MarkDead();
                ok = 0;
                break;
            }
            continue;
        }
        if (n < 0 && errno == EIO) {
            MarkDead();
        } else {
            SetLastErrorCode(ERROR_WRITE_FAULT);
        }
        ok = 0;
        break;
    }
    if (transferred > 0) {
        std::lock_guard lock(mutex_);
        txPending_ = true;
    }
    return ok;
}

BOOL TtyPort::Purge(DWORD flags) {
    const bool tx = (flags & PURGE_TXCLEAR) != 0;
    const bool rx = (flags & PURGE_RXCLEAR) != 0;
    if (!tx && !rx) {
        return 1;  // the abort flags concern overlapped calls, of which there are none
    }
    if (::tcflush(fd_, tx && rx ? TCIOFLUSH : tx ? TCOFLUSH : TCIFLUSH) != 0) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (rx) {
        DropQueued();
    }
    return 1;
}

BOOL TtyPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts = timeouts_;
    return 1;
}

BOOL TtyPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return 1;
}

BOOL TtyPort::Cancel() {
    cancelled_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    return n == sizeof one ? 1 : 0;
}

}  // namespace serial_detail
