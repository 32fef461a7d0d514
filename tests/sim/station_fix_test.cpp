// A real station's hour through the whole chain: its observation file replayed offline by
// satlog-sim --obs into a raw log, the fix of every epoch by satlog-dump fix, and the error
// against the station's published coordinates, split into horizontal and vertical here with a
// local frame of the test's own (independent of the project's geodesy).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/reference_data.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

namespace fs = std::filesystem;

// Station 0759 as its network publishes it (ECEF, metres).
constexpr double kStation[3] = {-3976219.5082, 3382372.5671, 3652512.9849};

// Geodetic latitude and longitude (radians) of an ECEF point on WGS 84, by fixed-point
// iteration on the latitude.
void LatLon(const double p[3], double& lat, double& lon) {
    const double a = 6378137.0;
    const double f = 1.0 / 298.257223563;
    const double e2 = f * (2.0 - f);
    lon = std::atan2(p[1], p[0]);
    const double r = std::hypot(p[0], p[1]);
    lat = std::atan2(p[2], r * (1.0 - e2));
    for (int k = 0; k < 10; ++k) {
        const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
        const double h = r / std::cos(lat) - n;
        lat = std::atan2(p[2], r * (1.0 - e2 * n / (n + h)));
    }
}

// The value below which `share` of the values lie (nearest rank).
double Percentile(std::vector<double> v, double share) {
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(v.size())));
    return v[std::max<std::size_t>(rank, 1) - 1];
}

// RMS and largest of the finite values (the epochs with a fix).
double Rms(const std::vector<double>& v) {
    double sum = 0;
    std::size_t n = 0;
    for (const double x : v) {
        if (std::isfinite(x)) {
            sum += x * x;
            ++n;
        }
    }
    return std::sqrt(sum / static_cast<double>(n));
}

double Worst(const std::vector<double>& v) {
    double worst = 0;
    for (const double x : v) {
        worst = std::isfinite(x) ? std::max(worst, x) : worst;
    }
    return worst;
}

TEST(StationFix, Station0759WithinThreeMetresHorizontallyAndTenVertically) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    SATLOG_REQUIRE_REFERENCE("07590920.05n");
    const fs::path log =
        fs::temp_directory_path() / ("satlog-station-fix-" + std::to_string(::getpid()) + ".log");
    const std::string obs = (ReferenceDataDir() / "07590920.05o").string();
    const std::string nav = (ReferenceDataDir() / "07590920.05n").string();
    const char* argv[] = {"satlog-sim", "--obs", obs.c_str(), "--nav",
                          nav.c_str(),  "--log", log.c_str()};
    TemporaryStream simOut, simErr, fixOut, fixErr;
    ASSERT_EQ(SimMain(7, argv, simOut.get(), simErr.get()), 0) << simErr.Contents();
    std::FILE* in = std::fopen(log.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    const int status = DumpFix(in, log.string(), fixOut.get(), fixErr.get());
    std::fclose(in);
    fs::remove(log);
    ASSERT_EQ(status, 0) << fixErr.Contents();

    double lat = 0, lon = 0;
    LatLon(kStation, lat, lon);
    const double east[3] = {-std::sin(lon), std::cos(lon), 0.0};
    const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon),
                             std::cos(lat)};
    const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon),
                          std::sin(lat)};
    std::vector<double> horizontal, vertical;
    std::istringstream csv(fixOut.Contents());
    std::string line;
    std::getline(csv, line);  // the header
    std::size_t fixes = 0;
    while (std::getline(csv, line)) {
        double p[3];
        long timeMs = 0;
        int satellites = 0;
        if (std::sscanf(line.c_str(), "%ld,%d,%lf,%lf,%lf", &timeMs, &satellites, &p[0], &p[1],
                        &p[2]) != 5) {
            // An epoch without a fix counts as beyond any bound.
            horizontal.push_back(INFINITY);
            vertical.push_back(INFINITY);
            continue;
        }
        ++fixes;
        double e = 0, n = 0, u = 0;
        for (int k = 0; k < 3; ++k) {
            const double d = p[k] - kStation[k];
            e += east[k] * d;
            n += north[k] * d;
            u += up[k] * d;
        }
        horizontal.push_back(std::hypot(e, n));
        vertical.push_back(std::fabs(u));
    }
    ASSERT_EQ(horizontal.size(), 120u);  // a row for every epoch
    const double h95 = Percentile(horizontal, 0.95);
    const double v95 = Percentile(vertical, 0.95);
    EXPECT_LE(h95, 3.0);
    EXPECT_LE(v95, 10.0);
    std::printf(
        "station 0759, %zu fixes of %zu epochs: horizontal RMS %.2f m, 95 %% %.2f m, worst "
        "%.2f m; vertical RMS %.2f m, 95 %% %.2f m, worst %.2f m\n",
        fixes, horizontal.size(), Rms(horizontal), h95, Worst(horizontal), Rms(vertical), v95,
        Worst(vertical));
}

}  // namespace
