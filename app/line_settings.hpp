// The receiver's line: 8 data bits, no parity, one stop bit, with CTS and DSR output flow
// control, DTR and RTS handshaking, DSR sensitivity and no XON/XOFF.
#pragma once

#include "platform/serial/win32_comm.hpp"

// Writes the first-pass settings into a block read from the driver, at 9600 bit/s; every other
// field, including the flag bits not named above, keeps the value read.
void ApplyFirstPassSettings(DCB& dcb);

inline constexpr DWORD kFirstPassBaudRate = 9600;
inline constexpr DWORD kFinalBaudRate = 19200;
