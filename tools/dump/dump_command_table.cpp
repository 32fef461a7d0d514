#include "tools/dump/dump_command_table.hpp"

std::span<const DumpCommand> DumpCommands() {
    static const DumpCommand commands[] = {
        kRecordsCommand, kPositionsCommand, kFixCommand,  kRinexCommand,
        kSummaryCommand, kSkyplotCommand,   kNmeaCommand, kGpxCommand,
    };
    return commands;
}
