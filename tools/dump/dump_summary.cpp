// satlog-dump summary: a raw log's quality at a glance.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rawlog/epoch_fix.hpp"
#include "gnss/geodesy.hpp"
#include "gnss/local_frame.hpp"
#include "tools/dump/dump_export_commands.hpp"
#include "tools/dump/log_command_support.hpp"

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
    std::vector<Ecef> fixes;

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
    void Epoch(const LogEpoch& e) override {
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
        const PointFix fix = FixLogEpoch(e);
        if (fix.valid) {
            fixes.push_back(fix.position);
        }
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

void PrintFix(std::FILE* out, const std::vector<Ecef>& fixes, std::size_t epochs) {
    if (fixes.empty()) {
        std::fprintf(out, "fix               none (no epoch has four satellites to fix it)\n");
        return;
    }
    Ecef mean;
    for (const Ecef& f : fixes) {
        mean.x += f.x / static_cast<double>(fixes.size());
        mean.y += f.y / static_cast<double>(fixes.size());
        mean.z += f.z / static_cast<double>(fixes.size());
    }
    const Geodetic g = EcefToGeodetic(mean);
    // Scatter along the local north, east and up of the mean position.
    const LocalFrame local(g);
    double n2 = 0, e2 = 0, u2 = 0;
    for (const Ecef& f : fixes) {
        const Enu d = local.FromEcef(f - mean);
        n2 += d.north * d.north;
        e2 += d.east * d.east;
        u2 += d.up * d.up;
    }
    const double n = static_cast<double>(fixes.size());
    std::fprintf(out, "fix               %zu of %zu epochs; mean %.7f %.7f %.2f m (lat, lon, h)\n",
                 fixes.size(), epochs, g.latitudeDeg, g.longitudeDeg, g.heightM);
    std::fprintf(out, "                  X %.3f Y %.3f Z %.3f m\n", mean.x, mean.y, mean.z);
    std::fprintf(out, "scatter (1 sigma) north %.2f m, east %.2f m, up %.2f m\n", std::sqrt(n2 / n),
                 std::sqrt(e2 / n), std::sqrt(u2 / n));
}

void PrintSummary(std::FILE* out, const LogSummary& s, const std::string& name,
                  const LogWalkEnd& end, const std::optional<ResolvedWeek>& week) {
    std::fprintf(out, "raw log           %s\n", name.c_str());
    std::fprintf(out, "entries           SNV %zu, MPC %zu, PBN %zu\n", s.kinds[0].entries,
                 s.kinds[1].entries, s.kinds[2].entries);
    std::fprintf(out, "bad trailers      SNV %zu, MPC %zu, PBN %zu\n", s.kinds[0].badTrailers,
                 s.kinds[1].badTrailers, s.kinds[2].badTrailers);
    const RawLogDamage& d = end.damage;
    std::fprintf(out,
                 "torn or unknown   %llu damaged stretches read past (%llu bytes skipped, %llu "
                 "began with a torn entry)%s\n",
                 static_cast<unsigned long long>(d.stretches),
                 static_cast<unsigned long long>(d.skippedBytes),
                 static_cast<unsigned long long>(d.tornEntries),
                 d.truncatedEnd ? "; the log ends inside an entry" : "");
    if (s.epochs == 0) {
        std::fprintf(out, "epochs            0\n");
        return;
    }
    if (week) {
        std::fprintf(out, "GPS week          %d of the first epoch, %s\n", week->firstWeek,
                     week->source.c_str());
    }
    std::fprintf(out, "first epoch       %s\n", TimeText(s.first, week).c_str());
    std::fprintf(out, "last epoch        %s\n", TimeText(s.last, week).c_str());
    std::fprintf(out, "epochs            %zu", s.epochs);
    if (s.epochs > 1) {
        const double span = Seconds(s.last - s.first);
        std::fprintf(out, ", interval %.3f s on average", span / static_cast<double>(s.epochs - 1));
    }
    std::fprintf(out, "\n");
    if (s.gaps == 0) {
        std::fprintf(out, "gaps of 5 s+      none\n");
    } else {
        std::fprintf(out, "gaps of 5 s+      %zu; longest %.3f s, after the epoch at %.3f s\n",
                     s.gaps, Seconds(s.longestGap), s.longestGapAfter.SecondsOfWeek());
    }
    std::fprintf(out, "satellites/epoch  min %zu, mean %.2f, max %zu\n", s.minSatellites,
                 static_cast<double>(s.sumSatellites) / static_cast<double>(s.epochs),
                 s.maxSatellites);
    PrintFix(out, s.fixes, s.epochs);
    std::fprintf(out, "satellite  epochs measured  usable  ephemerides\n");
    for (int prn = 0; prn < kSlotCount; ++prn) {
        const auto& p = s.satellites[static_cast<std::size_t>(prn)];
        if (p.measured + p.usable + p.ephemerides > 0) {
            std::fprintf(out, "G%02d        %15zu  %6zu  %11zu\n", prn, p.measured, p.usable,
                         p.ephemerides);
        }
    }
}

}  // namespace

int DumpSummaryMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    std::string file;
    WeekOptions week;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--week" && k + 1 < argc) {
            if (!ParseWeekValue(argv[++k], week)) {
                std::fprintf(err, "satlog-dump summary: --week takes a GPS week 0..9999\n");
                return 2;
            }
        } else if (arg == "--date" && k + 1 < argc) {
            if (!ParseDateValue(argv[++k], week)) {
                std::fprintf(err, "satlog-dump summary: --date takes YYYY-MM-DD\n");
                return 2;
            }
        } else if (file.empty() && (arg == "-" || !arg.starts_with("-"))) {
            file = arg;
        } else {
            std::fprintf(err, "satlog-dump summary: unexpected argument '%s'\n%s", argv[k],
                         kSummaryUsage);
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(err, "satlog-dump summary: no raw log named\n%s", kSummaryUsage);
        return 2;
    }
    CommandLog log;
    if (!log.Open(file, err)) {
        return 2;
    }
    LogSummary summary;
    const LogWalkEnd end = WalkLogReportingDamage(log, summary, err);
    const int status = WalkEndStatus(end, log.ShownName(), err);
    if (status == 2) {
        return 2;
    }
    std::optional<ResolvedWeek> resolved;
    if (summary.epochs > 0) {
        std::string problem;
        resolved = ResolveFirstWeek(week, log, summary.first, summary.last, problem);
        if (!resolved && (week.week || week.date)) {
            std::fprintf(err, "satlog-dump: %s: %s\n", log.ShownName().c_str(), problem.c_str());
            return 2;
        }
    }
    PrintSummary(out, summary, log.ShownName(), end, resolved);
    if (std::fflush(out) != 0) {
        std::fprintf(err, "satlog-dump: cannot write the summary\n");
        return 2;
    }
    return status;
}
