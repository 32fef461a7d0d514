#include "tools/dump/dump_fix.hpp"

#include <memory>
#include <string_view>

#include <CLI/CLI.hpp>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

constexpr const char* kFixHelp =
    "A single-point least-squares fix from the pseudoranges c x rawRange of the\n"
    "satellites the receive thread computes at that epoch (status 1 or 2, whole\n"
    "records, an ephemeris received before), with each satellite's position and clock\n"
    "at its transmit time, the earth's rotation during the signal's travel and a\n"
    "standard tropospheric delay (Saastamoinen zenith delay of a standard atmosphere\n"
    "at the receiver's height, Black and Eisner mapping function).\n"
    "There is no ionospheric correction: the receiver's records carry no ionospheric\n"
    "model, so the ionosphere's delay (metres to tens of metres, mostly in height)\n"
    "stays in the positions.\n"
    "\n"
    "CSV with the header\n"
    "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms\n"
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
    "An epoch without a fix (fewer than four satellites above the mask, no\n"
    "convergence within 10 iterations, or a result that is not finite) keeps its row\n"
    "with time_ms and satellites and the other fields empty. Numbers are in the\n"
    "shortest form that reads back exactly.\n"
    "\n"
    "A damaged stretch of the log (an unknown tag, a torn entry) is reported on\n"
    "standard error with its byte offset and skipped; the epochs after it are read.\n";

constexpr std::string_view kFixHeader =
    "time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms\n";

void WriteFixRow(OutputBuffer& out, const LogEpoch& epoch, const FixOptions& options) {
    const PointFix fix = FixLogEpoch(epoch, options);
    out.Number(epoch.timeMs);
    out.Char(',');
    out.Number(fix.satellites);
    if (!fix.valid) {
        out.Text(",,,,,,,,,,,\n");
        return;
    }
    for (const double value :
         {fix.position.x, fix.position.y, fix.position.z, fix.geodetic.latitudeDeg,
          fix.geodetic.longitudeDeg, fix.geodetic.heightM, fix.clockBias, fix.pdop, fix.hdop,
          fix.vdop, fix.rms}) {
        out.Char(',');
        out.Number(value);
    }
    out.Char('\n');
}

class CsvFixes : public LogEpochVisitor {
  public:
    CsvFixes(OutputBuffer& out, const FixOptions& options, const std::string& name, std::FILE* err)
        : out_(out), options_(options), name_(name), err_(err) {}

    bool Done() const override { return out_.Failed(); }

    void Epoch(const LogEpoch& epoch) override { WriteFixRow(out_, epoch, options_); }

    // What was read before the damage goes out first, so that the two streams interleave in
    // order on a terminal; the messages are those of the other commands.
    void Damage(const LogDamage& d) override {
        out_.Flush();
        ReportLogDamage(d, name_, err_);
    }

  private:
    OutputBuffer& out_;
    FixOptions options_;
    std::string name_;
    std::FILE* err_;
};

// The rows of a log being written, each out as soon as its epoch is; the follower names damage
// and restarts on standard error itself.
class LiveFixes : public LogFollowVisitor {
  public:
    LiveFixes(OutputBuffer& out, const FixOptions& options) : out_(out), options_(options) {}
    void Attach(LogFollower& follower) { follower_ = &follower; }

    // The header says that the log's past has been read: rows from here on are new epochs.
    void CaughtUp() override {
        out_.Text(kFixHeader);
        Flush();
    }
    void Epoch(const LogEpoch& epoch) override {
        WriteFixRow(out_, epoch, options_);
        Flush();
    }

  private:
    void Flush() {
        if (!out_.Flush() && !stopped_) {
            stopped_ = true;
            follower_->RequestStop();
        }
    }

    OutputBuffer& out_;
    FixOptions options_;
    LogFollower* follower_ = nullptr;
    bool stopped_ = false;
};

int FollowFix(const std::string& name, std::FILE* out, std::FILE* err, const FixOptions& options,
              bool fromStart) {
    OutputBuffer csv(out, 1 << 12);
    LiveFixes rows(csv, options);
    FollowOptions follow;
    follow.fromStart = fromStart;
    LogFollower follower(name, rows, err, follow);
    rows.Attach(follower);
    StopFollowerOnSignals(follower);
    return FinishOutput(csv, err, follower.Run());
}

}  // namespace

int DumpFix(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err,
            const FixOptions& options) {
    OutputBuffer csv(out, 1 << 16);
    csv.Text(kFixHeader);
    CsvFixes rows(csv, options, name, err);
    const LogWalkEnd end = WalkLogEpochs(in, rows);
    csv.Flush();
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
};

CommandRun DefineFix(CLI::App& command) {
    auto options = std::make_shared<FixCommandOptions>();
    AddLogFileArgument(command, options->file);
    AddMaskOption(command, options->fix.elevationMaskDeg);
    AddFollowOptions(command, options->follow);
    command.footer(kFixHelp);
    return [options](const CommandStreams& io) {
        if (options->follow.follow) {
            if (options->file == "-") {
                std::fprintf(io.err,
                             "satlog-dump fix: --follow needs the log's file name: standard "
                             "input cannot be followed\n");
                return static_cast<int>(kExitFailed);
            }
            return FollowFix(options->file, io.out, io.err, options->fix,
                             options->follow.fromStart);
        }
        CommandLog log;
        if (!log.Open(options->file, io.err)) {
            return static_cast<int>(kExitFailed);
        }
        return DumpFix(log.File(), log.ShownName(), io.out, io.err, options->fix);
    };
}

}  // namespace

const DumpCommand kFixCommand{"fix", "CSV of the receiver's position at every epoch", DefineFix};
