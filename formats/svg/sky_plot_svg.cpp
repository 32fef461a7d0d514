#include "formats/svg/sky_plot_svg.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gnss/angles.hpp"

namespace {

constexpr double kCentre = kSkyPlotSize / 2.0;
constexpr double kRadius = kSkyPlotSize / 2.0 - 40.0;  // room for the compass letters

// Colours far enough apart to tell neighbouring tracks apart.
constexpr const char* kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                    "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};

void Append(std::string& out, const char* format, auto... values) {
    char text[256];
    const int n = std::snprintf(text, sizeof text, format, values...);
    if (n > 0) {
        out.append(text, static_cast<std::size_t>(std::min<int>(n, sizeof text - 1)));
    }
}

double RingRadius(double elevationDeg) {
    return kRadius * (90.0 - elevationDeg) / 90.0;
}

}  // namespace

SkyPixel SkyPlotPixel(const SkyPoint& p) {
    const double elevation = std::clamp(p.elevationDeg, 0.0, 90.0);
    const double r = RingRadius(elevation);
    return {kCentre + r * std::sin(Radians(p.azimuthDeg)),
            kCentre - r * std::cos(Radians(p.azimuthDeg))};
}

std::string FormatSkyPlotSvg(std::span<const SkyTrack> tracks, const SkyPlotOptions& options) {
    std::string out;
    Append(out,
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
           "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n",
           kSkyPlotSize, kSkyPlotSize + 24, kSkyPlotSize, kSkyPlotSize + 24);
    Append(out, "<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", kSkyPlotSize,
           kSkyPlotSize + 24);

    // Rings every 15 degrees from the horizon to 75, spokes every 30 degrees of azimuth.
    out.append("<g fill=\"none\" stroke=\"#c8c8c8\" stroke-width=\"1\">\n");
    for (int elevation = 0; elevation < 90; elevation += 15) {
        Append(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\"/>\n", kCentre, kCentre,
               RingRadius(elevation));
    }
    for (int azimuth = 0; azimuth < 360; azimuth += 30) {
        const SkyPixel edge = SkyPlotPixel({static_cast<double>(azimuth), 0.0});
        Append(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>\n", kCentre, kCentre,
               edge.x, edge.y);
    }
    out.append("</g>\n<g fill=\"#808080\" text-anchor=\"start\">\n");
    for (int elevation = 15; elevation < 90; elevation += 15) {
        Append(out, "<text x=\"%.1f\" y=\"%.1f\">%d&#176;</text>\n", kCentre + 3,
               kCentre - RingRadius(elevation) - 3, elevation);
    }
    out.append("</g>\n");
    const double maskDeg = std::clamp(options.maskDeg, 0.0, 90.0);
    Append(out,
           "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" stroke=\"#d62728\" "
           "stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n",
           kCentre, kCentre, RingRadius(maskDeg));
    Append(out, "<text x=\"%.1f\" y=\"%.1f\" fill=\"#d62728\">mask %g&#176;</text>\n",
           kCentre + RingRadius(maskDeg) * 0.72, kCentre + RingRadius(maskDeg) * 0.72, maskDeg);
    const char* compass[] = {"N", "E", "S", "W"};
    out.append("<g font-size=\"16\" font-weight=\"bold\" text-anchor=\"middle\">\n");
    for (int k = 0; k < 4; ++k) {
        const double a = Radians(k * 90.0);
        Append(out, "<text x=\"%.1f\" y=\"%.1f\">%s</text>\n",
               kCentre + (kRadius + 20) * std::sin(a), kCentre - (kRadius + 20) * std::cos(a) + 6,
               compass[k]);
    }
    out.append("</g>\n");

    std::size_t colour = 0;
    for (const SkyTrack& track : tracks) {
        const char* stroke = kPalette[colour++ % std::size(kPalette)];
        const SkyPoint* last = nullptr;
        for (const std::vector<SkyPoint>& segment : track.segments) {
            if (segment.empty()) {
                continue;
            }
            Append(out, "<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"2.5\" points=\"",
                   stroke);
            for (const SkyPoint& p : segment) {
                const SkyPixel px = SkyPlotPixel(p);
                Append(out, "%.1f,%.1f ", px.x, px.y);
            }
            out.append("\"/>\n");
            last = &segment.back();
        }
        if (last != nullptr) {
            const SkyPixel px = SkyPlotPixel(*last);
            Append(out, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"%s\"/>\n", px.x, px.y,
                   stroke);
            Append(out, "<text x=\"%.1f\" y=\"%.1f\" fill=\"%s\">G%02d</text>\n", px.x + 5,
                   px.y - 5, stroke, track.prn);
        }
    }
    if (!options.caption.empty()) {
        std::string caption;
        for (char c : options.caption) {
            switch (c) {
                case '<':
                    caption += "&lt;";
                    break;
                case '>':
                    caption += "&gt;";
                    break;
                case '&':
                    caption += "&amp;";
                    break;
                default:
                    caption += c;
            }
        }
        out.append("<text x=\"");
        Append(out, "%.1f\" y=\"%d\" text-anchor=\"middle\">", kCentre, kSkyPlotSize + 14);
        out.append(caption);
        out.append("</text>\n");
    }
    out.append("</svg>\n");
    return out;
}
