// satlog-dump rinex: a raw log as a RINEX 2.11 observation file and a GPS navigation file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "records/terminal_text.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/navigation_option.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/rinex_export.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

constexpr const char* kRinexHelp =
    "Writes a RINEX 2.11 observation file NAMEddd0.yyo and GPS navigation file\n"
    "NAMEddd0.yyn in DIR and prints their paths, one a line. ddd and yy: day of year\n"
    "and year of the first epoch. The records carry no week number: it comes from\n"
    "--week, --date or else from FILE's modification time (the week that puts the\n"
    "last epoch closest before a day after it, named on standard error). A week\n"
    "rollover is followed when the times after it continue it; an epoch whose time is\n"
    "out of sequence with the epochs around it (a corrupt time: far ahead of them, or\n"
    "back by more than half a week while the times after it go on as before) is left\n"
    "out and named on standard error with its byte offset, as is damage.\n"
    "Observations: one epoch per PBN entry with a satellite to write; C1 = speed of\n"
    "light x rawRange, for every measurement with a usable status, whether or not the\n"
    "log has brought its satellite's ephemeris yet (the phase is not written); APPROX\n"
    "POSITION XYZ is the median fix. Navigation: each distinct ephemeris once, in the\n"
    "order first seen; IODE, IODC, health, accuracy, L2 codes and flag are written as\n"
    "0 and the fit interval as 4 hours (the records do not carry them); the\n"
    "transmission time is the receive time of the epoch that brought the record; with\n"
    "--nav, the header has the file's ION ALPHA and ION BETA, and the median fix has\n"
    "the broadcast ionospheric correction and the file's ephemerides. Both files are\n"
    "written before either is put in place: a failure leaves neither new file, and\n"
    "files of those names from before stay as they were.\n";

// RINEX 2 short names start with four characters of the station: here those of the log's file name
// ("mavu" for mavu0.txt), in lower case, anything but letters and digits as '_'.
std::string StationFromFileName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (path == "-" || name.empty()) {
        name = "log";
    }
    std::string station;
    for (char c : name.substr(0, 4)) {
        const auto u = static_cast<unsigned char>(c);
        station += std::isalnum(u) ? static_cast<char>(std::tolower(u)) : '_';
    }
    station.resize(4, '_');
    return station;
}

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d %H%M%S UTC", &utc);
    return text;
}

struct RinexOptions {
    std::string file;
    std::string station;  // empty: from the log's name
    std::string directory = ".";
    WeekOptions week;
    NavigationOption navigation;
};

// What the export left out, on standard error.
void ReportLeftOut(const RinexExportCollector& collector, const RinexExportResult& result,
                   std::FILE* err) {
    if (collector.UnwritableRanges() > 0) {
        std::fprintf(err,
                     "satlog-dump: %zu ranges left out: they do not fit the observation file\n",
                     collector.UnwritableRanges());
    }
    if (collector.OutOfOrderEpochs() > 0) {
        std::fprintf(err,
                     "satlog-dump: %zu epochs left out: not later than the epoch before them\n",
                     collector.OutOfOrderEpochs());
    }
    if (result.unwritableEpochs > 0) {
        std::fprintf(err, "satlog-dump: %zu epochs left out: outside the years 1980 to 2079\n",
                     result.unwritableEpochs);
    }
    if (result.unwritableEphemerides > 0) {
        std::fprintf(err,
                     "satlog-dump: %zu ephemerides left out: a field is not a number or does not "
                     "fit the navigation file\n",
                     result.unwritableEphemerides);
    }
}

RinexExportRequest MakeRequest(const RinexOptions& options, const CommandLog& log,
                               const ResolvedWeek& week) {
    RinexExportRequest request;
    request.station = options.station.empty() ? StationFromFileName(options.file) : options.station;
    request.directory = options.directory;
    request.logPath = log.IsStandardInput() ? std::string() : log.Name();
    request.firstWeek = week.firstWeek;
    request.run = {"satlog-dump", "", NowUtc()};
    if (const NavigationData* nav = options.navigation.Data(); nav && nav->ionosphere) {
        request.ionosphere = RinexIonosphere{nav->ionosphere->alpha, nav->ionosphere->beta};
    }
    request.comments = {
        "C1: speed of light times the receiver's signal travel time",
        "(rawRange). Its phase has no stated unit: not exported.",
        "Every measurement with a usable status (1 or 2), whether or",
        "not the log holds an ephemeris of its satellite yet.",
        "GPS week " + std::to_string(week.firstWeek) + " of the first epoch: from " + week.origin +
            ".",
    };
    return request;
}

int RunRinex(RinexOptions& options, const CommandStreams& io) {
    if (!options.navigation.Load(io.err)) {
        return kExitFailed;
    }
    CommandLog log;
    if (!log.Open(options.file, io.err)) {
        return kExitFailed;
    }
    RinexExportCollector collector(options.navigation.Fixer());
    const LogWalkEnd end = WalkLogReportingDamage(log, collector, io.err);
    collector.Finish();
    const int walkStatus = WalkEndStatus(end, log.ShownName(), io.err);
    const auto& epochs = collector.Epochs();
    if (walkStatus == kExitFailed) {
        return kExitFailed;
    }
    if (epochs.empty()) {
        std::fprintf(io.err,
                     "satlog-dump: %s: no epoch with a usable measurement: nothing to export\n",
                     log.ShownName().c_str());
        return kExitPartial;
    }
    std::string problem;
    const auto week =
        ResolveFirstWeek(options.week, log, epochs.front().time, epochs.back().time, problem);
    if (!week) {
        std::fprintf(io.err, "satlog-dump: %s: %s\n", log.ShownName().c_str(), problem.c_str());
        return kExitFailed;
    }
    if (!options.week.week && !options.week.date) {
        std::fprintf(io.err, "satlog-dump: GPS week %d of the first epoch (%s), %s\n",
                     week->firstWeek,
                     FormatGpsDateTime(epochs.front().time + kGpsWeek * week->firstWeek).c_str(),
                     week->source.c_str());
    }
    const RinexExportResult result = WriteRinexFiles(collector, MakeRequest(options, log, *week));
    if (!result.ok) {
        std::fprintf(io.err, "satlog-dump: %s\n", result.problem.c_str());
        return kExitFailed;
    }
    ReportLeftOut(collector, result, io.err);
    OutputBuffer out(io.out);
    out.Text(EscapeForTerminal(result.observationPath) + "\n" +
             EscapeForTerminal(result.navigationPath) + "\n");
    return FinishOutput(out, io.err, walkStatus);
}

CommandRun DefineRinex(CLI::App& command) {
    auto options = std::make_shared<RinexOptions>();
    AddLogFileArgument(command, options->file);
    AddWeekOptions(command, options->week);
    AddValueOption(
        command, "--station", "NAME",
        "the files' NAME and the MARKER NAME: four letters or\n"
        "digits (default: the first four characters of FILE's\n"
        "name in lower case, others as _)",
        [&station = options->station](std::string_view text) {
            if (text.size() != 4 || !std::all_of(text.begin(), text.end(), [](unsigned char c) {
                    return std::isalnum(c) != 0;
                })) {
                return false;
            }
            station.clear();
            for (const unsigned char c : text) {
                station += static_cast<char>(std::tolower(c));
            }
            return true;
        },
        "takes four letters or digits");
    command
        .add_option("--dir", options->directory,
                    "where the files go (default: the current\ndirectory)")
        ->type_name("DIR");
    AddNavigationOption(command, options->navigation.path);
    command.footer(kRinexHelp);
    return [options](const CommandStreams& io) { return RunRinex(*options, io); };
}

}  // namespace

const DumpCommand kRinexCommand{"rinex", "RINEX 2.11 observation and navigation files",
                                DefineRinex};
