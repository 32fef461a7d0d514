// satlog-dump skyplot: every measured satellite's track across the sky of the log, as SVG.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "formats/svg/sky_plot_svg.hpp"
#include "gnss/geodesy.hpp"
#include "positioning/point_fix.hpp"
#include "records/terminal_text.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/median_fix.hpp"
#include "tools/dump/navigation_option.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"
#include "tools/dump/whole_file.hpp"

namespace {

// A satellite unseen for longer than this starts a new stretch of its track.
constexpr GpsDuration kTrackBreak = std::chrono::minutes(5);
// Points closer than this to the last one drawn add nothing to the picture.
constexpr double kMinStepDeg = 0.25;

struct SatelliteSample {
    GpsTime time;  // in the log's weeks
    int prn;
    Ecef position;
};

class SkyCollector : public LogEpochVisitor {
  public:
    // `fixes` nothing: the place to look from is given. `navigation` (may be null): the --nav
    // file, whose ephemerides draw the satellites the log has none for yet.
    SkyCollector(MedianFix* fixes, const NavigationData* navigation)
        : fixes_(fixes), navigation_(navigation) {}
    std::vector<SatelliteSample> samples;

    void Epoch(const LogEpoch& e) override {
        if (!e.inSequence) {
            return;  // a repeated or earlier epoch would break the tracks
        }
        auto sample = [&](int prn, const Ecef& p) {
            if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
                samples.push_back({e.time, prn, p});
            }
        };
        for (const EpochMeasurement& m : e.measurements) {
            sample(m.prn, m.position);
        }
        if (navigation_ != nullptr) {
            for (const MeasuredSatellite& m : e.measured) {
                if (m.computed) {
                    continue;
                }
                if (const auto s = SolveFromNavigation(navigation_->ephemerides, e, m)) {
                    sample(m.prn, s->position);
                }
            }
        }
        if (fixes_ != nullptr) {
            fixes_->Add(e);
        }
    }

  private:
    MedianFix* fixes_;
    const NavigationData* navigation_;
};

std::vector<SkyTrack> BuildTracks(std::vector<SatelliteSample>& samples, const Ecef& receiver) {
    std::stable_sort(
        samples.begin(), samples.end(),
        [](const SatelliteSample& a, const SatelliteSample& b) { return a.prn < b.prn; });
    const Geodetic where = EcefToGeodetic(receiver);
    std::vector<SkyTrack> tracks;
    GpsTime lastTime;
    for (const SatelliteSample& s : samples) {
        const LookAngles look = ComputeLookAngles(receiver, where, s.position);
        if (!(look.elevationDeg >= 0.0)) {
            continue;
        }
        const SkyPoint point{look.azimuthDeg, look.elevationDeg};
        if (tracks.empty() || tracks.back().prn != s.prn) {
            tracks.push_back({s.prn, {{point}}});
        } else if (s.time - lastTime > kTrackBreak) {
            tracks.back().segments.push_back({point});
        } else {
            // The newest point is always kept as the track's end; the one before it stays only
            // when it had moved visibly from the point kept before it.
            auto& segment = tracks.back().segments.back();
            if (segment.size() >= 2) {
                const SkyPixel a = SkyPlotPixel(segment[segment.size() - 2]);
                const SkyPixel b = SkyPlotPixel(segment.back());
                if (std::hypot(a.x - b.x, a.y - b.y) < kMinStepDeg * kSkyPlotSize / 180.0) {
                    segment.back() = point;
                } else {
                    segment.push_back(point);
                }
            } else {
                segment.push_back(point);
            }
        }
        lastTime = s.time;
    }
    return tracks;
}

constexpr const char* kSkyplotHelp =
    "A polar plot of every satellite's track over the log as SVG, seen from the log's\n"
    "median fix or from --position: north up, azimuth clockwise, rings every 15\n"
    "degrees, the 15 degree elevation mask dashed, each track labelled with its PRN\n"
    "at its last point; a satellite unseen for 5 minutes starts a new stretch of its\n"
    "track. The caption names the place it is seen from. Prints the output's path\n"
    "(nothing with -o -). The picture appears whole or not at all; an existing output\n"
    "must be a regular file (a link to one replaces the file it names): a device, a\n"
    "pipe or a directory is never written over. With --nav the median fix has the\n"
    "broadcast ionospheric correction, and the satellites measured before the log\n"
    "brought their ephemeris are drawn from the file's.\n";

struct SkyplotOptions {
    std::string file;
    std::string output;
    std::optional<Geodetic> position;
    NavigationOption navigation;
};

// The place the plot is seen from, and in `seenFrom` how it was found; nothing when the log has
// no fix to look from.
std::optional<Ecef> Viewpoint(const SkyplotOptions& options, const MedianFix& fixes,
                              std::string& seenFrom) {
    if (options.position) {
        seenFrom = "the given position";
        return GeodeticToEcef(*options.position);
    }
    const std::optional<Ecef> median = fixes.Median();
    if (median) {
        seenFrom = "the median fix of " + std::to_string(fixes.Fixes().size()) + " epochs";
    }
    return median;
}

std::string FormatPlot(std::vector<SatelliteSample>& samples, const Ecef& receiver,
                       const std::string& seenFrom) {
    const std::vector<SkyTrack> tracks = BuildTracks(samples, receiver);
    const Geodetic g = EcefToGeodetic(receiver);
    char caption[200];
    std::snprintf(caption, sizeof caption, "%d satellites seen from %.5f, %.5f, %.1f m (%s)",
                  static_cast<int>(tracks.size()), g.latitudeDeg, g.longitudeDeg, g.heightM,
                  seenFrom.c_str());
    SkyPlotOptions plot;
    plot.maskDeg = FixOptions{}.elevationMaskDeg;
    plot.caption = caption;
    return FormatSkyPlotSvg(tracks, plot);
}

int RunSkyplot(SkyplotOptions& options, const CommandStreams& io) {
    if (!options.navigation.Load(io.err)) {
        return kExitFailed;
    }
    const bool toStandardOutput = options.output == "-";
    if (!toStandardOutput && options.file != "-" &&
        NamesTheSameFile(options.output, options.file)) {
        std::fprintf(io.err, "satlog-dump: %s is the raw log being plotted: not written over\n",
                     EscapeForTerminal(options.output).c_str());
        return kExitFailed;
    }
    CommandLog log;
    if (!log.Open(options.file, io.err)) {
        return kExitFailed;
    }
    MedianFix fixes(0, options.navigation.Fixer());
    SkyCollector collector(options.position ? nullptr : &fixes, options.navigation.Data());
    const LogWalkEnd end = WalkLogReportingDamage(log, collector, io.err);
    const int status = WalkEndStatus(end, log.ShownName(), io.err);
    if (status == kExitFailed) {
        return kExitFailed;
    }
    std::string seenFrom;
    const std::optional<Ecef> receiver = Viewpoint(options, fixes, seenFrom);
    if (!receiver) {
        std::fprintf(io.err,
                     "satlog-dump: %s: no epoch has a fix to look from: give --position "
                     "LAT,LON,H\n",
                     log.ShownName().c_str());
        return kExitPartial;
    }
    std::string svg = FormatPlot(collector.samples, *receiver, seenFrom);
    OutputBuffer out(io.out);
    if (toStandardOutput) {
        out.Text(svg);
        return FinishOutput(out, io.err, status);
    }
    std::string problem;
    if (!WriteWholeFile(options.output, std::move(svg), problem)) {
        std::fprintf(io.err, "satlog-dump: %s\n", problem.c_str());
        return kExitFailed;
    }
    out.Text(EscapeForTerminal(options.output) + "\n");
    return FinishOutput(out, io.err, status);
}

CommandRun DefineSkyplot(CLI::App& command) {
    auto options = std::make_shared<SkyplotOptions>();
    AddLogFileArgument(command, options->file);
    command.add_option("-o", options->output, "the SVG file to write; - for standard output")
        ->required()
        ->type_name("FILE.svg");
    AddPositionOption(command, options->position,
                      "the place to look from (default: the log's median fix)");
    AddNavigationOption(command, options->navigation.path);
    command.footer(kSkyplotHelp);
    return [options](const CommandStreams& io) { return RunSkyplot(*options, io); };
}

}  // namespace

const DumpCommand kSkyplotCommand{"skyplot", "SVG sky plot of the satellites' tracks",
                                  DefineSkyplot};
