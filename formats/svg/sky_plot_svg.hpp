// A polar sky plot as an SVG document: the horizon at the edge, the zenith at the centre, north up
// and azimuth clockwise, rings every 15 degrees of elevation with the elevation mask marked, and
// one labelled track per satellite.
#pragma once

#include <span>
#include <string>
#include <vector>

struct SkyPoint {
    double azimuthDeg = 0;    // clockwise from north
    double elevationDeg = 0;  // above the horizon
};

struct SkyTrack {
    int prn = 0;
    // Stretches of consecutive epochs; a satellite that sets and rises again has two.
    std::vector<std::vector<SkyPoint>> segments;
};

struct SkyPlotOptions {
    double maskDeg = 15;
    std::string caption;  // under the plot: place and time span
};

struct SkyPixel {
    double x = 0;
    double y = 0;
};

inline constexpr int kSkyPlotSize = 560;  // width and height of the picture in pixels

// Where a direction in the sky lands in the picture.
SkyPixel SkyPlotPixel(const SkyPoint& point);

std::string FormatSkyPlotSvg(std::span<const SkyTrack> tracks, const SkyPlotOptions& options);
