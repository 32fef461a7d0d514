// Line events of a serial device: received bytes, the transmit queue drained, and the modem-line
// and error events that the driver counts.
#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdint>

#include "platform/serial/tty_port.hpp"

namespace serial_detail {
namespace {

// Modem-line and error events come from the driver's interrupt counters. TIOCMIWAIT would wait
// for them, but it cannot be combined with poll() on the received bytes, and a thread parked in it
// cannot be woken to close the port; so while such events are enabled, a wait looks at the
// counters at this interval. Counters, unlike line levels, lose no transition in between.
constexpr std::chrono::milliseconds kCounterInterval{50};

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR;

}  // namespace

BOOL TtyPort::SetMask(DWORD mask) {
    std::lock_guard lock(mutex_);
    if (countersSupported_) {
        ::ioctl(fd_, TIOCGICOUNT, &counters_);  // events count from now on
    }
    mask_.store(mask, std::memory_order_relaxed);
    return 1;
}

BOOL TtyPort::GetMask(DWORD& mask) {
    mask = mask_.load(std::memory_order_relaxed);
    return 1;
}

DWORD TtyPort::PollCounters(DWORD mask) {
    // Called with mutex_ held.
    serial_icounter_struct now{};
    if (!countersSupported_ || (mask & kModemEvents) == 0 || ::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
        return 0;
    }
    DWORD events = 0;
    if (now.cts != counters_.cts)
        events |= EV_CTS;
    if (now.dsr != counters_.dsr)
        events |= EV_DSR;
    if (now.rng != counters_.rng)
        events |= EV_RING;
    if (now.dcd != counters_.dcd)
        events |= EV_RLSD;
    if (now.brk != counters_.brk)
        events |= EV_BREAK;
    if (now.frame != counters_.frame || now.overrun != counters_.overrun ||
        now.parity != counters_.parity || now.buf_overrun != counters_.buf_overrun) {
        events |= EV_ERR;
    }
    counters_ = now;
    return events & mask;
}

DWORD TtyPort::DrainEstimateMs(int queued) const {
    // About ten bit times per character at the line's speed; never less than a millisecond.
    const DWORD baud = dcb_.BaudRate != 0 ? dcb_.BaudRate : CBR_9600;
    const std::uint64_t ms = static_cast<std::uint64_t>(queued) * 10'000 / baud;
    return static_cast<DWORD>(std::clamp<std::uint64_t>(ms, 1, 1000));
}

BOOL TtyPort::WaitEvent(DWORD& events) {
    events = 0;
    // Bytes found on the line at first came while nobody waited for them.
    DsrReceiveGate::Arrival arrival = DsrReceiveGate::Arrival::SinceLastLook;
    bool hangUpReported = false;  // by the last poll: with nothing to read, the line is gone
    for (;;) {
        if (!EnterBlockingCall()) {
            return 0;
        }
        const DWORD mask = mask_.load(std::memory_order_relaxed);
        DWORD found = 0;
        if ((mask & EV_RXCHAR) != 0) {
            // Received bytes go into the input queue now, judged by DSR as it is now.
            const LineState line = TakeFromLine(arrival);
            arrival = DsrReceiveGate::Arrival::SinceLastLook;
            if (Queued() > 0) {
                found |= EV_RXCHAR;
            } else if (line == LineState::HungUp || hangUpReported) {
                MarkDead();
                return 0;
            }
        }
        Clock::duration wait = Clock::duration::max();
        {
            std::lock_guard lock(mutex_);
            if (txPending_) {
                int queued = 0;
                if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
                    txPending_ = false;
                    found |= mask & EV_TXEMPTY;
                } else {
                    wait = std::chrono::milliseconds(DrainEstimateMs(queued));
                }
            }
            found |= PollCounters(mask);
            if (countersSupported_ && (mask & kModemEvents) != 0) {
                wait = std::min<Clock::duration>(wait, kCounterInterval);
            }
        }
        if (found != 0) {
            events = found;
            return 1;
        }
        const Clock::time_point deadline =
            wait == Clock::duration::max() ? Clock::time_point::max() : Clock::now() + wait;
        const bool limited = deadline != Clock::time_point::max();
        // With no event enabled nothing can end the wait but CancelPortWait (or the dead-port
        // check once a second).
        const Clock::time_point idleDeadline = Clock::now() + kDeadPortSleep;
        const short interest = (mask & EV_RXCHAR) != 0 ? POLLIN : 0;
        const int revents =
            WaitFor(interest != 0 ? interest : static_cast<short>(0),
                    limited ? &deadline : (interest == 0 ? &idleDeadline : nullptr));
        if (revents < 0) {
            SetLastErrorCode(ERROR_OPERATION_ABORTED);
            return 0;
        }
        // Bytes that end the wait came a moment ago, after the line was found empty; a hang-up
        // is told from data by the next take.
        if ((revents & POLLIN) != 0) {
            arrival = DsrReceiveGate::Arrival::JustNow;
        }
        hangUpReported = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
}

}  // namespace serial_detail
