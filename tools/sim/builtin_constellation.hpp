// A nominal GPS-like constellation that needs no data file: 31 satellites in 6 orbital planes
// 60 degrees apart, inclination 55 degrees, semi-major axis 26,560 km, eccentricities around 0.01,
// with plausible clock and harmonic terms. Each satellite broadcasts a fresh ephemeris every two
// hours (toe on the even hour); consecutive ephemerides describe the same orbit, so a satellite
// does not jump when its ephemeris changes.
#pragma once

#include "tools/sim/ephemeris_source.hpp"

class BuiltinConstellation : public EphemerisSource {
  public:
    static constexpr int kSatelliteCount = 31;
    static constexpr int kEphemerisPeriod = 7200;  // s between reference times

    int MaxPrn() const override { return kSatelliteCount; }
    std::optional<EphemerisRecord> Ephemeris(int prn, double time) const override;
};
