// satlog-dump rinex: a raw log as a RINEX 2.11 observation file and a GPS navigation file.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/dump/dump_export_commands.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/rinex_export.hpp"

namespace {

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

int Usage(std::FILE* err, const std::string& message) {
    std::fprintf(err, "satlog-dump rinex: %s\n%s", message.c_str(), kRinexUsage);
    return 2;
}

}  // namespace

int DumpRinexMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    std::string file;
    std::string station;
    std::string directory = ".";
    WeekOptions week;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        const bool hasValue = k + 1 < argc;
        if (arg == "--week" && hasValue) {
            if (!ParseWeekValue(argv[++k], week)) {
                return Usage(err, "--week takes a GPS week number 0..9999");
            }
        } else if (arg == "--date" && hasValue) {
            if (!ParseDateValue(argv[++k], week)) {
                return Usage(err, "--date takes the date of the first epoch as YYYY-MM-DD");
            }
        } else if (arg == "--station" && hasValue) {
            station = argv[++k];
            if (station.size() != 4 ||
                !std::all_of(station.begin(), station.end(),
                             [](unsigned char c) { return std::isalnum(c) != 0; })) {
                return Usage(err, "--station takes four letters or digits");
            }
            std::transform(station.begin(), station.end(), station.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        } else if (arg == "--dir" && hasValue) {
            directory = argv[++k];
        } else if (file.empty() && (arg == "-" || !arg.starts_with("-"))) {
            file = arg;
        } else {
            return Usage(err, "unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (file.empty()) {
        return Usage(err, "no raw log named");
    }
    if (week.week && week.date) {
        return Usage(err, "give --week or --date, not both");
    }
    if (station.empty()) {
        station = StationFromFileName(file);
    }

    CommandLog log;
    if (!log.Open(file, err)) {
        return 2;
    }
    RinexExportCollector collector;
    const LogWalkEnd end = WalkLogReportingDamage(log, collector, err);
    collector.Finish();
    const int walkStatus = WalkEndStatus(end, log.ShownName(), err);
    if (walkStatus == 2) {
        return 2;
    }
    const auto& epochs = collector.Epochs();
    if (epochs.empty()) {
        std::fprintf(err,
                     "satlog-dump: %s: no epoch with a usable measurement: nothing to export\n",
                     log.ShownName().c_str());
        return walkStatus == 0 ? 1 : walkStatus;
    }
    std::string problem;
    const auto resolved =
        ResolveFirstWeek(week, log, epochs.front().time, epochs.back().time, problem);
    if (!resolved) {
        std::fprintf(err, "satlog-dump: %s: %s\n", log.ShownName().c_str(), problem.c_str());
        return 2;
    }
    if (!week.week && !week.date) {
        std::fprintf(
            err, "satlog-dump: GPS week %d of the first epoch (%s), %s\n", resolved->firstWeek,
            FormatGpsDateTime(epochs.front().time + kGpsWeek * resolved->firstWeek).c_str(),
            resolved->source.c_str());
    }

    RinexExportRequest request;
    request.station = station;
    request.directory = directory;
    request.logPath = log.IsStandardInput() ? std::string() : file;
    request.firstWeek = resolved->firstWeek;
    request.run = {"satlog-dump", "", NowUtc()};
    request.comments = {
        "C1: speed of light times the receiver's signal travel time",
        "(rawRange). Its phase has no stated unit: not exported.",
        "Every measurement with a usable status (1 or 2), whether or",
        "not the log holds an ephemeris of its satellite yet.",
        "GPS week " + std::to_string(resolved->firstWeek) + " of the first epoch: from " +
            resolved->origin + ".",
    };
    const RinexExportResult result = WriteRinexFiles(collector, request);
    if (!result.ok) {
        std::fprintf(err, "satlog-dump: %s\n", result.problem.c_str());
        return 2;
    }
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
    std::fprintf(out, "%s\n%s\n", result.observationPath.c_str(), result.navigationPath.c_str());
    return walkStatus;
}
