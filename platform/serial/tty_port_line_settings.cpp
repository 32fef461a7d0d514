// The line settings of a serial device: the device-control block over termios.
#include <sys/ioctl.h>
#include <termios.h>

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
    // DTR and RTS levels where no handshake drives them (ENOTTY on pseudo-terminals: ignored).
    int dtr = TIOCM_DTR;
    if (dcb.fDtrControl == DTR_CONTROL_DISABLE) {
        ::ioctl(fd_, TIOCMBIC, &dtr);
    } else {
        ::ioctl(fd_, TIOCMBIS, &dtr);
    }
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && dcb.fOutxCtsFlow == 0) {
        int rts = TIOCM_RTS;
        ::ioctl(fd_, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts);
    }
    std::lock_guard lock(mutex_);
    dcb_ = dcb;
    dcb_.DCBlength = sizeof(DCB);
    return 1;
}

}  // namespace serial_detail
