#include "tools/dump/log_follower.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <utility>

#include "tools/dump/log_command_support.hpp"

namespace {

std::atomic<LogFollower*> signalledFollower{nullptr};

void StopFollowerOnSignal(int) {
    if (LogFollower* follower = signalledFollower.load()) {
        follower->RequestStop();
    }
}

}  // namespace

// Between the walk and the command's visitor: keeps the log's past (what was whole when the
// follower started) from the command, and names every damaged stretch and every epoch left out for
// its time on the error stream.
class LogFollower::Gate : public LogEpochVisitor {
  public:
    Gate(LogFollowVisitor& inner, const std::string& name, std::FILE* err)
        : inner_(inner), name_(name), err_(err) {}

    std::uint64_t pastEnd = 0;  // entries that end at or before this byte offset are the past

    void Entry(const LogEntry& e) override {
        if (IsNew(e.offset, *e.kind)) {
            inner_.Entry(e);
        }
    }
    void Ephemeris(const LogEphemeris& e) override {
        if (IsNew(e.offset, kSnvLayout)) {
            inner_.Ephemeris(e);
        }
    }
    void Epoch(const LogEpoch& e) override {
        if (IsNew(e.offset, kPbnLayout)) {
            inner_.Epoch(e);
        }
    }
    void Damage(const LogDamage& d) override {
        ReportLogDamage(d, name_, err_);
        std::fflush(err_);
        inner_.Damage(d);
    }
    // An epoch left out for its time is damage: named wherever it lies, as a damaged stretch is.
    void TimeOutlier(const LogTimeOutlier& o) override {
        ReportTimeOutlier(o, name_, err_);
        std::fflush(err_);
        if (IsNew(o.offset, kPbnLayout)) {
            inner_.TimeOutlier(o);
        }
    }
    void Restart(const LogRestart& r) { inner_.Restart(r); }
    void CaughtUp() { inner_.CaughtUp(); }

  private:
    bool IsNew(std::uint64_t offset, const RecordKindLayout& kind) const {
        return offset + framing::kTagLength + kind.bodyLength > pastEnd;
    }

    LogFollowVisitor& inner_;
    const std::string& name_;
    std::FILE* err_;
};

LogFollower::LogFollower(std::string path, LogFollowVisitor& visitor, std::FILE* err,
                         FollowOptions options)
    : path_(std::move(path)),
      err_(err),
      options_(options),
      gate_(std::make_unique<Gate>(visitor, path_, err)),
      walk_(*gate_) {}

LogFollower::~LogFollower() {
    LogFollower* self = this;
    signalledFollower.compare_exchange_strong(self, nullptr);
}

void LogFollower::Say(const std::string& text) {
    std::fprintf(err_, "satlog-dump: %s: %s\n", path_.c_str(), text.c_str());
    std::fflush(err_);
}

void LogFollower::StartAgain(LogRestart::Cause cause, const std::string& why) {
    const std::uint64_t readBefore = walk_.Framer().Fed();
    walk_.Restart();
    tailLength_ = 0;
    gate_->pastEnd = 0;  // every epoch of a new recording is new
    const std::string text = "the log started again (" + why + "); reading it from its beginning";
    Say(text);
    gate_->Restart({cause, readBefore, text});
}

LogFollower::Step LogFollower::OpenLog(bool first) {
    switch (file_.Open(path_, error_)) {
        case FollowedFile::Opened::Missing:
            if (!saidMissing_) {
                Say("no such file yet; waiting for it to be created");
                saidMissing_ = true;
            }
            wait_.Watch(path_);  // its directory, for the name to appear
            return Step::Wait;
        case FollowedFile::Opened::Failed:
            std::fprintf(err_, "satlog-dump: cannot follow %s: %s\n", path_.c_str(),
                         error_.c_str());
            return Step::Fail;
        case FollowedFile::Opened::Yes:
            break;
    }
    // Watched before the first read, so that no write after that read goes unnoticed.
    wait_.Watch(path_);
    saidMissing_ = false;
    if (first) {
        std::uint64_t size = 0;
        if (!options_.fromStart && file_.Size(size, error_)) {
            gate_->pastEnd = size;
        }
    } else if (walk_.Framer().Fed() > 0) {
        StartAgain(LogRestart::Cause::Replaced, "a new file under its name");
    } else {
        gate_->pastEnd = 0;  // a file that appeared after the start is new from its first byte
    }
    return Step::Read;
}

// Whether the file still holds, where reading stopped, the bytes that were read: if not, the log
// started again, or the writer took back the partial entry that was pending.
void LogFollower::CheckContinuity(std::uint64_t size) {
    RawLogFramer& framer = walk_.Framer();
    const std::uint64_t decided = framer.Offset();
    const std::uint64_t fed = framer.Fed();
    if (size < decided) {
        StartAgain(LogRestart::Cause::Emptied, "it holds " + std::to_string(size) +
                                                   " bytes where " + std::to_string(fed) +
                                                   " had been read");
        return;
    }
    const std::uint64_t from = fed - tailLength_;
    const std::uint64_t upto = std::min(size, fed);
    std::array<std::uint8_t, std::tuple_size_v<decltype(tail_)>> held{};
    std::uint64_t differsAt = upto;
    if (upto > from) {
        const std::int64_t got = file_.ReadAt(
            from, std::span(held).first(static_cast<std::size_t>(upto - from)), error_);
        if (got < 0) {
            return;  // the read that follows fails the same way and says so
        }
        const auto compared = static_cast<std::size_t>(got);
        const auto mismatch = std::mismatch(held.begin(), held.begin() + compared, tail_.begin());
        differsAt = from + static_cast<std::uint64_t>(mismatch.first - held.begin());
    }
    if (differsAt < decided) {
        StartAgain(LogRestart::Cause::Rewritten,
                   "its bytes before byte offset " + std::to_string(fed) + " changed");
        return;
    }
    if (differsAt < fed) {
        // Only the pending bytes are gone or changed: a failed write was cut back.
        Say("the writer took back the partial entry at byte offset " + std::to_string(decided) +
            "; reading on from there");
        tailLength_ -= std::min(tailLength_, static_cast<std::size_t>(fed - decided));
        framer.DropPending();
    }
}

LogFollower::Step LogFollower::ReadNewBytes(bool& grew) {
    std::uint64_t size = 0;
    if (!file_.Size(size, error_)) {
        std::fprintf(err_, "satlog-dump: cannot read %s: %s\n", path_.c_str(), error_.c_str());
        return Step::Fail;
    }
    CheckContinuity(size);
    RawLogFramer& framer = walk_.Framer();
    while (!wait_.StopRequested()) {
        const std::span<std::uint8_t> space = framer.FreeSpace();
        const std::int64_t got = file_.ReadAt(framer.Fed(), space, error_);
        if (got < 0) {
            std::fprintf(err_, "satlog-dump: cannot read %s: %s\n", path_.c_str(), error_.c_str());
            return Step::Fail;
        }
        if (got == 0) {
            break;
        }
        const auto count = static_cast<std::size_t>(got);
        // The last bytes read, for the next look's continuity check.
        const std::size_t keep = std::min(count, tail_.size());
        const std::size_t old = std::min(tailLength_, tail_.size() - keep);
        std::memmove(tail_.data(), tail_.data() + tailLength_ - old, old);
        std::memcpy(tail_.data() + old, space.data() + count - keep, keep);
        tailLength_ = old + keep;
        framer.Commit(count);
        walk_.Drain();
        grew = true;
    }
    return Step::Wait;
}

LogFollower::Step LogFollower::Look(bool& grew) {
    if (file_.IsOpen()) {
        const FollowedFile::Name name = file_.CheckName(path_);
        if (name != FollowedFile::Name::Same) {
            // What the old file still holds comes first, as with tail -F.
            if (ReadNewBytes(grew) == Step::Fail) {
                return Step::Fail;
            }
            file_.Close();
            if (name == FollowedFile::Name::Missing) {
                Say("the log was removed or renamed; waiting for a new file under its name");
                saidMissing_ = true;
            }
        }
    }
    if (!file_.IsOpen()) {
        const Step opened = OpenLog(false);
        if (opened != Step::Read) {
            return opened;
        }
    }
    return ReadNewBytes(grew);
}

int LogFollower::Run() {
    using Clock = std::chrono::steady_clock;
    bool grew = false;
    Step step = OpenLog(true);
    if (step == Step::Read) {
        step = ReadNewBytes(grew);
    }
    if (step != Step::Fail) {
        gate_->CaughtUp();
    }
    Clock::time_point lastGrowth = Clock::now();
    bool idle = false;
    while (step != Step::Fail) {
        std::chrono::milliseconds timeout = options_.lookAtLeastEvery;
        if (!idle) {
            const auto quiet =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastGrowth);
            timeout = std::max(std::chrono::milliseconds(0), options_.idleFlush - quiet);
        }
        if (wait_.Wait(timeout) == LogChangeWait::Woken::Stop) {
            return 0;
        }
        grew = false;
        step = Look(grew);
        if (grew) {
            lastGrowth = Clock::now();
            idle = false;
        } else if (!idle && Clock::now() - lastGrowth >= options_.idleFlush) {
            walk_.Flush();
            idle = true;
        }
    }
    return wait_.StopRequested() ? 0 : 2;
}

void StopFollowerOnSignals(LogFollower& follower) {
    signalledFollower.store(&follower);
    std::signal(SIGINT, StopFollowerOnSignal);
    std::signal(SIGTERM, StopFollowerOnSignal);
}
