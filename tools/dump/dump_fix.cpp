#include "tools/dump/dump_fix.hpp"

#include <memory>
#include <string_view>

#include <CLI/CLI.hpp>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "records/terminal_text.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/dump/navigation_option.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

constexpr const char* kFixHelp =
    "A single-point weighted least-squares fix from the pseudoranges c x rawRange of\n"
    "the satellites the receive thread computes at that epoch (status 1 or 2, whole\n"
    "records, an ephemeris received before), with each satellite's position and clock\n"
    "at its transmit time, the earth's rotation during the signal's travel and a\n"
    "standard tropospheric delay (Saastamoinen zenith delay of a standard atmosphere\n"
    "at the receiver's height, Black and Eisner mapping function). Each epoch starts\n"
    "from the fix of the epoch before.\n"
    "\n"
    "Ionosphere: with --nav, the broadcast (Klobuchar) model of IS-GPS-200 with the\n"
    "file's ION ALPHA and ION BETA. Without --nav (or with a file that lacks them, as\n"
    "standard error then says) there is no ionospheric correction: the ionosphere's\n"
    "delay (metres to tens of metres, mostly in height) stays in the positions.\n"
    "\n"
    "Residual test: when the residuals of a fix disagree with the ranges' noise (a\n"
    "chi-square test at 0.1 %), a single bad satellite is looked for among 6 or more:\n"
    "the one whose omission leaves a fix that passes is left out (column excluded).\n"
    "An epoch that fails without a satellite to blame gets no fix; standard error\n"
    "says how many at the end.\n"
    "\n"
    "CSV with the header\n"
    "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms,\n"
    "from_nav,excluded\n"
    "one row per epoch (a PBN entry that reaches the satellite tables: one with a bad\n"
    "trailer closes no epoch):\n"
    "  time_ms      the epoch time as in the record, ms of the GPS week\n"
    "  satellites   the satellites used in the fix (without a fix: those left to use)\n"
    "  x,y,z        the position, earth-centred earth-fixed, metres (WGS 84)\n"
    "  latitude     WGS-84 geodetic latitude, degrees, north positive\n"
    "  longitude    WGS-84 longitude, degrees, east positive\n"
    "  height       height above the WGS-84 ellipsoid, metres\n"
    "  clock_bias   the receiver clock's offset from GPS time, seconds\n"
    "  pdop,hdop,vdop  dilutions of precision of the satellites used (position,\n"
    "               horizontal, vertical)\n"
    "  rms          root mean square of the range residuals after the fix, metres\n"
    "  from_nav     of the satellites, those computed from the --nav file's\n"
    "               ephemerides\n"
    "  excluded     the PRNs the residual test left out, separated by spaces; empty\n"
    "               when none\n"
    "An epoch without a fix (fewer than four satellites above the mask, no\n"
    "convergence within 10 iterations, a result that is not finite, or a failed\n"
    "residual test) keeps its row with time_ms, satellites and from_nav and the other\n"
    "fields empty. Numbers are in the shortest form that reads back exactly.\n"
    "\n"
    "A damaged stretch of the log (an unknown tag, a torn entry) is reported on\n"
    "standard error with its byte offset and skipped; the epochs after it are read.\n"
    "So is an epoch whose time is out of sequence with the epochs around it (a\n"
    "corrupt time: far ahead of them, or back by more than half a week while the\n"
    "times after it go on as before); a week rollover is followed when the times\n"
    "after it continue it.\n";

constexpr std::string_view kFixHeader =
    "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms,from_nav,"
    "excluded\n";

// One epoch's row.
void WriteFixRow(OutputBuffer& out, std::int32_t timeMs, const EpochFix& result) {
    const PointFix& fix = result.fix;
    out.Number(timeMs);
    out.Char(',');
    out.Number(fix.satellites);
    if (!fix.valid) {
        out.Text(",,,,,,,,,,,,");
        out.Number(result.fromNavigation);
        out.Text(",\n");
        return;
    }
    for (const double value :
         {fix.position.x, fix.position.y, fix.position.z, fix.geodetic.latitudeDeg,
          fix.geodetic.longitudeDeg, fix.geodetic.heightM, fix.clockBias, fix.pdop, fix.hdop,
          fix.vdop, fix.rms}) {
        out.Char(',');
        out.Number(value);
    }
    out.Char(',');
    out.Number(result.fromNavigation);
    out.Char(',');
    for (int k = 0; k < result.excludedCount; ++k) {
        if (k > 0) {
            out.Char(' ');
        }
        out.Number(result.excluded[static_cast<std::size_t>(k)]);
    }
    out.Char('\n');
}

// Whether an epoch failed the residual test with no satellite to blame.
bool FailedWithNoneToBlame(const EpochFix& result) {
    return result.fix.outcome == FixOutcome::Inconsistent;
}

// Said once at the end of a run: how many epochs went without a fix for disagreeing ranges.
void ReportInconsistent(std::size_t epochs, const std::string& name, std::FILE* err) {
    if (epochs > 0) {
        std::fprintf(err,
                     "satlog-dump: %s: %zu epochs without a fix: their ranges disagree beyond "
                     "their noise and no single satellite left out mends it\n",
                     name.c_str(), epochs);
    }
}

class CsvFixes : public LogEpochVisitor {
  public:
    CsvFixes(OutputBuffer& out, EpochFixer fixer, const std::string& name, std::FILE* err)
        : out_(out), fixer_(fixer), name_(name), err_(err) {}

    bool Done() const override { return out_.Failed(); }

    void Epoch(const LogEpoch& epoch) override {
        const EpochFix result = fixer_.Fix(epoch);
        inconsistent_ += FailedWithNoneToBlame(result) ? 1 : 0;
        WriteFixRow(out_, epoch.timeMs, result);
    }

    // What was read before the damage goes out first, so that the two streams interleave in
    // order on a terminal; the messages are those of the other commands.
    void Damage(const LogDamage& d) override {
        out_.Flush();
        ReportLogDamage(d, name_, err_);
    }
    void TimeOutlier(const LogTimeOutlier& o) override {
        out_.Flush();
        ReportTimeOutlier(o, name_, err_);
    }

    std::size_t Inconsistent() const { return inconsistent_; }

  private:
    OutputBuffer& out_;
    EpochFixer fixer_;
    std::string name_;
    std::FILE* err_;
    std::size_t inconsistent_ = 0;
};

// The rows of a log being written, each out as soon as its epoch is; the follower names damage
// and restarts on standard error itself. Every epoch of a recording is fixed, the log's past
// too, so that each fix starts from the one before as in the fix of the whole log and the rows
// are those of `satlog-dump fix` of each recording; only the new epochs are written (every one
// with --from-start), after the header.
class LiveFixes : public LogFollowVisitor {
  public:
    LiveFixes(OutputBuffer& out, EpochFixer fixer, bool fromStart)
        : out_(out), fixer_(fixer), writing_(fromStart) {}
    void Attach(LogFollower& follower) { follower_ = &follower; }
    std::size_t Inconsistent() const { return inconsistent_; }

    // The header says that the log's past has been read: rows from here on are new epochs.
    void CaughtUp() override {
        Header();
        writing_ = true;
        Flush();
    }
    void Epoch(const LogEpoch& epoch) override {
        const EpochFix result = fixer_.Fix(epoch);
        if (!writing_) {
            return;
        }
        inconsistent_ += FailedWithNoneToBlame(result) ? 1 : 0;
        Header();
        WriteFixRow(out_, epoch.timeMs, result);
        Flush();
    }
    // A new recording: its first epoch starts from no earlier fix, as in its own log.
    void Restart(const LogRestart&) override { fixer_.Restart(); }

  private:
    void Header() {
        if (!headerWritten_) {
            out_.Text(kFixHeader);
            headerWritten_ = true;
        }
    }
    void Flush() {
        if (!out_.Flush() && !stopped_) {
            stopped_ = true;
            follower_->RequestStop();
        }
    }

    OutputBuffer& out_;
    EpochFixer fixer_;
    bool writing_;
    bool headerWritten_ = false;
    LogFollower* follower_ = nullptr;
    bool stopped_ = false;
    std::size_t inconsistent_ = 0;
};

int FollowFix(const std::string& name, std::FILE* out, std::FILE* err, EpochFixer fixer,
              bool fromStart) {
    OutputBuffer csv(out, 1 << 12);
    LiveFixes rows(csv, fixer, fromStart);
    FollowOptions follow;
    follow.fromStart = true;  // the past is fixed, not written (LiveFixes)
    LogFollower follower(name, rows, err, follow);
    rows.Attach(follower);
    StopFollowerOnSignals(follower);
    const int status = follower.Run();
    ReportInconsistent(rows.Inconsistent(), EscapeForTerminal(name), err);
    return FinishOutput(csv, err, status);
}

}  // namespace

int DumpFix(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err,
            const FixOptions& options, const NavigationData* navigation) {
    OutputBuffer csv(out, 1 << 16);
    csv.Text(kFixHeader);
    CsvFixes rows(csv, FixerFor(navigation, options), name, err);
    const LogWalkEnd end = WalkLogEpochs(in, rows);
    csv.Flush();
    ReportInconsistent(rows.Inconsistent(), name, err);
    if (end.readFailed) {
        std::fprintf(err, "satlog-dump: cannot read %s: %s\n", name.c_str(), end.text.c_str());
        return kExitFailed;
    }
    return FinishOutput(csv, err, end.Damaged() ? kExitPartial : kExitComplete);
}

namespace {

struct FixCommandOptions {
    std::string file;
    FixOptions fix;
    FollowFlags follow;
    NavigationOption navigation;
};

CommandRun DefineFix(CLI::App& command) {
    auto options = std::make_shared<FixCommandOptions>();
    AddLogFileArgument(command, options->file);
    AddMaskOption(command, options->fix.elevationMaskDeg);
    AddNavigationOption(command, options->navigation.path);
    AddFollowOptions(command, options->follow);
    command.footer(kFixHelp);
    return [options](const CommandStreams& io) {
        if (!options->navigation.Load(io.err)) {
            return static_cast<int>(kExitFailed);
        }
        if (options->follow.follow) {
            if (options->file == "-") {
                std::fprintf(io.err,
                             "satlog-dump fix: --follow needs the log's file name: standard "
                             "input cannot be followed\n");
                return static_cast<int>(kExitFailed);
            }
            return FollowFix(options->file, io.out, io.err, options->navigation.Fixer(options->fix),
                             options->follow.fromStart);
        }
        CommandLog log;
        if (!log.Open(options->file, io.err)) {
            return static_cast<int>(kExitFailed);
        }
        return DumpFix(log.File(), log.ShownName(), io.out, io.err, options->fix,
                       options->navigation.Data());
    };
}

}  // namespace

const DumpCommand kFixCommand{"fix", "CSV of the receiver's position at every epoch", DefineFix};
