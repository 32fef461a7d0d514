// A precise orbit at any instant: 10-point Lagrange interpolation of the 15-minute samples of an
// SP3 file, which is good to millimetres for GPS orbits.
#pragma once

#include <cmath>
#include <optional>
#include <vector>

#include "orbit/satellite_position.hpp"
#include "tests/support/reference_data.hpp"

inline std::optional<SatellitePosition> InterpolatePreciseOrbit(
    const std::vector<PreciseOrbitPoint>& points, int prn, double secondsOfWeek) {
    std::vector<const PreciseOrbitPoint*> near;
    for (const PreciseOrbitPoint& p : points) {
        if (p.prn == prn && std::fabs(p.secondsOfWeek - secondsOfWeek) < 5 * 900.0) {
            near.push_back(&p);
        }
    }
    if (near.size() < 9) {
        return std::nullopt;
    }
    SatellitePosition out{0, 0, 0};
    for (const PreciseOrbitPoint* a : near) {
        double w = 1;
        for (const PreciseOrbitPoint* b : near) {
            if (a != b) {
                w *= (secondsOfWeek - b->secondsOfWeek) / (a->secondsOfWeek - b->secondsOfWeek);
            }
        }
        out.x += w * a->x;
        out.y += w * a->y;
        out.z += w * a->z;
    }
    return out;
}
