#include "app/logging_signals.hpp"

#ifndef _WIN32
#include <csignal>
#endif

void IgnoreSignalsThatWouldStopLogging() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
