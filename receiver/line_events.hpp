// The line events the port is asked to report while the receive thread waits on it.
#pragma once

#include "platform/serial/win32_comm.hpp"

// Every event up to EV_RING except EV_RXFLAG: the receive thread reads on EV_RXCHAR and lets the
// others (modem lines, breaks, line errors, an empty transmit buffer) end a wait without data.
inline constexpr DWORD kLineEvents =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
static_assert(kLineEvents == 0x1FD);
