// satlog-dump skyplot: every measured satellite's track across the sky of the log, as SVG.
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/svg/sky_plot_svg.hpp"
#include "gnss/geodesy.hpp"
#include "positioning/point_fix.hpp"
#include "tools/dump/dump_export_commands.hpp"
#include "tools/dump/log_command_support.hpp"
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
    std::vector<SatelliteSample> samples;
    std::vector<double> fixX, fixY, fixZ;

    void Epoch(const LogEpoch& e) override {
        for (const EpochMeasurement& m : e.measurements) {
            const Ecef& p = m.position;
            if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
                samples.push_back({e.time, m.prn, p});
            }
        }
        if (!havePosition_) {
            const PointFix fix = FixLogEpoch(e);
            if (fix.valid) {
                fixX.push_back(fix.position.x);
                fixY.push_back(fix.position.y);
                fixZ.push_back(fix.position.z);
            }
        }
    }
    void SkipFixes() { havePosition_ = true; }

  private:
    bool havePosition_ = false;
};

double Median(std::vector<double> v) {
    const auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    if (v.size() % 2 == 1) {
        return *middle;
    }
    return (*std::max_element(v.begin(), middle) + *middle) / 2.0;
}

bool ParsePosition(std::string_view text, Geodetic& g) {
    double values[3];
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = text.find(',');
        if ((k == 2) != (comma == std::string_view::npos)) {
            return false;
        }
        const std::string_view part = text.substr(0, comma);
        const auto r = std::from_chars(part.data(), part.data() + part.size(), values[k]);
        if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() ||
            !std::isfinite(values[k])) {
            return false;
        }
        text = k == 2 ? std::string_view{} : text.substr(comma + 1);
    }
    if (std::fabs(values[0]) > 90.0 || std::fabs(values[1]) > 180.0 ||
        std::fabs(values[2]) > 100000.0) {
        return false;
    }
    g = {values[0], values[1], values[2]};
    return true;
}

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

int Usage(std::FILE* err, const std::string& message) {
    std::fprintf(err, "satlog-dump skyplot: %s\n%s", message.c_str(), kSkyplotUsage);
    return 2;
}

}  // namespace

int DumpSkyplotMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    std::string file, output;
    std::optional<Geodetic> position;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "-o" && k + 1 < argc) {
            output = argv[++k];
        } else if (arg == "--position" && k + 1 < argc) {
            Geodetic g;
            if (!ParsePosition(argv[++k], g)) {
                return Usage(err, "--position takes LAT,LON,H in degrees and metres");
            }
            position = g;
        } else if (file.empty() && (arg == "-" || !arg.starts_with("-"))) {
            file = arg;
        } else {
            return Usage(err, "unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (file.empty() || output.empty()) {
        return Usage(err, "a raw log and -o FILE.svg are required");
    }
    if (file != "-" && NamesTheSameFile(output, file)) {
        std::fprintf(err, "satlog-dump: %s is the raw log being plotted: not written over\n",
                     output.c_str());
        return 2;
    }
    CommandLog log;
    if (!log.Open(file, err)) {
        return 2;
    }
    SkyCollector collector;
    if (position) {
        collector.SkipFixes();
    }
    const LogWalkEnd end = WalkLogReportingDamage(log, collector, err);
    const int status = WalkEndStatus(end, log.ShownName(), err);
    if (status == 2) {
        return 2;
    }
    Ecef receiver;
    std::string seenFrom;
    if (position) {
        receiver = GeodeticToEcef(*position);
        seenFrom = "the given position";
    } else if (!collector.fixX.empty()) {
        receiver = {Median(collector.fixX), Median(collector.fixY), Median(collector.fixZ)};
        seenFrom = "the median fix of " + std::to_string(collector.fixX.size()) + " epochs";
    } else {
        std::fprintf(err,
                     "satlog-dump: %s: no epoch has a fix to look from: give --position "
                     "LAT,LON,H\n",
                     log.ShownName().c_str());
        return 2;
    }
    const std::vector<SkyTrack> tracks = BuildTracks(collector.samples, receiver);
    const Geodetic g = EcefToGeodetic(receiver);
    char caption[200];
    std::snprintf(caption, sizeof caption, "%d satellites seen from %.5f, %.5f, %.1f m (%s)",
                  static_cast<int>(tracks.size()), g.latitudeDeg, g.longitudeDeg, g.heightM,
                  seenFrom.c_str());
    SkyPlotOptions options;
    options.maskDeg = FixOptions{}.elevationMaskDeg;
    options.caption = caption;
    std::string svg = FormatSkyPlotSvg(tracks, options);

    std::string problem;
    WholeFile picture(output);
    bool written = picture.Open(problem);
    if (written) {
        picture.Write(svg);
        written = picture.Commit(problem);
    }
    if (!written) {
        std::fprintf(err, "satlog-dump: %s\n", problem.c_str());
        return 2;
    }
    std::fprintf(out, "%s\n", output.c_str());
    return status;
}
