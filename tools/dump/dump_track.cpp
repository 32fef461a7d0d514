// satlog-dump nmea and gpx: the receiver's position at every epoch of a raw log in the formats
// that maps, chart plotters and GIS programs read: NMEA 0183 sentences and a GPX 1.1 track.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "formats/gpx/gpx_track.hpp"
#include "formats/nmea/nmea_sentences.hpp"
#include "formats/rawlog/raw_log_framer.hpp"
#include "gnss/epoch_time_sequence.hpp"
#include "records/record_dispatch.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/epoch_report.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/dump/navigation_option.hpp"
#include "tools/dump/nmea_server.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

constexpr const char* kTrackFixHelp =
    "The fix is that of satlog-dump fix: with --nav the broadcast ionospheric\n"
    "correction, without it none. Altitudes are above mean sea level: the ellipsoidal\n"
    "height minus the EGM96 geoid's height (the 15-minute grid of PROJ's data,\n"
    "interpolated bilinearly, compiled into the program). UTC is GPS time minus the\n"
    "leap seconds. Without --week or --date the\n"
    "week is the one that puts the last epoch closest before FILE's modification\n"
    "time, as for rinex (named on standard error); a log on standard input needs one\n"
    "of them.\n";

constexpr const char* kTrackDamageHelp =
    "A damaged stretch of the log is reported on standard error with its byte offset\n"
    "and skipped.\n";

const std::string kNmeaHelp =
    std::string(
        "NMEA 0183 sentences for every epoch, in this order: GPRMC, GPGGA, GPGSA, GPGSV\n"
        "(4 satellites per sentence), GPZDA; each is '$', the fields, '*', the XOR\n"
        "checksum as two hex digits and CR LF, at most 82 characters.\n"
        "  RMC  UTC time, status A (V without a fix), latitude ddmm.mmmmm, longitude\n"
        "       dddmm.mmmmm, speed and course empty (no velocity is computed), date,\n"
        "       mode A (N without a fix)\n"
        "  GGA  UTC time, position, quality 1 (0 without a fix), satellites used, HDOP,\n"
        "       altitude above mean sea level and the geoid's height above the\n"
        "       ellipsoid, metres\n"
        "  GSA  mode 3 (1 without a fix), the PRNs used (at most 12), PDOP, HDOP, VDOP\n"
        "  GSV  every satellite of the epoch: PRN, elevation and azimuth seen from the\n"
        "       fix (the last fix when the epoch has none; empty before the first), SNR\n"
        "       empty\n"
        "  ZDA  UTC time and date, local zone 00:00\n"
        "An epoch without a fix is still written, so that a watchdog sees the stream\n"
        "alive.\n") +
    kTrackFixHelp +
    "With --follow the week is that of --week or --date of the first epoch written,\n"
    "else the host clock's (the week that puts the epoch nearest to now).\n"
    "With --listen the sentences go to TCP clients instead of standard output. With\n"
    "--follow the port opens once the log's past is read, and a client gets whole\n"
    "epochs from the next one on; one that does not read is dropped when 5 epochs\n"
    "wait for it beyond what the system's socket buffers hold and it has taken\n"
    "nothing for 2 s, or when 200 wait. Without --follow each client that connects\n"
    "gets the whole log and is then closed, and the program serves until SIGINT or\n"
    "SIGTERM. Connections, closes and dropped clients are said on standard error.\n" +
    kTrackDamageHelp;

const std::string kGpxHelp =
    std::string(
        "The fixed epochs as one GPX 1.1 track on standard output: one trkpt per epoch\n"
        "with a fix, with lat and lon (WGS-84, degrees), ele (above mean sea level,\n"
        "metres), time (UTC), geoidheight, fix (3d), sat (satellites used), hdop, vdop\n"
        "and pdop. Epochs without a fix are left out.\n") +
    kTrackFixHelp + kTrackDamageHelp;

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
    NavigationOption navigation;
    std::optional<int> leapSeconds;
    std::optional<ListenAddress> listen;  // nmea only
    FollowFlags follow;                   // nmea only
};

// The reporter of a command's epochs: the fixes with --nav's ionosphere and ephemerides.
EpochReporter MakeReporter(const TrackOptions& options) {
    return EpochReporter(options.navigation.Fixer(options.fix), options.leapSeconds);
}

// The first and last epoch times of a log in sequence, judged as the walk judges them, read
// ahead so that the week can be inferred from the file's time before the first epoch is written.
struct EpochTimes {
    bool any = false;
    GpsTime first, last;  // in the log's weeks, as LogEpoch::time counts them
};

EpochTimes ScanEpochTimes(std::FILE* file) {
    RawLogFramer framer;
    RawLogEntry entry{};
    EpochTimeSequence sequence;
    EpochTimes t;
    const auto take = [&] {
        while (const auto judged = sequence.Next()) {
            if (judged->verdict == EpochTimeSequence::Verdict::InSequence) {
                t.first = t.any ? t.first : judged->time;
                t.last = judged->time;
                t.any = true;
            }
        }
    };
    std::string readError;
    for (;;) {
        const RawLogFramer::Status status = framer.Next(entry);
        if (status == RawLogFramer::Status::NeedInput) {
            if (!FeedFromFile(file, framer, readError)) {
                break;  // the walk that follows meets the same error and says so
            }
            continue;
        }
        if (status == RawLogFramer::Status::End) {
            break;
        }
        if (status != RawLogFramer::Status::Entry || entry.kind->kind != RecordKind::EpochTime) {
            continue;
        }
        const DecodedRecord d = DecodeRecord(*entry.kind, entry.body);
        if (!d.trailerGood) {
            continue;  // closes no epoch
        }
        sequence.Push(d.timeMs);
        take();
    }
    sequence.Flush();
    take();
    return t;
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

    // A track runs forward in time: an epoch not later than the one before is left out.
    void Epoch(const LogEpoch& epoch) override {
        if (failed_ || !epoch.inSequence) {
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
    void TimeOutlier(const LogTimeOutlier& o) override {
        out_.Flush();
        ReportTimeOutlier(o, log_.ShownName(), err_);
    }

    // Standard output's reader has gone (with --listen nothing is written until the walk is over).
    bool Done() const override { return out_.Failed(); }

    // The exit status of the walk that ended with `end`, the output flushed.
    int Finish(const LogWalkEnd& end) {
        out_.Flush();
        if (end.readFailed) {
            std::fprintf(err_, "satlog-dump: cannot read %s: %s\n", log_.ShownName().c_str(),
                         end.text.c_str());
            return kExitFailed;
        }
        return FinishOutput(out_, err_,
                            failed_         ? kExitFailed
                            : end.Damaged() ? kExitPartial
                                            : kExitComplete);
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
        : options_(options),
          out_(out),
          err_(err),
          reporter_(MakeReporter(options)),
          sending_(options.follow.fromStart) {}
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
        sending_ = true;
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
        if (!epoch.inSequence) {
            return;  // a stream runs forward in time, as the track of a finished log does
        }
        if (!sending_) {
            reporter_.Skip(epoch);  // the log's past: fixed, not sent
            return;
        }
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
    void Restart(const LogRestart&) override { reporter_ = MakeReporter(options_); }

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
    bool sending_;
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
    follow.fromStart = true;  // the past is fixed, not sent (LiveSentences)
    LogFollower follower(options.file, live, err, follow);
    live.Attach(follower);
    StopFollowerOnSignals(follower);
    const int status = follower.Run();
    live.StopServing();
    return FinishOutput(text, err, live.Failed() ? kExitFailed : status);
}

int RunNmea(TrackOptions& options, std::FILE* out, std::FILE* err) {
    if (!options.navigation.Load(err)) {
        return kExitFailed;
    }
    if (options.follow.follow) {
        if (options.file == "-") {
            std::fprintf(err,
                         "satlog-dump nmea: --follow follows a file by its name, not "
                         "standard input\n");
            return kExitFailed;
        }
        return FollowNmea(options, out, err);
    }
    CommandLog log;
    if (!log.Open(options.file, err)) {
        return kExitFailed;
    }
    OutputBuffer text(out, 1 << 16);
    EpochReporter reporter = MakeReporter(options);
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
        return kExitFailed;
    }
    const int status = walk.Finish(WalkLogEpochs(log.File(), walk));
    if (!options.listen || status == kExitFailed) {
        return status;
    }
    return ServeFinishedLog(*options.listen, std::move(whole), err) ? status : kExitFailed;
}

int RunGpx(TrackOptions& options, std::FILE* out, std::FILE* err) {
    if (!options.navigation.Load(err)) {
        return kExitFailed;
    }
    CommandLog log;
    if (!log.Open(options.file, err)) {
        return kExitFailed;
    }
    OutputBuffer xml(out, 1 << 16);
    EpochReporter reporter = MakeReporter(options);
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
        return kExitFailed;
    }
    const LogWalkEnd end = WalkLogEpochs(log.File(), walk);
    text.clear();
    AppendGpxFooter(text);
    xml.Text(text);
    return walk.Finish(end);
}

// The options nmea and gpx share.
std::shared_ptr<TrackOptions> AddTrackOptions(CLI::App& command) {
    auto options = std::make_shared<TrackOptions>();
    AddLogFileArgument(command, options->file);
    AddWeekOptions(command, options->week);
    AddLeapSecondsOption(command, options->leapSeconds);
    AddMaskOption(command, options->fix.elevationMaskDeg);
    AddNavigationOption(command, options->navigation.path);
    return options;
}

CommandRun DefineNmea(CLI::App& command) {
    auto options = AddTrackOptions(command);
    AddFollowOptions(command, options->follow);
    AddValueOption(
        command, "--listen", "[ADDR:]PORT",
        "serve the sentences over TCP instead of standard output,\n"
        "to any number of clients (default 127.0.0.1:10110, the\n"
        "registered NMEA 0183 port; another address only when\n"
        "named, such as 0.0.0.0:10110 or [::1]:10110)",
        [&listen = options->listen](std::string_view text) {
            // Without a value: the default address.
            listen = text.empty() ? std::optional(ListenAddress{}) : ParseListenAddress(text);
            return listen.has_value();
        },
        "takes [ADDRESS:]PORT, such as 127.0.0.1:10110 or [::1]:10110")
        ->expected(0, 1);
    command.footer(kNmeaHelp);
    return [options](const CommandStreams& io) { return RunNmea(*options, io.out, io.err); };
}

CommandRun DefineGpx(CLI::App& command) {
    auto options = AddTrackOptions(command);
    command.footer(kGpxHelp);
    return [options](const CommandStreams& io) { return RunGpx(*options, io.out, io.err); };
}

}  // namespace

const DumpCommand kNmeaCommand{"nmea", "NMEA 0183 sentences of every epoch", DefineNmea};
const DumpCommand kGpxCommand{"gpx", "the fixed epochs as a GPX 1.1 track", DefineGpx};
