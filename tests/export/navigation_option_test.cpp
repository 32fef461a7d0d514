// --nav on the commands whose output rests on fixes (rinex, summary, skyplot, and gpx for it and
// nmea, which share their fixes): a simulated log whose ranges carry the broadcast ionospheric
// delay gives the simulated place only with the navigation file's correction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/command_run.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

// 47.4 N, 8.5 E, 500 m on WGS 84, earth-fixed.
constexpr double kPlace[3] = {4277886.5659, 639334.4309, 4672347.4592};

double Distance(double x, double y, double z) {
    return std::hypot(x - kPlace[0], y - kPlace[1], z - kPlace[2]);
}

// The distance from the place of the three coordinates that `format` reads at `at` in `text`;
// NaN when they are not there.
double DistanceAt(const std::string& text, std::size_t at, const char* format) {
    double x = NAN, y = NAN, z = NAN;
    if (at < text.size()) {
        std::sscanf(text.c_str() + at, format, &x, &y, &z);
    }
    return Distance(x, y, z);
}

TEST(NavigationOption, RinexSummarySkyplotAndGpxCorrectTheIonosphere) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    ScratchDirectory dir;
    const std::string nav = (ReferenceDataDir() / "brdc1820.10n").string();
    const std::string log = dir / "iono.log";
    ASSERT_EQ(
        RunCommand(SimMain, {"satlog-sim", "--nav", nav, "--ionosphere", "--log", log, "--start",
                             "388800", "--duration", "120", "--position", "47.4,8.5,500"})
            .status,
        0);
    for (const bool withNav : {true, false}) {
        std::vector<std::string> navArgs;
        if (withNav) {
            navArgs = {"--nav", nav};
        }
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), "satlog-dump");
            args.insert(args.end(), navArgs.begin(), navArgs.end());
            const CommandRun r = RunCommand(DumpMain, args);
            EXPECT_EQ(r.status, 0) << r.err;
            return r;
        };
        const std::string sub = dir / (withNav ? "nav" : "none");
        std::filesystem::create_directories(sub);
        run({"rinex", log, "--week", "1590", "--dir", sub});
        const std::string obs = ReadTextFile(sub + "/iono1820.10o");
        const double rinex =
            DistanceAt(obs, obs.rfind('\n', obs.find("APPROX POSITION XYZ")) + 1, "%lf %lf %lf");
        const std::string text = run({"summary", log, "--week", "1590"}).out;
        const double summary = DistanceAt(text, text.find(" X ") + 3, "%lf Y %lf Z %lf");
        run({"skyplot", log, "-o", sub + "/sky.svg"});
        const std::string svg = ReadTextFile(sub + "/sky.svg");
        double height = NAN;
        const std::size_t seen = svg.find("seen from ");
        ASSERT_NE(seen, std::string::npos);
        std::sscanf(svg.c_str() + svg.find(", ", svg.find(", ", seen) + 2) + 2, "%lf", &height);
        // The first track point's height above mean sea level plus the geoid's.
        const std::string gpx = run({"gpx", log, "--week", "1590"}).out;
        auto number = [&](const std::string& tag) {
            const std::size_t at = gpx.find(tag);
            double value = NAN;
            if (at != std::string::npos) {
                std::sscanf(gpx.c_str() + at + tag.size(), "%lf", &value);
            }
            return value;
        };
        const double ellipsoidal = number("<ele>") + number("<geoidheight>");
        // The navigation header carries the file's coefficients.
        const std::string navigationHeader = ReadTextFile(sub + "/iono1820.10n");
        EXPECT_EQ(
            navigationHeader.find("    4.6570D-09  1.4900D-08 -5.9600D-08 -1.1920D-07          "
                                  "ION ALPHA") != std::string::npos,
            withNav);
        if (withNav) {
            EXPECT_LT(summary, 0.05);
            EXPECT_NEAR(height, 500.0, 0.05);
            EXPECT_NEAR(ellipsoidal, 500.0, 0.05);
        } else {
            EXPECT_GT(summary, 1.0);
            EXPECT_GT(std::fabs(height - 500.0), 1.0);
            EXPECT_GT(std::fabs(ellipsoidal - 500.0), 1.0);
        }
        EXPECT_NEAR(rinex, summary, 0.05);  // the median and the mean of steady fixes
    }
    const CommandRun bad = RunCommand(DumpMain, {"satlog-dump", "summary", log, "--nav", log});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.find("satlog-dump: " + log + ":1: "), 0u) << bad.err;
}

}  // namespace
