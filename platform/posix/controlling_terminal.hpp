// The terminal the user types into is never a receiver's line: opening it as one would put the
// user's own terminal into raw mode and take the keystrokes meant for the shell.
#pragma once

namespace serial_detail {

// True when `fd` is the controlling terminal of this process, opened by its own name or as
// /dev/tty.
bool IsControllingTerminal(int fd);

// What to tell the user who named it as a line.
inline constexpr const char* kControllingTerminalCause =
    "it is this program's controlling terminal (the terminal it was started from), not a "
    "receiver's line";

}  // namespace serial_detail
