// The two views of a raw log: one line per entry, or the satellite positions computed at every
// epoch by the same decoders and satellite tables as the live receive thread.
#pragma once

#include <cstdio>
#include <string>

// Exit statuses: 0 the whole log was read; 1 the log ends inside an entry or holds an unknown
// tag (everything before it is printed); 2 the log cannot be opened or read, or the output fails.
int DumpRecords(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err);
int DumpPositions(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err);

// The command line: `satlog-dump records|positions FILE|-`, `--help`.
int DumpMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
