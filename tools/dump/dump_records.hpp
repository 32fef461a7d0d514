// The two views of a raw log entry by entry: one line per entry, or the satellite positions
// computed at every epoch by the same decoders and satellite tables as the live receive thread.
#pragma once

#include <cstdio>
#include <string>

// `name` is what messages call the log. Exit statuses as every command has them
// (dump_command.hpp): 0 the whole log was read; 1 the log is damaged or ends inside an entry
// (everything outside the damage is printed); 2 the log cannot be read, or the output fails.
int DumpRecords(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err);
int DumpPositions(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err);
