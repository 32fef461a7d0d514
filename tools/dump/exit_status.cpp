// The one exit-status rule of satlog-dump's commands: its text for --help, and the end of a
// command's standard output under it.
#include <cerrno>
#include <cstring>

#include "tools/dump/dump_command.hpp"
#include "tools/dump/output_buffer.hpp"

const char kExitStatusHelp[] =
    "Exit status, the same for every command:\n"
    "  0  the whole log was read and every output written\n"
    "  1  every output was written from a damaged log (each damaged stretch, and each\n"
    "     epoch left out because its time is out of sequence with the epochs around\n"
    "     it, is named on standard error; everything outside it is in the output), or\n"
    "     the log holds nothing to write (rinex: no epoch to export; skyplot: no fix\n"
    "     to look from)\n"
    "  2  bad usage, a log that cannot be opened or read, a week that cannot be\n"
    "     resolved, or an output that cannot be written: a file, standard output (a\n"
    "     full disk), an address nmea --listen cannot listen on. A reader of standard\n"
    "     output that goes away early (a pipe into head) ends the command at once,\n"
    "     with 2 and no message.\n"
    "--follow runs until SIGINT or SIGTERM and then ends with 0; nmea --listen serves\n"
    "until then and ends with the status of the log it served.\n"
    "Output files appear whole or not at all: a command that fails or is stopped by\n"
    "SIGINT, SIGTERM or SIGHUP leaves no new file, half-written or otherwise.\n";

int FinishOutput(OutputBuffer& out, std::FILE* err, int status) {
    if (out.Flush()) {
        return status;
    }
    // A reader that has gone away (`| head`) asked for no more: nothing to tell the user.
    if (out.Error() != EPIPE) {
        std::fprintf(err, "satlog-dump: cannot write the output: %s\n", std::strerror(out.Error()));
    }
    return kExitFailed;
}
