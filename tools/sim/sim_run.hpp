// One run of the simulator, from parsed options to the exit status.
#pragma once

#include <cstdio>

#include "tools/sim/sim_options.hpp"

// Exit statuses: 0 the run ended (duration reached, log replayed, hang-up done, or interrupted by
// SIGINT, SIGTERM or SIGHUP, with whole entries written); 1 the line could not be opened or
// failed, or a write failed; 2 an input or output file is unusable.
int RunSimulator(const SimOptions& options, std::FILE* out, std::FILE* err);

// The whole program: parses `argv` (a bad argument gives a message and status 2), then runs.
int SimMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
