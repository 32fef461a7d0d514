#include "tools/dump/dump_main.hpp"

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "records/terminal_text.hpp"
#include "tools/dump/dump_command_table.hpp"

namespace {

constexpr const char* kProgramHelp =
    "Reads the raw log that satlog records (mavu0.txt: entries of a 4-byte kind tag\n"
    "\"SNV,\", \"MPC,\" or \"PBN,\" followed by the record body as the receiver sent it)\n"
    "through the same decoders, satellite tables and orbit code as the window.\n"
    "`satlog-dump COMMAND --help` says what a command prints and what its options do.";

constexpr const char* kDamageHelp =
    "A damaged stretch of the log (an unknown tag, an entry cut short, zeros) is\n"
    "reported on standard error with its byte offset and skipped: reading goes on at\n"
    "the next offset where a known tag begins an entry whose body ends in CR LF and\n"
    "is followed by another tag or the end of the file; the number of bytes skipped\n"
    "and where are reported too. File names in messages and listings show every byte\n"
    "outside printable ASCII (an escape sequence, a line break) as \\xHH, and a\n"
    "backslash as \\\\, so that a terminal shows them and never obeys them.\n";

// Help in the program's own words: "usage:", commands rather than subcommands.
void ConfigureHelp(CLI::App& app) {
    auto formatter = std::make_shared<CLI::Formatter>();
    formatter->column_width(22);
    formatter->label("Usage", "usage");
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->label("SUBCOMMANDS", "COMMANDS");
    formatter->label("Positionals", "Arguments");
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "print this help and exit");
}

// "satlog-dump" or "satlog-dump COMMAND", for the command the line names.
std::string CommandName(const CLI::App& app) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    return chosen.empty() ? app.get_name() : app.get_name() + " " + chosen.front()->get_name();
}

int ReportUsageError(const CLI::App& app, const CLI::ParseError& error, int argc,
                     const char* const* argv, std::FILE* err) {
    const std::string name = CommandName(app);
    std::string message = error.what();
    if (app.get_subcommands().empty()) {
        if (argc < 2) {
            std::fputs(app.help().c_str(), err);
            return kExitFailed;
        }
        if (std::string_view(argv[1]).substr(0, 1) != "-") {
            message = "unknown command '" + std::string(argv[1]) + "'";
        }
    }
    // The message may quote what the user typed.
    std::fprintf(err, "%s: %s\n`%s --help` says more\n", name.c_str(),
                 EscapeForTerminal(message).c_str(), name.c_str());
    return kExitFailed;
}

}  // namespace

int DumpMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    CLI::App app{kProgramHelp, "satlog-dump"};
    ConfigureHelp(app);
    app.set_version_flag("--version", std::string("satlog-dump ") + SATLOG_VERSION,
                         "print the version and exit");
    app.require_subcommand(1);
    app.footer(std::string(kDamageHelp) + "\n" + kExitStatusHelp);

    std::vector<std::pair<const CLI::App*, CommandRun>> commands;
    for (const DumpCommand& command : DumpCommands()) {
        CLI::App* line = app.add_subcommand(command.name, command.summary);
        line->group("Commands");
        CommandRun run = command.define(*line);
        line->footer(line->get_footer() + "\n" + kExitStatusHelp);
        commands.emplace_back(line, std::move(run));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), out);
        return kExitComplete;
    } catch (const CLI::CallForVersion& version) {
        std::fprintf(out, "%s\n", version.what());
        return kExitComplete;
    } catch (const CLI::ParseError& error) {
        return ReportUsageError(app, error, argc, argv, err);
    }
    for (const auto& [line, run] : commands) {
        if (line->parsed()) {
            return run({out, err});
        }
    }
    return kExitFailed;
}
