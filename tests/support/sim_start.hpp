// The simulator's built-in sky starts at the current GPS time unless told otherwise. Tests that
// compare runs, or that expect the same sky every time, start it at a fixed time of week instead:
// this adds `--start 345600` to arguments that name no start and replay nothing (--replay and
// --obs bring their own times and refuse --start).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

inline std::vector<std::string> WithFixedSimStart(std::vector<std::string> args) {
    const auto names = [&](const char* option) {
        return std::find(args.begin(), args.end(), option) != args.end();
    };
    if (!names("--start") && !names("--replay") && !names("--obs")) {
        args.insert(args.end(), {"--start", "345600"});
    }
    return args;
}
