#include "tools/dump/dump_track.hpp"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "formats/gpx/gpx_track.hpp"
#include "formats/nmea/nmea_sentences.hpp"
#include "formats/rawlog/raw_log_framer.hpp"
#include "records/record_dispatch.hpp"
#include "tools/dump/epoch_report.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/dump/nmea_server.hpp"
#include "tools/dump/output_buffer.hpp"

#define SATLOG_TRACK_TIME_HELP                                                                   \
    "  --week W         GPS week of the first epoch (the records carry only the time of week)\n" \
    "  --date Y-M-D     date of the first epoch instead (GPS time)\n"                            \
    "                   Without either, the week is the one that puts the last epoch closest\n"  \
    "                   before FILE's modification time, as for rinex (named on standard\n"      \
    "                   error); a log on standard input needs one of them.\n"                    \
    "  --leap-seconds N GPS time minus UTC in seconds (default: the leap seconds in force at\n"  \
    "                   the epoch, from the table of those since 1980: 18 since 2017-01-01)\n"   \
    "  --mask DEG       elevation mask of the fix in degrees (default 15), as for fix\n"

#define SATLOG_TRACK_FIX_HELP                                                                    \
    "The fix is that of satlog-dump fix (no ionospheric correction). Altitudes are above mean\n" \
    "sea level: the ellipsoidal height minus the EGM96 geoid's height (the 15-minute grid of\n"  \
    "PROJ's data, interpolated bilinearly, compiled into the program).\n"

const char kNmeaUsage[] =
    "usage: satlog-dump nmea [options] [--follow [--from-start]] [--listen [ADDR:]PORT] FILE\n"
    "\n"
    "NMEA 0183 sentences for every epoch of a raw log (FILE, or - for standard input), in this\n"
    "order: GPRMC, GPGGA, GPGSA, GPGSV (4 satellites per sentence), GPZDA; each is '$', the\n"
    "fields, '*', the XOR checksum as two hex digits and CR LF, at most 82 characters.\n"
    "  RMC  UTC time, status A (V without a fix), latitude ddmm.mmmmm, longitude dddmm.mmmmm,\n"
    "       speed and course empty (no velocity is computed), date, mode A (N without a fix)\n"
    "  GGA  UTC time, position, quality 1 (0 without a fix), satellites used, HDOP, altitude\n"
    "       above mean sea level and the geoid's height above the ellipsoid, metres\n"
    "  GSA  mode 3 (1 without a fix), the PRNs used (at most 12), PDOP, HDOP, VDOP\n"
    "  GSV  every satellite of the epoch: PRN, elevation and azimuth seen from the fix (the last\n"
    "       fix when the epoch has none; empty before the first), SNR empty\n"
    "  ZDA  UTC time and date, local zone 00:00\n"
    "An epoch without a fix is still written, so that a watchdog sees the stream alive.\n"
    "UTC is GPS time minus the leap seconds.\n" SATLOG_TRACK_FIX_HELP
    "\n"
    "Options:\n" SATLOG_TRACK_TIME_HELP
    "  --follow         follow FILE while satlog writes it (it may not exist yet) and write each\n"
    "                   epoch's sentences as soon as its PBN entry is whole, until stopped\n"
    "                   (SIGINT or SIGTERM: exit status 0). The log is read from its beginning\n"
    "                   to learn the ephemerides; sentences start with the first new epoch.\n"
    "                   A restart of the log (satlog empties it at every start) or a new file\n"
    "                   under its name is said on standard error and read from its first byte.\n"
    "                   The week: --week or --date of the first epoch written, else the host\n"
    "                   clock's (the week that puts the epoch nearest to now).\n"
    "  --from-start     with --follow: every epoch of the log, not only the new ones\n"
    "  --listen [ADDR:]PORT  serve the sentences over TCP instead of standard output, to any\n"
    "                   number of clients (default 127.0.0.1:10110, the registered NMEA 0183\n"
    "                   port; another address only when named, such as 0.0.0.0:10110). With\n"
    "                   --follow the port opens once the log's past is read, and a client gets\n"
    "                   whole epochs from the next one on; one that does\n"
    "                   not read is dropped when 5 epochs wait for it beyond what the system's\n"
    "                   socket buffers hold and it has taken nothing for 2 s, or when 200 wait.\n"
    "                   Without --follow each\n"
    "                   client that connects gets the whole log and is then closed, and the\n"
    "                   program serves until SIGINT or SIGTERM. Connections, closes and\n"
    "                   dropped clients are said on standard error.\n"
    "\n"
    "A damaged stretch of the log is reported on standard error with its byte offset and\n"
    "skipped. Exit status: 0 the whole log was read; 1 the log is damaged or ends inside an\n"
    "entry; 2 bad usage, a file that cannot be read, a week that cannot be resolved, output\n"
    "that could not be written, or an address that cannot be listened on.\n";

const char kGpxUsage[] =
    "usage: satlog-dump gpx [options] FILE\n"
    "\n"
    "The fixed epochs of a raw log (FILE, or - for standard input) as one GPX 1.1 track on\n"
    "standard output: one trkpt per epoch with a fix, with lat and lon (WGS-84, degrees), ele\n"
    "(above mean sea level, metres), time (UTC), geoidheight, fix (3d), sat (satellites used),\n"
    "hdop, vdop and pdop. Epochs without a fix are left out.\n" SATLOG_TRACK_FIX_HELP
    "\n"
    "Options:\n" SATLOG_TRACK_TIME_HELP
    "\n"
    "A damaged stretch of the log is reported on standard error with its byte offset and\n"
    "skipped. Exit status: 0 the whole log was read; 1 the log is damaged or ends inside an\n"
    "entry; 2 bad usage, a file that cannot be read, a week that cannot be resolved, or output\n"
    "that could not be written.\n";

namespace {

// A client that goes away while a sentence is written to it must not end the program (on POSIX
// a write to a closed connection raises SIGPIPE, which ends a program by default).
void IgnoreBrokenPipes() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

struct TrackOptions {
    std::string file;
    WeekOptions week;
    FixOptions fix;
    std::optional<int> leapSeconds;
    std::optional<ListenAddress> listen;  // nmea only
    bool follow = false;                  // nmea only
    bool fromStart = false;
};

bool ParseNumber(std::string_view text, double& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ParseInteger(std::string_view text, int& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// The options nmea and gpx share (and nmea's --listen); an empty string when they are sound, else
// what is wrong.
std::string ParseTrackOptions(int argc, const char* const* argv, bool listens, TrackOptions& o) {
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        const bool hasValue = k + 1 < argc;
        if (listens && (arg == "--listen" || arg.starts_with("--listen="))) {
            // The address is optional: --listen alone is 127.0.0.1:10110.
            const bool inline_ = arg.starts_with("--listen=");
            std::optional<ListenAddress> where = ListenAddress{};
            if (inline_) {
                where = ParseListenAddress(arg.substr(9));
            } else if (hasValue) {
                if (auto next = ParseListenAddress(argv[k + 1])) {
                    where = next;
                    ++k;
                }
            }
            if (!where) {
                return "--listen takes [ADDRESS:]PORT, such as 127.0.0.1:10110 or [::1]:10110";
            }
            o.listen = where;
        } else if (listens && arg == "--follow") {
            o.follow = true;
        } else if (listens && arg == "--from-start") {
            o.fromStart = true;
        } else if (arg == "--week") {
            if (!hasValue || !ParseWeekValue(argv[++k], o.week)) {
                return "--week takes a GPS week number 0..9999";
            }
        } else if (arg == "--date") {
            if (!hasValue || !ParseDateValue(argv[++k], o.week)) {
                return "--date takes the date of the first epoch as YYYY-MM-DD";
            }
        } else if (arg == "--mask") {
            double mask = 0;
            if (!hasValue || !ParseNumber(argv[++k], mask) || mask < -90.0 || mask > 90.0) {
                return "--mask needs an elevation in degrees (-90 to 90)";
            }
            o.fix.elevationMaskDeg = mask;
        } else if (arg == "--leap-seconds") {
            int leap = 0;
            if (!hasValue || !ParseInteger(argv[++k], leap) || leap < 0 || leap > 99) {
                return "--leap-seconds takes GPS time minus UTC in whole seconds (0 to 99)";
            }
            o.leapSeconds = leap;
        } else if (o.file.empty() && (arg == "-" || !arg.starts_with("-"))) {
            o.file = arg;
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    if (o.file.empty()) {
        return "no raw log named";
    }
    if (o.week.week && o.week.date) {
        return "give --week or --date, not both";
    }
    if (o.fromStart && !o.follow) {
        return "--from-start goes with --follow";
    }
    if (o.follow && o.file == "-") {
        return "--follow follows a file by its name, not standard input";
    }
    return {};
}

// The first and last epoch times of a log and the week rollovers between them, read ahead so
// that the week can be inferred from the file's time before the first epoch is written.
struct EpochTimes {
    bool any = false;
    GpsTime first, last;  // in the log's weeks, as LogEpoch::time counts them
};

EpochTimes ScanEpochTimes(std::FILE* file) {
    RawLogFramer framer;
    RawLogEntry entry{};
    WeekTracker weeks;
    EpochTimes t;
    std::string readError;
    for (;;) {
        const RawLogFramer::Status status = framer.Next(entry);
        if (status == RawLogFramer::Status::NeedInput) {
            if (!FeedFromFile(file, framer, readError)) {
                return t;  // the walk that follows meets the same error and says so
            }
            continue;
        }
        if (status == RawLogFramer::Status::End) {
            return t;
        }
        if (status != RawLogFramer::Status::Entry || entry.kind->kind != RecordKind::EpochTime) {
            continue;
        }
        const DecodedRecord d = DecodeRecord(*entry.kind, entry.body);
        if (!d.trailerGood) {
            continue;  // closes no epoch
        }
        t.last = weeks.TimeOf(d.timeMs);
        if (!t.any) {
            t.first = t.last;
        }
        t.any = true;
    }
}

// Hands every epoch with its GPS week to `onEpoch`; the week comes from the options when given,
// else from the file's time. Messages and exit status as the other commands have them.
class TrackWalk : public LogEpochVisitor {
  public:
    using OnEpoch = std::function<void(const LogEpoch&, GpsTime time)>;
    TrackWalk(const TrackOptions& options, const CommandLog& log, OutputBuffer& out, std::FILE* err,
              OnEpoch onEpoch)
        : options_(options), log_(log), out_(out), err_(err), onEpoch_(std::move(onEpoch)) {}

    // Learns the week from the file's time when the options do not give it. False (said on
    // `err`) when it cannot be learnt.
    bool Prepare(const char* command) {
        if (options_.week.week || options_.week.date) {
            return true;  // resolved at the first epoch
        }
        std::error_code ec;
        if (log_.IsStandardInput() || !std::filesystem::is_regular_file(log_.Name(), ec)) {
            std::fprintf(err_,
                         "satlog-dump %s: %s has no file time to infer the GPS week from: give "
                         "--week or --date\n",
                         command, log_.ShownName().c_str());
            return false;
        }
        const EpochTimes times = ScanEpochTimes(log_.File());
        if (std::fseek(log_.File(), 0, SEEK_SET) != 0) {
            std::fprintf(err_, "satlog-dump: cannot read %s: %s\n", log_.ShownName().c_str(),
                         std::strerror(errno));
            return false;
        }
        if (!times.any) {
            weeks_ = EpochWeeks::FromFirstWeek(0);  // nothing will be dated
            return true;
        }
        std::string problem;
        const auto resolved =
            ResolveFirstWeek(options_.week, log_, times.first, times.last, problem);
        if (!resolved) {
            std::fprintf(err_, "satlog-dump: %s: %s\n", log_.ShownName().c_str(), problem.c_str());
            return false;
        }
        std::fprintf(err_, "satlog-dump: GPS week %d of the first epoch (%s), %s\n",
                     resolved->firstWeek,
                     FormatGpsDateTime(times.first + kGpsWeek * resolved->firstWeek).c_str(),
                     resolved->source.c_str());
        weeks_ = EpochWeeks::FromFirstWeek(resolved->firstWeek);
        return true;
    }

    void Epoch(const LogEpoch& epoch) override {
        if (failed_) {
            return;
        }
        if (!weeks_) {
            std::string problem;
            const auto resolved =
                ResolveFirstWeek(options_.week, log_, epoch.time, epoch.time, problem);
            if (!resolved) {
                std::fprintf(err_, "satlog-dump: %s: %s\n", log_.ShownName().c_str(),
                             problem.c_str());
                failed_ = true;
                return;
            }
            weeks_ = EpochWeeks::FromFirstWeek(resolved->firstWeek);
        }
        onEpoch_(epoch, weeks_->TimeOf(epoch));
    }

    // What was written before the damage goes out first, so that the two streams interleave in
    // order on a terminal.
    void Damage(const LogDamage& d) override {
        out_.Flush();
        ReportLogDamage(d, log_.ShownName(), err_);
    }

    // The exit status of the walk that ended with `end`, the output flushed.
    int Finish(const LogWalkEnd& end) {
        const bool written = out_.Flush();
        if (end.readFailed) {
            std::fprintf(err_, "satlog-dump: cannot read %s: %s\n", log_.ShownName().c_str(),
                         end.text.c_str());
            return 2;
        }
        if (!written) {
            std::fprintf(err_, "satlog-dump: cannot write the output: %s\n", std::strerror(errno));
            return 2;
        }
        if (failed_) {
            return 2;
        }
        return end.Damaged() ? 1 : 0;
    }

  private:
    const TrackOptions& options_;
    const CommandLog& log_;
    OutputBuffer& out_;
    std::FILE* err_;
    OnEpoch onEpoch_;
    std::optional<EpochWeeks> weeks_;
    bool failed_ = false;
};

// Serves a finished log's sentences to every client that connects, until SIGINT or SIGTERM.
bool ServeFinishedLog(const ListenAddress& where, std::shared_ptr<const std::string> text,
                      std::FILE* err) {
    IgnoreBrokenPipes();
    std::string problem;
    NmeaServer::Settings settings;
    settings.where = where;
    settings.whole = std::move(text);
    const auto server = NmeaServer::Listen(settings, err, problem);
    if (!server) {
        std::fprintf(err, "satlog-dump: %s\n", problem.c_str());
        return false;
    }
    server->RunUntilSignalled();
    return true;
}

// The sentences of a log that satlog is writing, each epoch's as soon as its PBN entry is whole:
// on standard output (flushed after every epoch) or to the TCP clients. The week comes from
// --week or --date (of the first epoch handed on) or else from the host clock.
class LiveSentences : public LogFollowVisitor {
  public:
    LiveSentences(const TrackOptions& options, OutputBuffer& out, std::FILE* err)
        : options_(options), out_(out), err_(err), reporter_(options.fix, options.leapSeconds) {}
    void Attach(LogFollower& follower) { follower_ = &follower; }
    bool Failed() const { return outputFailed_ || weekFailed_ || listenFailed_; }
    bool OutputFailed() const { return outputFailed_; }
    void StopServing() {
        if (server_) {
            server_->Stop();
        }
    }

    // With --listen the port opens when the log's past has been read: a client that connects
    // gets live epochs from then on.
    void CaughtUp() override {
        if (!options_.listen) {
            return;
        }
        IgnoreBrokenPipes();
        std::string problem;
        NmeaServer::Settings settings;
        settings.where = *options_.listen;
        server_ = NmeaServer::Listen(settings, err_, problem);
        if (!server_) {
            std::fprintf(err_, "satlog-dump: %s\n", problem.c_str());
            listenFailed_ = true;
            follower_->RequestStop();
        }
    }

    void Epoch(const LogEpoch& epoch) override {
        const std::optional<GpsTime> time = TimeOf(epoch);
        if (!time) {
            return;
        }
        sentences_.clear();
        AppendNmeaEpoch(reporter_.Report(epoch, *time).nmea, sentences_);
        if (options_.listen) {
            if (server_) {
                server_->Publish(sentences_);  // before the port opens (--from-start): no client
            }
            return;
        }
        out_.Text(sentences_);
        if (!out_.Flush() && !outputFailed_) {
            outputFailed_ = true;
            follower_->RequestStop();
        }
    }

    // A new recording: its satellites are looked at from its own fixes.
    void Restart(const LogRestart&) override {
        reporter_ = EpochReporter(options_.fix, options_.leapSeconds);
    }

  private:
    std::optional<GpsTime> TimeOf(const LogEpoch& epoch) {
        if (!weeks_) {
            if (!options_.week.week && !options_.week.date) {
                weeks_ = EpochWeeks::FromHostClock();
            } else {
                std::string problem;
                const auto resolved =
                    ResolveFirstWeek(options_.week, CommandLog(), epoch.time, epoch.time, problem);
                if (!resolved) {
                    std::fprintf(err_, "satlog-dump: %s: %s\n", options_.file.c_str(),
                                 problem.c_str());
                    weekFailed_ = true;
                    follower_->RequestStop();
                    return std::nullopt;
                }
                weeks_ = EpochWeeks::FromFirstWeek(resolved->firstWeek);
            }
        }
        return weeks_->TimeOf(epoch);
    }

    const TrackOptions& options_;
    OutputBuffer& out_;
    std::FILE* err_;
    std::unique_ptr<NmeaServer> server_;
    EpochReporter reporter_;
    std::optional<EpochWeeks> weeks_;
    std::string sentences_;
    LogFollower* follower_ = nullptr;
    bool outputFailed_ = false;
    bool weekFailed_ = false;
    bool listenFailed_ = false;
};

int FollowNmea(const TrackOptions& options, std::FILE* out, std::FILE* err) {
    OutputBuffer text(out, 1 << 12);
    LiveSentences live(options, text, err);
    FollowOptions follow;
    follow.fromStart = options.fromStart;
    LogFollower follower(options.file, live, err, follow);
    live.Attach(follower);
    StopFollowerOnSignals(follower);
    const int status = follower.Run();
    live.StopServing();
    if (live.OutputFailed()) {
        std::fprintf(err, "satlog-dump: cannot write the output: %s\n", std::strerror(errno));
    }
    return live.Failed() ? 2 : status;
}

int UsageError(const char* command, const std::string& problem, const char* usage, std::FILE* err) {
    std::fprintf(err, "satlog-dump %s: %s\n\n%s", command, problem.c_str(), usage);
    return 2;
}

}  // namespace

int DumpNmeaMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    TrackOptions options;
    const std::string problem = ParseTrackOptions(argc, argv, true, options);
    if (!problem.empty()) {
        return UsageError("nmea", problem, kNmeaUsage, err);
    }
    if (options.follow) {
        return FollowNmea(options, out, err);
    }
    CommandLog log;
    if (!log.Open(options.file, err)) {
        return 2;
    }
    OutputBuffer text(out, 1 << 16);
    EpochReporter reporter(options.fix, options.leapSeconds);
    std::string sentences;
    // With --listen the whole log's sentences are kept for the clients instead.
    auto whole = std::make_shared<std::string>();
    TrackWalk walk(options, log, text, err, [&](const LogEpoch& epoch, GpsTime time) {
        if (options.listen) {
            AppendNmeaEpoch(reporter.Report(epoch, time).nmea, *whole);
            return;
        }
        sentences.clear();
        AppendNmeaEpoch(reporter.Report(epoch, time).nmea, sentences);
        text.Text(sentences);
    });
    if (!walk.Prepare("nmea")) {
        return 2;
    }
    const int status = walk.Finish(WalkLogEpochs(log.File(), walk));
    if (!options.listen || status == 2) {
        return status;
    }
    return ServeFinishedLog(*options.listen, std::move(whole), err) ? status : 2;
}

int DumpGpxMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    TrackOptions options;
    const std::string problem = ParseTrackOptions(argc, argv, false, options);
    if (!problem.empty()) {
        return UsageError("gpx", problem, kGpxUsage, err);
    }
    CommandLog log;
    if (!log.Open(options.file, err)) {
        return 2;
    }
    OutputBuffer xml(out, 1 << 16);
    EpochReporter reporter(options.fix, options.leapSeconds);
    std::string text;
    AppendGpxHeader("satlog-dump " SATLOG_VERSION, log.ShownName(), text);
    xml.Text(text);
    TrackWalk walk(options, log, xml, err, [&](const LogEpoch& epoch, GpsTime time) {
        const EpochReport& report = reporter.Report(epoch, time);
        if (report.HasFix()) {
            text.clear();
            AppendGpxTrackPoint(report.TrackPoint(), text);
            xml.Text(text);
        }
    });
    if (!walk.Prepare("gpx")) {
        return 2;
    }
    const LogWalkEnd end = WalkLogEpochs(log.File(), walk);
    text.clear();
    AppendGpxFooter(text);
    xml.Text(text);
    return walk.Finish(end);
}
