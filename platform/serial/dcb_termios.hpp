// Translation between Win32's device-control block and a POSIX termios record.
//
// termios holds the speed, the character framing (data bits, parity, stop bits), CTS/RTS
// handshaking (CRTSCTS, one flag for both directions) and XON/XOFF flow control (IXON, IXOFF).
// It cannot express DSR output flow control, DSR sensitivity or DTR handshaking (the port emulates
// those from the modem lines: DsrHandshake), nor continue-on-XOFF, error-character replacement,
// null stripping, abort-on-error or the XON/XOFF limits: those fields are kept in the block as
// the caller set them and reported back unchanged.
#pragma once

#include <termios.h>

#include <optional>

#include "platform/serial/win32_comm.hpp"

namespace serial_detail {

std::optional<speed_t> SpeedOfBaudRate(DWORD baudRate);
DWORD BaudRateOfSpeed(speed_t speed);

// Writes into `tio` what termios can hold of `dcb`; false (and `tio` unusable) when a value has no
// termios form (an unknown speed, 4 data bits, 1.5 stop bits with more than 5 data bits, ...).
bool ApplyDcbToTermios(const DCB& dcb, termios& tio);

// Overwrites the fields of `dcb` that termios holds with what `tio` says; leaves the others.
void FillDcbFromTermios(const termios& tio, DCB& dcb);

// A block as a freshly opened port reports it before anyone set it.
DCB DefaultDcb();

}  // namespace serial_detail
