#include <csignal>
#include <cstdio>

#include "tools/dump/dump_main.hpp"
#include "tools/dump/output_file_system.hpp"

int main(int argc, char** argv) {
#ifndef _WIN32
    // A reader that closes the pipe early (`| head`) is then a failed write, which ends the
    // command under the exit-status rule, instead of a signal that kills it mid-line; a file
    // grown past the size limit (`ulimit -f`) is a failed write too, whose temporary is removed,
    // instead of a signal that leaves it behind.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    RemoveTemporariesOnSignals();
    return DumpMain(argc, argv, stdout, stderr);
}
