// The commands of satlog-dump. Each is defined in the file of its command, which includes this
// header so that the definition is the one declared here.
#pragma once

#include <span>

#include "tools/dump/dump_command.hpp"

extern const DumpCommand kRecordsCommand;
extern const DumpCommand kPositionsCommand;
extern const DumpCommand kFixCommand;
extern const DumpCommand kRinexCommand;
extern const DumpCommand kSummaryCommand;
extern const DumpCommand kSkyplotCommand;
extern const DumpCommand kNmeaCommand;
extern const DumpCommand kGpxCommand;

// Every command, in the order `satlog-dump --help` lists them.
std::span<const DumpCommand> DumpCommands();
