// satlog-dump's command line: `satlog-dump COMMAND [options] FILE`, `--help`, `--version`. The
// commands and their options are defined once (dump_command_table.cpp) and --help is generated
// from that definition.
#pragma once

#include <cstdio>

int DumpMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
