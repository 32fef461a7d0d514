#include "tools/dump/dump_fix.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/log_follower.hpp"
#include "tools/dump/output_buffer.hpp"

const char kFixUsage[] =
    "usage: satlog-dump fix [--mask DEG] [--follow [--from-start]] FILE\n"
    "\n"
    "The receiver's position at every epoch of a raw log (FILE, or - for standard input): a\n"
    "single-point least-squares fix from the pseudoranges c x rawRange of the satellites the\n"
    "receive thread computes at that epoch (status 1 or 2, whole records, an ephemeris received\n"
    "before), with each satellite's position and clock at its transmit time, the earth's rotation\n"
    "during the signal's travel and a standard tropospheric delay (Saastamoinen zenith delay of a\n"
    "standard atmosphere at the receiver's height, Black and Eisner mapping function).\n"
    "There is no ionospheric correction: the receiver's records carry no ionospheric model, so\n"
    "the ionosphere's delay (metres to tens of metres, mostly in height) stays in the positions.\n"
    "\n"
    "  --mask DEG    elevation mask in degrees (default 15); the first iteration, from the\n"
    "                earth's centre, uses every satellite\n"
    "  --follow      follow FILE while satlog writes it (it may not exist yet) and write each\n"
    "                epoch's row as soon as its PBN entry is whole, until stopped (SIGINT or\n"
    "                SIGTERM: exit status 0). The log is read from its beginning to learn the\n"
    "                ephemerides; rows start with the first new epoch. When the log starts\n"
    "                again (satlog empties it at every start) or a new file takes its name,\n"
    "                standard error says so and the new recording is read from its first byte.\n"
    "  --from-start  with --follow: a row for every epoch of the log, not only the new ones\n"
    "\n"
    "CSV with the header\n"
    "  time_ms,satellites,x,y,z,latitude,longitude,height,clock_bias,pdop,hdop,vdop,rms\n"
    "one row per epoch (a PBN entry that reaches the satellite tables: one with a bad trailer\n"
    "closes no epoch):\n"
    "  time_ms      the epoch time as in the record, ms of the GPS week\n"
    "  satellites   the satellites used in the fix (without a fix: those left to use)\n"
    "  x,y,z        the position, earth-centred earth-fixed, metres (WGS 84)\n"
    "  latitude     WGS-84 geodetic latitude, degrees, north positive\n"
    "  longitude    WGS-84 longitude, degrees, east positive\n"
    "  height       height above the WGS-84 ellipsoid, metres\n"
    "  clock_bias   the receiver clock's offset from GPS time, seconds\n"
    "  pdop,hdop,vdop  dilutions of precision of the satellites used (position, horizontal,\n"
    "               vertical)\n"
    "  rms          root mean square of the range residuals after the fix, metres\n"
    "An epoch without a fix (fewer than four satellites above the mask, no convergence within\n"
    "10 iterations, or a result that is not finite) keeps its row with time_ms and satellites\n"
    "and the other fields empty. Numbers are in the shortest form that reads back exactly.\n"
    "\n"
    "A damaged stretch of the log (an unknown tag, a torn entry) is reported on standard error\n"
    "with its byte offset and skipped; the epochs after it are read.\n"
    "\n"
    "Exit status: 0 the whole log was read; 1 the log is damaged or ends inside an entry (every\n"
    "whole entry outside the damage was read and written); 2 bad usage, a file that cannot be\n"
    "read, or output that could not be written.\n";

namespace {

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
    bool OutputFailed() const { return failed_; }

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
        if (!out_.Flush() && !failed_) {
            failed_ = true;
            follower_->RequestStop();
        }
    }

    OutputBuffer& out_;
    FixOptions options_;
    LogFollower* follower_ = nullptr;
    bool failed_ = false;
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
    const int status = follower.Run();
    if (rows.OutputFailed()) {
        std::fprintf(err, "satlog-dump: cannot write the output: %s\n", std::strerror(errno));
        return 2;
    }
    return status;
}

bool ParseMask(std::string_view text, double& mask) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), mask);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && mask >= -90.0 &&
           mask <= 90.0;
}

}  // namespace

int DumpFix(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err,
            const FixOptions& options) {
    OutputBuffer csv(out, 1 << 16);
    csv.Text(kFixHeader);
    CsvFixes rows(csv, options, name, err);
    const LogWalkEnd end = WalkLogEpochs(in, rows);
    const bool written = csv.Flush();
    if (end.readFailed) {
        std::fprintf(err, "satlog-dump: cannot read %s: %s\n", name.c_str(), end.text.c_str());
        return 2;
    }
    if (!written) {
        std::fprintf(err, "satlog-dump: cannot write the output: %s\n", std::strerror(errno));
        return 2;
    }
    return end.Damaged() ? 1 : 0;
}

int DumpFixMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    FixOptions options;
    std::string name;
    bool follow = false;
    bool fromStart = false;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kFixUsage, out);
            return 0;
        }
        if (arg == "--follow") {
            follow = true;
        } else if (arg == "--from-start") {
            fromStart = true;
        } else if (arg == "--mask") {
            if (k + 1 == argc || !ParseMask(argv[k + 1], options.elevationMaskDeg)) {
                std::fprintf(err,
                             "satlog-dump fix: --mask needs an elevation in degrees "
                             "(-90 to 90)\n");
                return 2;
            }
            ++k;
        } else if (name.empty() && (arg == "-" || !arg.starts_with("-"))) {
            name = arg;
        } else {
            std::fprintf(err, "satlog-dump fix: unexpected argument '%s'\n\n%s", argv[k],
                         kFixUsage);
            return 2;
        }
    }
    if (name.empty()) {
        std::fputs(kFixUsage, err);
        return 2;
    }
    if (fromStart && !follow) {
        std::fprintf(err, "satlog-dump fix: --from-start goes with --follow\n");
        return 2;
    }
    if (follow) {
        if (name == "-") {
            std::fprintf(err,
                         "satlog-dump fix: --follow needs the log's file name: standard input "
                         "cannot be followed\n");
            return 2;
        }
        return FollowFix(name, out, err, options, fromStart);
    }
    CommandLog log;
    if (!log.Open(name, err)) {
        return 2;
    }
    return DumpFix(log.File(), log.ShownName(), out, err, options);
}
