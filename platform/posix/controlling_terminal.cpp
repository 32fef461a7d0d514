#include "platform/posix/controlling_terminal.hpp"

#include <termios.h>
#include <unistd.h>

namespace serial_detail {

bool IsControllingTerminal(int fd) {
    // The session of a terminal is known only to the processes it is the controlling terminal
    // of: for any other terminal the call fails (ENOTTY).
    return ::isatty(fd) != 0 && ::tcgetsid(fd) != -1;
}

}  // namespace serial_detail
