// What a command of satlog-dump is: a name, a line for the program's list of commands, and a
// definition that adds the command's options to its part of the command line and returns what
// runs it once the line has been read. A new command is one file that defines a DumpCommand and
// one line in the table of commands (dump_command_table.cpp); the options that several commands
// take are added through shared_options.hpp, so that each is defined once.
#pragma once

#include <cstdio>
#include <functional>

namespace CLI {
class App;
}

// The exit statuses every command shares; kExitStatusHelp says what each means.
enum ExitStatus : int {
    kExitComplete = 0,  // the whole log was read and every output written
    kExitPartial = 1,   // written from a damaged log, or nothing in the log to write
    kExitFailed = 2,    // bad usage, an unreadable log, an output that could not be written
};

// The rule as --help and the man page state it.
extern const char kExitStatusHelp[];

struct CommandStreams {
    std::FILE* out;  // the command's standard output
    std::FILE* err;  // its messages
};

// Runs the command with the options as read; returns its exit status.
using CommandRun = std::function<int(const CommandStreams& streams)>;

struct DumpCommand {
    const char* name;
    const char* summary;  // one line in `satlog-dump --help`, and the first of the command's help
    // Adds the command's arguments and options to `command` (its help text too) and returns what
    // runs it; the options are bound to values the returned function owns.
    CommandRun (*define)(CLI::App& command);
};
