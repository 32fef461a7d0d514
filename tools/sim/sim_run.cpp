#include "tools/sim/sim_run.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gnss/gps_time.hpp"
#include "gnss/leap_seconds.hpp"
#include "records/terminal_text.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/command_handshake.hpp"
#include "tools/sim/distinct_files.hpp"
#include "tools/sim/fault_injector.hpp"
#include "tools/sim/navigation_ephemerides.hpp"
#include "tools/sim/observation_replay.hpp"
#include "tools/sim/raw_log_replay.hpp"
#include "tools/sim/receiver_site.hpp"
#include "tools/sim/scenario.hpp"
#include "tools/sim/sim_line.hpp"
#include "tools/sim/sim_outputs.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The host clock's GPS time of week, in whole seconds (GPS time runs ahead of UTC by the leap
// seconds).
double CurrentGpsSecondsOfWeek() {
    using namespace std::chrono;
    const GpsTime now = FromUtc(floor<seconds>(system_clock::now()));
    return static_cast<double>(floor<seconds>(now.OfWeek()).count());
}

// A tool that has fallen this far behind is not reading: in real time the receiver's bytes are
// then lost on the line, as they would be on a cable nobody listens to, instead of piling up.
constexpr long kUnreadLimit = 16384;
constexpr int kDrainIdleMs = 5000;

std::span<const std::uint8_t> AsBytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

class Run {
  public:
    Run(const SimOptions& options, std::FILE* err)
        : o_(options), err_(err), handshake_(options.silentAfter), faults_(options.faults) {}

    int Execute(std::FILE* out);

  private:
    bool Prepare(std::string& error);
    bool WaitForConfiguration();
    bool ServiceInput(int timeoutMs);
    bool WaitUntil(Clock::time_point deadline);
    bool SendPiece(const WirePiece& piece, const EpochPlan& plan);
    bool NextEpoch(EpochPlan& plan);
    bool Paced() const { return line_ && !o_.fast; }
    bool OutputFailed() const;
    int Stopped();
    int Finish();
    // When the epoch `k` (counted from 0) is due, in seconds after the first one: every second,
    // or at an observation file's own epoch times (for the epoch NextEpoch gave last; the epoch
    // after a restart then follows one interval later).
    double EpochOffset(std::int64_t k) const {
        return observations_ ? observations_->SecondsSinceFirst() : static_cast<double>(k);
    }

    const SimOptions& o_;
    std::FILE* err_;
    CommandHandshake handshake_;
    FaultInjector faults_;
    std::unique_ptr<SimLine> line_;
    BuiltinConstellation builtin_;
    NavigationEphemerides navigation_;
    std::unique_ptr<Scenario> scenario_;
    RawLogReplay replay_;
    bool replaying_ = false;
    std::unique_ptr<ObservationReplay> observations_;
    OutputFile log_;
    OutputFile capture_;
    TruthWriter truth_;
    ToolView toolView_;
    std::vector<TruthRow> computed_;
    Clock::time_point lineFreeAt_{};
    bool warnedBudget_ = false;
    bool warnedNotReading_ = false;
};

bool Run::Prepare(std::string& error) {
    error = SameFileConflict(FilesOf(o_));
    if (!error.empty()) {
        return false;
    }
    const ReceiverSite site = MakeReceiverSite(o_.latitudeDeg, o_.longitudeDeg, o_.heightM);
    if (!o_.replayPath.empty()) {
        replaying_ = true;
        if (!replay_.Open(o_.replayPath, err_, error)) {
            return false;
        }
    } else {
        const EphemerisSource* source = &builtin_;
        // The built-in sky serves any time: by default it starts at the current GPS time, so that
        // a live run's logs, RINEX files and NMEA sentences carry today's date and time.
        double start = CurrentGpsSecondsOfWeek();
        if (!o_.navPath.empty()) {
            if (!navigation_.Load(o_.navPath, error)) {
                return false;
            }
            source = &navigation_;
            start = navigation_.DefaultStart();
            if (o_.ionosphere && !navigation_.Ionosphere()) {
                error = o_.navPath + ": has no ION ALPHA and ION BETA for --ionosphere";
                return false;
            }
        }
        if (!o_.obsPath.empty()) {
            observations_ = ObservationReplay::Load(o_.obsPath, navigation_, o_.snvIntervalSeconds,
                                                    o_.durationSeconds, error);
            if (!observations_) {
                return false;
            }
            // The receiver stands where the file says, unless told otherwise.
            const auto& xyz = observations_->Header().approxPosition;
            const SatellitePosition at =
                o_.positionGiven ? site.ecef : SatellitePosition{xyz[0], xyz[1], xyz[2]};
            std::fprintf(err_, "satlog-sim: %zu epochs of %s, receiver at %.4f %.4f %.4f m\n",
                         observations_->EpochCount(), o_.obsPath.c_str(), at.x, at.y, at.z);
        } else {
            start = o_.startSecondsOfWeek.value_or(start);
            const auto startMs = static_cast<std::int64_t>(std::llround(start * 1000.0));
            const KlobucharParameters* ionosphere =
                o_.ionosphere ? &*navigation_.Ionosphere() : nullptr;
            scenario_ = std::make_unique<Scenario>(*source, site, startMs, o_.snvIntervalSeconds,
                                                   ionosphere);
        }
    }
    // Every output is opened before any is emptied: one that cannot be opened costs no other.
    if ((!o_.logPath.empty() && !log_.Open(o_.logPath, error)) ||
        (!o_.capturePath.empty() && !capture_.Open(o_.capturePath, error)) ||
        (!o_.truthPath.empty() && !truth_.Open(o_.truthPath, error))) {
        return false;
    }
    return (!log_.IsOpen() || log_.Begin(error)) && (!capture_.IsOpen() || capture_.Begin(error)) &&
           (!truth_.File().IsOpen() || truth_.Begin(error));
}

bool Run::OutputFailed() const {
    return log_.Failed() || capture_.Failed() || truth_.File().Failed();
}

// Why the run stopped early: a signal ends it cleanly (status 0, whole entries written), a failed
// write or a failed line with status 1 and the cause.
int Run::Stopped() {
    if (Interrupted()) {
        std::fprintf(err_, "satlog-sim: interrupted\n");
        return Finish();
    }
    for (const OutputFile* f : {&log_, &capture_, &truth_.File()}) {
        if (f->Failed()) {
            std::fprintf(err_, "satlog-sim: %s\n", f->Error().c_str());
            return 1;
        }
    }
    if (line_) {
        std::fprintf(err_, "satlog-sim: %s\n", line_->LastError().c_str());
    }
    return 1;
}

// Closes the outputs; a write that failed on the way out fails the run.
int Run::Finish() {
    std::string error;
    const bool ok = log_.Close(error) && capture_.Close(error) && truth_.File().Close(error);
    if (!ok) {
        std::fprintf(err_, "satlog-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// Reads what the tool sent within `timeoutMs` and answers its commands. False when the line failed.
bool Run::ServiceInput(int timeoutMs) {
    std::uint8_t buffer[256];
    const long n = line_->Read(buffer, sizeof buffer, timeoutMs);
    if (n < 0) {
        return false;
    }
    bool ok = true;
    handshake_.Receive({buffer, static_cast<std::size_t>(n)},
                       [&](const CommandHandshake::Event& e) {
                           // Whatever came over the line is shown, never obeyed by a terminal.
                           std::fprintf(err_, "satlog-sim: command %d: %s%s%s\n", e.number,
                                        EscapeForTerminal(e.command).c_str(),
                                        e.expected ? "" : " (out of sequence)",
                                        e.reply.empty() ? "" : ", answered");
                           if (!e.reply.empty()) {
                               ok = line_->Write(AsBytes(e.reply)) && ok;
                               capture_.Write(AsBytes(e.reply));
                           }
                       });
    return ok;
}

bool Run::WaitForConfiguration() {
    std::fprintf(err_, "satlog-sim: waiting for the tool's commands on %s\n",
                 line_->ToolPath().c_str());
    while (!handshake_.Complete()) {
        if (!ServiceInput(-1)) {
            return false;
        }
    }
    std::fprintf(err_, "satlog-sim: configured; sending records\n");
    return true;
}

bool Run::WaitUntil(Clock::time_point deadline) {
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            return true;
        }
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
        if (!ServiceInput(static_cast<int>(std::min<long long>(ms, 1000)))) {
            return false;
        }
    }
}

bool Run::SendPiece(const WirePiece& piece, const EpochPlan& plan) {
    if (line_) {
        if (Paced()) {
            if (!WaitUntil(lineFreeAt_)) {
                return false;
            }
            // At 19200 bits/s (times --speed) the bytes take this long to cross the line.
            const double seconds = static_cast<double>(piece.bytes.size()) /
                                   (static_cast<double>(kLineBytesPerSecond) * o_.speed);
            lineFreeAt_ =
                std::max(lineFreeAt_, Clock::now()) +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        }
        if (Paced() && line_->Unread() > kUnreadLimit) {
            if (!warnedNotReading_) {
                std::fprintf(err_, "satlog-sim: the tool is not reading %s; records are lost\n",
                             line_->ToolPath().c_str());
                warnedNotReading_ = true;
            }
        } else {
            if (!line_->Write(piece.bytes)) {
                return false;
            }
            capture_.Write(piece.bytes);
        }
        if (piece.pauseAfterMs > 0 &&
            !WaitUntil(Clock::now() + std::chrono::milliseconds(piece.pauseAfterMs))) {
            return false;
        }
    } else {
        capture_.Write(piece.bytes);
    }
    log_.Write(piece.logEntry);
    if (piece.processed != nullptr) {
        computed_.clear();
        toolView_.Processed(*piece.processed, plan, computed_);
        for (const TruthRow& row : computed_) {
            truth_.Write(row);
        }
    }
    return true;
}

bool Run::NextEpoch(EpochPlan& plan) {
    if (replaying_) {
        plan = EpochPlan{};
        return replay_.NextEpoch(plan.records);
    }
    if (observations_) {
        return observations_->NextEpoch(plan);
    }
    plan = scenario_->Next();
    if (plan.measurementBytes > kLineBytesPerSecond && !warnedBudget_) {
        std::fprintf(err_,
                     "satlog-sim: warning: the epoch at %.3f s of week needs %zu bytes, more than "
                     "19200 bits/s carry in a second (%zu); a real line would fall behind\n",
                     plan.timeMs / 1000.0, plan.measurementBytes, kLineBytesPerSecond);
        warnedBudget_ = true;
    }
    return true;
}

int Run::Execute(std::FILE* out) {
    std::string error;
    if (!Prepare(error)) {
        std::fprintf(err_, "satlog-sim: %s\n", error.c_str());
        return 2;
    }
    if (o_.output != SimOptions::Output::OfflineLog) {
        line_ = o_.output == SimOptions::Output::Device
                    ? SimLine::OpenDevice(o_.devicePath, error)
                    : SimLine::OpenPseudoTerminal(o_.linkPath, error);
        if (!line_) {
            std::fprintf(err_, "satlog-sim: %s\n", error.c_str());
            return 1;
        }
        std::fprintf(out, "%s\n", line_->ToolPath().c_str());
        std::fflush(out);
        if (!WaitForConfiguration()) {
            return Stopped();
        }
    }

    // An observation file ends the run itself, --duration included.
    const std::int64_t epochs = o_.durationSeconds && !observations_
                                    ? static_cast<std::int64_t>(std::ceil(*o_.durationSeconds))
                                    : std::numeric_limits<std::int64_t>::max();
    Clock::time_point begin = Clock::now();
    lineFreeAt_ = begin;
    std::vector<WirePiece> pieces;
    EpochPlan plan;
    bool hangUp = false;
    bool inputFailed = false;
    for (std::int64_t k = 0; k < epochs && !hangUp; ++k) {
        if (Interrupted() || OutputFailed()) {
            return Stopped();
        }
        if (!NextEpoch(plan)) {
            if (observations_ && observations_->Failed()) {
                std::fprintf(err_, "satlog-sim: %s\n", observations_->Error().c_str());
                inputFailed = true;
            }
            break;
        }
        if (Paced()) {
            const auto due = begin + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(EpochOffset(k) / o_.speed));
            if (!WaitUntil(due)) {
                return Stopped();
            }
        }
        pieces.clear();
        for (const PlannedRecord& record : plan.records) {
            if (!faults_.Apply(record, pieces)) {
                hangUp = true;
                break;
            }
        }
        for (const WirePiece& piece : pieces) {
            if (!SendPiece(piece, plan)) {
                return Stopped();
            }
        }
        if (line_ && !o_.fast && !ServiceInput(0)) {
            return Stopped();
        }
        if (line_ && !handshake_.Complete()) {
            // The tool started over: the output waits for its four commands again.
            if (!WaitForConfiguration()) {
                return Stopped();
            }
            begin =
                Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(EpochOffset(k + 1) / o_.speed));
        }
    }
    if (line_) {
        line_->Drain(kDrainIdleMs);
        if (hangUp) {
            std::fprintf(err_, "satlog-sim: hanging up after %llu records\n",
                         static_cast<unsigned long long>(faults_.RecordsSent()));
        }
        line_->HangUp();
    }
    if (Interrupted()) {
        return Stopped();
    }
    const int status = Finish();
    return inputFailed && status == 0 ? 2 : status;
}

}  // namespace

int RunSimulator(const SimOptions& options, std::FILE* out, std::FILE* err) {
    InstallInterruptHandlers();
    Run run(options, err);
    return run.Execute(out);
}

int SimMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    const std::span<const char* const> args(argv + 1,
                                            argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    const OptionsResult parsed = ParseSimOptions(args);
    if (!parsed.options) {
        std::fprintf(err, "satlog-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(SimUsage(), out);
        return 0;
    }
    if (parsed.options->version) {
        std::fprintf(out, "satlog-sim %s\n", SATLOG_VERSION);
        return 0;
    }
    return RunSimulator(*parsed.options, out, err);
}
