// The serial port COM3 and the raw log "mavu0.txt": opened once while the main window is built,
// then used by the receive thread for the rest of the process.
#pragma once

#include "platform/serial/win32_comm.hpp"
#include "receiver/status_lines.hpp"

// INVALID_HANDLE_VALUE when the opening failed; the receive thread uses them as they are.
extern HANDLE portHandle;
extern HANDLE logHandle;

// Opens COM3 exclusively, creates "mavu0.txt" anew, sets the line up (first pass at 9600 bit/s
// with hardware handshaking, then 19200 bit/s), requests the line events and empties the
// driver's buffers. The outcome goes to status lines 1 and 2; a log that cannot be created is
// shown on line 3 and its cause written to standard error.
void OpenPortAndLog(StatusLines& status);
