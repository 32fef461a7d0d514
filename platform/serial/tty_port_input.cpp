// The input queue of a serial device and the DSR gate in front of it: what the line received is
// taken off it at the first call that notices it, and kept or dropped by DSR as it is then.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/serial/tty_port.hpp"

namespace serial_detail {

DsrSample TtyPort::SampleDsr() {
    DsrSample sample;
    DWORD lines = 0;
    if (ModemLines(lines)) {
        sample.on = (lines & kModemDsrOn) != 0;
    }
    serial_icounter_struct counters{};
    if (countersSupported_ && ::ioctl(fd_, TIOCGICOUNT, &counters) == 0) {
        sample.changes = static_cast<std::uint32_t>(counters.dsr);
    }
    return sample;
}

TtyPort::LineState TtyPort::TakeFromLine(DsrReceiveGate::Arrival arrival) {
    std::lock_guard lock(inputMutex_);
    std::size_t taken = 0;
    bool lineEmpty = false;
    bool hungUp = false;
    while (inputCount_ < input_.size()) {
        // The free stretch after the queued bytes, up to the end of the ring.
        const std::size_t end = (inputStart_ + inputCount_) % input_.size();
        const std::size_t room = end >= inputStart_ ? input_.size() - end : inputStart_ - end;
        const ssize_t n = ::read(fd_, input_.data() + end, room);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            inputCount_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        lineEmpty = n < 0 && errno == EAGAIN;
        hungUp = !lineEmpty;  // a hung-up line reads 0; a device that is gone fails with EIO
        break;
    }
    if (dsrGate_.Sensitive()) {
        const DsrSample now = SampleDsr();
        if (taken > 0 && !dsrGate_.Keep(now, arrival)) {
            inputCount_ -= taken;  // the newest bytes of the queue
        }
        if (lineEmpty) {
            dsrGate_.LineEmpty(now);
        }
    }
    return hungUp && taken == 0 ? LineState::HungUp : LineState::Open;
}

DWORD TtyPort::TakeQueued(std::uint8_t* out, DWORD count) {
    std::lock_guard lock(inputMutex_);
    DWORD moved = 0;
    while (moved < count && inputCount_ > 0) {
        const std::size_t stretch =
            std::min<std::size_t>({count - moved, inputCount_, input_.size() - inputStart_});
        std::copy_n(input_.data() + inputStart_, stretch, out + moved);
        moved += static_cast<DWORD>(stretch);
        inputStart_ = (inputStart_ + stretch) % input_.size();
        inputCount_ -= stretch;
    }
    return moved;
}

std::size_t TtyPort::Queued() {
    std::lock_guard lock(inputMutex_);
    return inputCount_;
}

void TtyPort::DropQueued() {
    std::lock_guard lock(inputMutex_);
    inputStart_ = 0;
    inputCount_ = 0;
    if (dsrGate_.Sensitive()) {
        dsrGate_.LineEmpty(SampleDsr());
    }
}

}  // namespace serial_detail
