#include "tools/dump/log_command_support.hpp"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gnss/leap_seconds.hpp"
#include "records/terminal_text.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

CommandLog::~CommandLog() {
    if (file_ != nullptr && file_ != stdin) {
        std::fclose(file_);
    }
}

std::string CommandLog::ShownName() const {
    return IsStandardInput() ? "standard input" : EscapeForTerminal(name_);
}

bool CommandLog::Open(const std::string& name, std::FILE* err) {
    name_ = name;
    if (name == "-") {
#ifdef _WIN32
        // A raw log is binary: text mode would turn CR LF into LF and stop at the first 0x1A.
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file_ = stdin;
        return true;
    }
    file_ = std::fopen(name.c_str(), "rb");
    if (file_ == nullptr) {
        std::fprintf(err, "satlog-dump: cannot open %s: %s\n", ShownName().c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

void ReportLogDamage(const LogDamage& damage, const std::string& shownName, std::FILE* err) {
    std::fprintf(err, "satlog-dump: %s: byte offset %llu: %s\n", shownName.c_str(),
                 static_cast<unsigned long long>(damage.offset), damage.text.c_str());
    if (damage.status == RawLogFramer::Status::Damaged) {
        std::fprintf(err,
                     "satlog-dump: %s: skipped %llu bytes from byte offset %llu; reading on at "
                     "byte offset %llu\n",
                     shownName.c_str(), static_cast<unsigned long long>(damage.skippedBytes),
                     static_cast<unsigned long long>(damage.offset),
                     static_cast<unsigned long long>(damage.resumeOffset));
    }
}

void ReportTimeOutlier(const LogTimeOutlier& o, const std::string& shownName, std::FILE* err) {
    char before[64] = "";
    if (o.lastInSequenceMs) {
        std::snprintf(before, sizeof before, "; the epoch before it is at %.3f s",
                      *o.lastInSequenceMs / 1000.0);
    }
    std::fprintf(err,
                 "satlog-dump: %s: byte offset %llu: epoch time %.3f s of the GPS week is out of "
                 "sequence with the epochs around it (a corrupt time)%s: epoch left out\n",
                 shownName.c_str(), static_cast<unsigned long long>(o.offset), o.timeMs / 1000.0,
                 before);
}

namespace {

// How far after its file time a log's last epoch may lie and still be dated in the file time's
// week.
constexpr GpsDuration kFileTimeSlack = std::chrono::days{1};

// Passes everything on to the command's own visitor and names each damaged stretch and each
// epoch left out for its time.
class DamageReporter : public LogEpochVisitor {
  public:
    DamageReporter(LogEpochVisitor& inner, std::string name, std::FILE* err)
        : inner_(inner), name_(std::move(name)), err_(err) {}
    void Entry(const LogEntry& e) override { inner_.Entry(e); }
    void Ephemeris(const LogEphemeris& e) override { inner_.Ephemeris(e); }
    void Epoch(const LogEpoch& e) override { inner_.Epoch(e); }
    void Damage(const LogDamage& d) override {
        ReportLogDamage(d, name_, err_);
        inner_.Damage(d);
    }
    void TimeOutlier(const LogTimeOutlier& o) override {
        ReportTimeOutlier(o, name_, err_);
        inner_.TimeOutlier(o);
    }
    bool Done() const override { return inner_.Done(); }

  private:
    LogEpochVisitor& inner_;
    std::string name_;
    std::FILE* err_;
};

}  // namespace

LogWalkEnd WalkLogReportingDamage(const CommandLog& log, LogEpochVisitor& visitor, std::FILE* err) {
    DamageReporter reporter(visitor, log.ShownName(), err);
    return WalkLogEpochs(log.File(), reporter);
}

int WalkEndStatus(const LogWalkEnd& end, const std::string& shownName, std::FILE* err) {
    if (end.readFailed) {
        std::fprintf(err, "satlog-dump: cannot read %s: %s\n", shownName.c_str(), end.text.c_str());
        return 2;
    }
    return end.Damaged() ? 1 : 0;
}

std::string FormatGpsDateTime(GpsTime time) {
    const CalendarTime t = time.Calendar();
    const std::int64_t ms = t.secondTicks / (kTicksPerSecond / 1000);  // truncated, not rounded
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02lld.%03lld", t.year, t.month,
                  t.day, t.hour, t.minute, static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

std::optional<ResolvedWeek> ResolveFirstWeek(const WeekOptions& options, const CommandLog& log,
                                             GpsTime first, GpsTime last, std::string& problem) {
    if (options.week) {
        return ResolvedWeek{*options.week, "given by --week", "--week"};
    }
    if (options.date) {
        const GpsTime date = *options.date;
        const auto dayOfWeek = std::chrono::floor<std::chrono::days>(date.OfWeek()).count();
        const auto epochDay = std::chrono::floor<std::chrono::days>(first.OfWeek()).count();
        if (epochDay != dayOfWeek) {
            const CalendarTime d = date.Calendar();
            char text[160];
            std::snprintf(text, sizeof text,
                          "the first epoch (%.3f s of the GPS week, day %lld of the week) does not "
                          "fall on %04d-%02d-%02d (day %lld)",
                          first.SecondsOfWeek(), static_cast<long long>(epochDay), d.year, d.month,
                          d.day, static_cast<long long>(dayOfWeek));
            problem = text;
            return std::nullopt;
        }
        return ResolvedWeek{date.Week() - first.Week(), "from --date", "--date"};
    }
    if (log.IsStandardInput()) {
        problem =
            "a log on standard input has no file time to infer the GPS week from: give "
            "--week or --date";
        return std::nullopt;
    }
    std::error_code ec;
    const auto fileTime = std::filesystem::last_write_time(log.Name(), ec);
    if (ec) {
        problem = "cannot read the modification time of " + log.ShownName() + ": " + ec.message() +
                  "; give --week or --date";
        return std::nullopt;
    }
    const auto systemTime = std::chrono::file_clock::to_sys(fileTime);
    const GpsTime written = FromUtc(std::chrono::floor<std::chrono::seconds>(systemTime));
    // The last epoch may lie after the file time: a host clock behind the receiver's, a log
    // simulated faster than real time, a copy whose time is that of the copy's start. A day of
    // slack keeps those in the right week and still dates any log written within the six days
    // before its file time.
    const int lastWeek = LatestWithTimeOfWeek(written + kFileTimeSlack, last.OfWeek()).Week();
    return ResolvedWeek{lastWeek - last.Week(),
                        "inferred from the modification time of " + log.ShownName() +
                            " (the last epoch is the latest before a day after it; give --week "
                            "or --date if that is wrong)",
                        "the file time"};
}
