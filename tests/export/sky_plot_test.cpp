// satlog-dump skyplot rendered by a real SVG renderer: the picture shows the satellites' tracks.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "formats/svg/sky_plot_svg.hpp"
#include "gnss/geodesy.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    // A track colour: far from the white background and the grey grid.
    bool Coloured(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) {
            return false;
        }
        const unsigned char* p = &rgb[3 * (static_cast<std::size_t>(y) * width + x)];
        const int spread = std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]});
        return spread > 60;
    }
    bool ColouredNear(SkyPixel at, int radius) const {
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                if (Coloured(static_cast<int>(std::lround(at.x)) + dx,
                             static_cast<int>(std::lround(at.y)) + dy)) {
                    return true;
                }
            }
        }
        return false;
    }
};

bool ReadPng(const std::string& path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    png_color white{255, 255, 255};
    return png_image_finish_read(&image, &white, picture.rgb.data(), 0, nullptr) != 0;
}

TEST(SkyPlot, RenderedPictureHasATrackWhereEachSatelliteWas) {
    if (std::system("rsvg-convert --version > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "rsvg-convert (Debian package librsvg2-bin) is not installed";
    }
    ScratchDirectory dir;
    ASSERT_EQ(RunCommand(SimMain, {"satlog-sim", "--log", dir / "sky.log", "--duration", "600",
                                   "--start", "345600", "--position", "50,10,300"})
                  .status,
              0);
    const CommandRun plot =
        RunCommand(DumpMain, {"satlog-dump", "skyplot", dir / "sky.log", "-o", dir / "sky.svg"});
    ASSERT_EQ(plot.status, 0) << plot.err;
    ASSERT_EQ(std::system(("rsvg-convert -o " + dir / "sky.png" + " " + dir / "sky.svg").c_str()),
              0);
    Picture picture;
    ASSERT_TRUE(ReadPng(dir / "sky.png", picture));
    EXPECT_EQ(picture.width, kSkyPlotSize);

    // Where each satellite stood at the last epoch, from the positions the tool computes, seen
    // from the simulated receiver.
    const CommandRun positions =
        RunCommand(DumpMain, {"satlog-dump", "positions", dir / "sky.log"});
    ASSERT_EQ(positions.status, 0);
    std::istringstream rows(positions.out);
    std::string row, lastTime;
    std::vector<LookAngles> last;
    const Ecef receiver = GeodeticToEcef({50, 10, 300});
    std::getline(rows, row);
    while (std::getline(rows, row)) {
        std::istringstream cells(row);
        std::string time, prn, transmit, x, y, z;
        std::getline(cells, time, ',');
        std::getline(cells, prn, ',');
        std::getline(cells, transmit, ',');
        std::getline(cells, x, ',');
        std::getline(cells, y, ',');
        std::getline(cells, z, ',');
        if (time != lastTime) {
            last.clear();
            lastTime = time;
        }
        last.push_back(ComputeLookAngles(receiver, {std::stod(x), std::stod(y), std::stod(z)}));
    }
    ASSERT_GE(last.size(), 4u);
    const SkyPixel zenith = SkyPlotPixel({0, 90});
    for (const LookAngles& look : last) {
        SCOPED_TRACE(testing::Message()
                     << "azimuth " << look.azimuthDeg << " elevation " << look.elevationDeg);
        const SkyPixel at = SkyPlotPixel({look.azimuthDeg, look.elevationDeg});
        EXPECT_TRUE(picture.ColouredNear(at, 3));
        // North up, azimuth clockwise: east is to the right, north above the zenith.
        const double east = std::sin(look.azimuthDeg * std::numbers::pi / 180.0);
        const double north = std::cos(look.azimuthDeg * std::numbers::pi / 180.0);
        if (std::fabs(east) > 0.2) {
            EXPECT_EQ(at.x > zenith.x, east > 0);
        }
        if (std::fabs(north) > 0.2) {
            EXPECT_EQ(at.y<zenith.y, north> 0);
        }
    }
    // The corner outside the horizon stays background.
    EXPECT_FALSE(picture.ColouredNear({12, 12}, 8));
}

}  // namespace
