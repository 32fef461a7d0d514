// satlog-dump summary: a raw log's quality at a glance.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "gnss/geodesy.hpp"
#include "gnss/local_frame.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/median_fix.hpp"
#include "tools/dump/navigation_option.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

constexpr GpsDuration kGap = std::chrono::seconds(5);

class LogSummary : public LogEpochVisitor {
  public:
    struct PerKind {
        std::size_t entries = 0;
        std::size_t badTrailers = 0;
    };
    struct PerSatellite {
        std::size_t measured = 0;  // MPC entries with a good trailer
        std::size_t usable = 0;    // computed at an epoch: usable status and an ephemeris
        std::size_t ephemerides = 0;
    };

    std::array<PerKind, 3> kinds{};  // SNV, MPC, PBN
    std::array<PerSatellite, kSlotCount> satellites{};
    std::size_t epochs = 0;
    GpsTime first, last;  // in the log's weeks
    std::size_t gaps = 0;
    GpsDuration longestGap{};
    GpsTime longestGapAfter;
    std::size_t minSatellites = std::numeric_limits<std::size_t>::max(), maxSatellites = 0;
    std::size_t sumSatellites = 0;
    MedianFix fixes;  // of every epoch

    explicit LogSummary(EpochFixer fixer) : fixes(0, fixer) {}

    void Entry(const LogEntry& e) override {
        const auto k = static_cast<std::size_t>(e.kind->kind);
        if (k < kinds.size()) {
            ++kinds[k].entries;
            kinds[k].badTrailers += e.trailerGood ? 0 : 1;
        }
        if (e.kind->kind == RecordKind::Measurement && e.trailerGood && Names(e.slot)) {
            ++satellites[static_cast<std::size_t>(e.slot)].measured;
        }
    }
    void Ephemeris(const LogEphemeris& e) override {
        if (e.trailerGood && Names(e.slot)) {
            ++satellites[static_cast<std::size_t>(e.slot)].ephemerides;
        }
    }
    // The epochs in sequence describe the log; one not later than the one before is counted.
    void Epoch(const LogEpoch& e) override {
        if (!e.inSequence) {
            return;
        }
        if (epochs == 0) {
            first = e.time;
        } else if (e.time - last >= kGap) {
            ++gaps;
            if (e.time - last > longestGap) {
                longestGap = e.time - last;
                longestGapAfter = last;
            }
        }
        last = e.time;
        ++epochs;
        const std::size_t n = e.measurements.size();
        minSatellites = std::min(minSatellites, n);
        maxSatellites = std::max(maxSatellites, n);
        sumSatellites += n;
        for (const EpochMeasurement& m : e.measurements) {
            if (Names(m.prn)) {
                ++satellites[static_cast<std::size_t>(m.prn)].usable;
            }
        }
        fixes.Add(e);
    }

  private:
    static bool Names(int slot) { return slot >= 0 && slot < kSlotCount; }
};

// `time` in the log's weeks.
std::string TimeText(GpsTime time, const std::optional<ResolvedWeek>& week) {
    char text[96];
    std::snprintf(text, sizeof text, "%.3f s of the GPS week", time.SecondsOfWeek());
    std::string out = text;
    if (week) {
        const GpsTime full = time + kGpsWeek * week->firstWeek;
        std::snprintf(text, sizeof text, " (week %d, ", full.Week());
        out += text + FormatGpsDateTime(full) + " GPS)";
    }
    return out;
}

void PrintFix(OutputBuffer& out, const MedianFix& medianFix, std::size_t epochs) {
    const std::optional<Ecef> median = medianFix.Median();
    const std::vector<Ecef>& fixes = medianFix.Fixes();
    if (!median) {
        out.Printf("fix               none (no epoch has four satellites to fix it)\n");
        return;
    }
    // The median, which a few bad epochs do not pull away, and the scatter (root mean square)
    // about it along its local north, east and up.
    const Geodetic g = EcefToGeodetic(*median);
    const LocalFrame local(g);
    double n2 = 0, e2 = 0, u2 = 0;
    for (const Ecef& f : fixes) {
        const Enu d = local.FromEcef(f - *median);
        n2 += d.north * d.north;
        e2 += d.east * d.east;
        u2 += d.up * d.up;
    }
    const double n = static_cast<double>(fixes.size());
    out.Printf("fix               %zu of %zu epochs; median %.7f %.7f %.2f m (lat, lon, h)\n",
               fixes.size(), epochs, g.latitudeDeg, g.longitudeDeg, g.heightM);
    out.Printf("                  X %.3f Y %.3f Z %.3f m\n", median->x, median->y, median->z);
    out.Printf("scatter (rms)     north %.2f m, east %.2f m, up %.2f m\n", std::sqrt(n2 / n),
               std::sqrt(e2 / n), std::sqrt(u2 / n));
}

void PrintSummary(OutputBuffer& out, const LogSummary& s, const std::string& name,
                  const LogWalkEnd& end, const std::optional<ResolvedWeek>& week) {
    out.Printf("raw log           %s\n", name.c_str());
    out.Printf("entries           SNV %zu, MPC %zu, PBN %zu\n", s.kinds[0].entries,
               s.kinds[1].entries, s.kinds[2].entries);
    out.Printf("bad trailers      SNV %zu, MPC %zu, PBN %zu\n", s.kinds[0].badTrailers,
               s.kinds[1].badTrailers, s.kinds[2].badTrailers);
    const RawLogDamage& d = end.damage;
    out.Printf(
        "torn or unknown   %llu damaged stretches read past (%llu bytes skipped, %llu "
        "began with a torn entry)%s\n",
        static_cast<unsigned long long>(d.stretches),
        static_cast<unsigned long long>(d.skippedBytes),
        static_cast<unsigned long long>(d.tornEntries),
        d.truncatedEnd ? "; the log ends inside an entry" : "");
    if (s.epochs == 0) {
        out.Printf("epochs            0\n");
        return;
    }
    if (week) {
        out.Printf("GPS week          %d of the first epoch, %s\n", week->firstWeek,
                   week->source.c_str());
    }
    out.Printf("first epoch       %s\n", TimeText(s.first, week).c_str());
    out.Printf("last epoch        %s\n", TimeText(s.last, week).c_str());
    out.Printf("epochs            %zu", s.epochs);
    if (s.epochs > 1) {
        const double span = Seconds(s.last - s.first);
        out.Printf(", interval %.3f s on average", span / static_cast<double>(s.epochs - 1));
    }
    out.Printf("\n");
    const LogEpochTimes& t = end.times;
    if (t.outliers + t.outOfOrder == 0) {
        out.Printf("out of order      none\n");
    } else {
        out.Printf(
            "out of order      %llu epochs with a time out of sequence left out (byte offsets "
            "on standard error), %llu not later than the epoch before\n",
            static_cast<unsigned long long>(t.outliers),
            static_cast<unsigned long long>(t.outOfOrder));
    }
    if (s.gaps == 0) {
        out.Printf("gaps of 5 s+      none\n");
    } else {
        out.Printf("gaps of 5 s+      %zu; longest %.3f s, after the epoch at %.3f s\n", s.gaps,
                   Seconds(s.longestGap), s.longestGapAfter.SecondsOfWeek());
    }
    out.Printf("satellites/epoch  min %zu, mean %.2f, max %zu\n", s.minSatellites,
               static_cast<double>(s.sumSatellites) / static_cast<double>(s.epochs),
               s.maxSatellites);
    PrintFix(out, s.fixes, s.epochs);
    out.Printf("satellite  epochs measured  usable  ephemerides\n");
    for (int prn = 0; prn < kSlotCount; ++prn) {
        const auto& p = s.satellites[static_cast<std::size_t>(prn)];
        if (p.measured + p.usable + p.ephemerides > 0) {
            out.Printf("G%02d        %15zu  %6zu  %11zu\n", prn, p.measured, p.usable,
                       p.ephemerides);
        }
    }
}

constexpr const char* kSummaryHelp =
    "The log's quality at a glance, one item a line:\n"
    "  raw log           the file's name\n"
    "  entries           entries of each kind (SNV ephemerides, MPC measurements, PBN\n"
    "                    epoch times)\n"
    "  bad trailers      entries of each kind whose body does not end in CR LF\n"
    "                    (logged, never used)\n"
    "  torn or unknown   the damaged stretches the reader skipped: how many, the\n"
    "                    bytes in them, how many began with a torn entry, and\n"
    "                    whether the log ends inside an entry\n"
    "  GPS week          the week of the first epoch and where it came from\n"
    "  first/last epoch  s of the GPS week, with the date and time (GPS) when the\n"
    "                    week is given or can be inferred from FILE's modification\n"
    "                    time\n"
    "  epochs            how many in sequence, and the mean interval between them\n"
    "  out of order      epochs left out because their time is out of sequence with\n"
    "                    the epochs around them (a corrupt time: far ahead of them,\n"
    "                    or back by more than half a week while the times after it\n"
    "                    go on as before; each named on standard error with its byte\n"
    "                    offset, exit status 1), and epochs not later than the one\n"
    "                    before (a repeated epoch, two recordings one after the other)\n"
    "  gaps of 5 s+      spacings of 5 s or more between epochs, and the longest\n"
    "  satellites/epoch  the fewest, mean and most satellites computed at an epoch\n"
    "  fix               epochs with a fix, the median of their positions, which a\n"
    "                    few bad epochs do not pull away (latitude, longitude,\n"
    "                    degrees; height above the WGS-84 ellipsoid, m; X Y Z, m)\n"
    "  scatter           root mean square of the fixes about the median, north, east\n"
    "                    and up, m\n"
    "                    (the fixes of satlog-dump fix: with --nav the broadcast\n"
    "                    ionospheric correction, without it none)\n"
    "then per satellite: the MPC entries measured, the epochs it was usable at (a\n"
    "usable status and an ephemeris) and the ephemerides received.\n";

struct SummaryOptions {
    std::string file;
    WeekOptions week;
    NavigationOption navigation;
};

int RunSummary(SummaryOptions& options, const CommandStreams& io) {
    if (!options.navigation.Load(io.err)) {
        return kExitFailed;
    }
    CommandLog log;
    if (!log.Open(options.file, io.err)) {
        return kExitFailed;
    }
    LogSummary summary(options.navigation.Fixer());
    const LogWalkEnd end = WalkLogReportingDamage(log, summary, io.err);
    const int status = WalkEndStatus(end, log.ShownName(), io.err);
    if (status == kExitFailed) {
        return kExitFailed;
    }
    std::optional<ResolvedWeek> resolved;
    if (summary.epochs > 0) {
        std::string problem;
        resolved = ResolveFirstWeek(options.week, log, summary.first, summary.last, problem);
        if (!resolved && (options.week.week || options.week.date)) {
            std::fprintf(io.err, "satlog-dump: %s: %s\n", log.ShownName().c_str(), problem.c_str());
            return kExitFailed;
        }
    }
    OutputBuffer out(io.out);
    PrintSummary(out, summary, log.ShownName(), end, resolved);
    return FinishOutput(out, io.err, status);
}

CommandRun DefineSummary(CLI::App& command) {
    auto options = std::make_shared<SummaryOptions>();
    AddLogFileArgument(command, options->file);
    AddWeekOptions(command, options->week);
    AddNavigationOption(command, options->navigation.path);
    command.footer(kSummaryHelp);
    return [options](const CommandStreams& io) { return RunSummary(*options, io); };
}

}  // namespace

const DumpCommand kSummaryCommand{"summary", "the log's quality at a glance", DefineSummary};
