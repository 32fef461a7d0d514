// The line settings of a serial device (the device-control block over termios) and its modem
// lines.
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "platform/serial/dcb_termios.hpp"
#include "platform/serial/tty_port.hpp"

namespace serial_detail {

BOOL TtyPort::GetState(DCB& dcb) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::lock_guard lock(mutex_);
    FillDcbFromTermios(tio, dcb_);
    dcb = dcb_;
    return 1;
}

BOOL TtyPort::SetState(const DCB& dcb) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!ApplyDcbToTermios(dcb, tio)) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The RTS level where no handshake drives it (ENOTTY on pseudo-terminals: ignored). DTR is
    // set by the DSR/DTR handshake above the port (SetDtr).
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && dcb.fOutxCtsFlow == 0) {
        int rts = TIOCM_RTS;
        ::ioctl(fd_, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
    }
    {
        std::lock_guard lock(mutex_);
        dcb_ = dcb;
        dcb_.DCBlength = sizeof(DCB);
    }
    const DsrSample now = SampleDsr();
    std::lock_guard lock(inputMutex_);
    dsrGate_.SetSensitive(dcb.fDsrSensitivity != 0, now);
    return 1;
}

bool TtyPort::ModemLines(DWORD& lines) {
    if (!modemLinesReported_.load(std::memory_order_relaxed)) {
        return false;
    }
    int levels = 0;
    if (::ioctl(fd_, TIOCMGET, &levels) != 0) {
        // A pseudo-terminal has none (ENOTTY) and will not gain any: not asked again. A device
        // that fails for another reason (hung up) is asked again next time.
        if (errno == ENOTTY || errno == EINVAL) {
            modemLinesReported_.store(false, std::memory_order_relaxed);
        }
        return false;
    }
    lines = ((levels & TIOCM_CTS) != 0 ? kModemCtsOn : 0) |
            ((levels & TIOCM_DSR) != 0 ? kModemDsrOn : 0) |
            ((levels & TIOCM_RNG) != 0 ? kModemRingOn : 0) |
            ((levels & TIOCM_CAR) != 0 ? kModemRlsdOn : 0);
    return true;
}

bool TtyPort::WaitForModemChange(std::chrono::milliseconds limit) {
    // A line level has no poll() event: the caller looks again after the interval.
    const Clock::time_point until = Clock::now() + limit;
    return WaitFor(0, &until) >= 0;
}

void TtyPort::SetDtr(bool raised) {
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &dtr);
}

}  // namespace serial_detail
