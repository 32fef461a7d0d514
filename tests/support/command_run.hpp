// Runs a program's main function in the test's process (satlog-sim's SimMain, satlog-dump's
// DumpMain) with its standard output and error caught.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temporary_stream.hpp"

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

template <typename Main>
CommandRun RunCommand(Main main, const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    TemporaryStream out, err;
    CommandRun run;
    run.status = main(static_cast<int>(argv.size()), argv.data(), out.get(), err.get());
    run.out = out.Contents();
    run.err = err.Contents();
    return run;
}
