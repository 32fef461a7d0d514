// A real station's hour through the whole chain: its observation file replayed offline by
// satlog-sim --obs into a raw log, the fix of every epoch by satlog-dump fix --nav with the same
// navigation file (the broadcast ionospheric correction of its header), and the error against
// the station's published coordinates, horizontal and vertical.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/fix_csv_row.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/temporary_stream.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

namespace fs = std::filesystem;

// Station 0759 as its network publishes it (ECEF, metres).
constexpr double kStation[3] = {-3976219.5082, 3382372.5671, 3652512.9849};

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

// 95 % of the epochs within 1.2 m horizontally and 2.5 m vertically (without the correction:
// 1.5 m and 7.5 m).
TEST(StationFix, Station0759WithTheBroadcastIonosphere) {
    SATLOG_REQUIRE_REFERENCE("07590920.05o");
    SATLOG_REQUIRE_REFERENCE("07590920.05n");
    const fs::path log =
        fs::temp_directory_path() / ("satlog-station-fix-" + std::to_string(::getpid()) + ".log");
    const std::string obs = (ReferenceDataDir() / "07590920.05o").string();
    const std::string nav = (ReferenceDataDir() / "07590920.05n").string();
    const char* simArgs[] = {"satlog-sim", "--obs", obs.c_str(), "--nav",
                             nav.c_str(),  "--log", log.c_str()};
    TemporaryStream simOut, simErr, fixOut, fixErr;
    ASSERT_EQ(SimMain(7, simArgs, simOut.get(), simErr.get()), 0) << simErr.Contents();
    const char* fixArgs[] = {"satlog-dump", "fix", "--nav", nav.c_str(), log.c_str()};
    const int status = DumpMain(5, fixArgs, fixOut.get(), fixErr.get());
    fs::remove(log);
    ASSERT_EQ(status, 0) << fixErr.Contents();

    std::string header;
    const std::vector<FixCsvRow> rows = ParseFixCsv(fixOut.Contents(), header);
    ASSERT_EQ(rows.size(), 120u);  // a row for every epoch
    std::vector<double> horizontal, vertical;
    for (const FixCsvRow& row : rows) {
        if (!row.fixed) {
            // An epoch without a fix counts as beyond any bound.
            horizontal.push_back(INFINITY);
            vertical.push_back(INFINITY);
            continue;
        }
        const LocalOffset offset = OffsetFrom(kStation, row.x, row.y, row.z);
        horizontal.push_back(offset.horizontal);
        vertical.push_back(std::fabs(offset.up));
    }
    const double h95 = Percentile(horizontal, 0.95);
    const double v95 = Percentile(vertical, 0.95);
    EXPECT_LE(h95, 1.2);
    EXPECT_LE(v95, 2.5);
    std::printf(
        "station 0759 with --nav: horizontal RMS %.2f m, 95 %% %.2f m, worst %.2f m; vertical "
        "RMS %.2f m, 95 %% %.2f m, worst %.2f m\n",
        Rms(horizontal), h95, Worst(horizontal), Rms(vertical), v95, Worst(vertical));
}

}  // namespace
