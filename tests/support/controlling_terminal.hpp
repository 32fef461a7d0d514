// Runs a check in a child process of its own session whose controlling terminal is `terminal`
// (a pseudo-terminal's path), as a program started from that terminal would run.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>

// The check's result (true or false); false also when the terminal could not be made the
// controlling one.
inline bool CheckWithControllingTerminal(const std::string& terminal,
                                         const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setsid() < 0) {
            ::_exit(2);
        }
        const int fd = ::open(terminal.c_str(), O_RDWR);  // the session's first terminal
        if (fd < 0 || ::tcgetsid(fd) != ::getpid()) {
            ::_exit(2);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
