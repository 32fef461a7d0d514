// Satellite position from a broadcast ephemeris by the user algorithm of IS-GPS-200.
#pragma once

#include "gnss/coordinates.hpp"
#include "orbit/ephemeris_record.hpp"

// Earth-centred, earth-fixed X, Y, Z in metres, in the frame of the corrected transmit instant.
using SatellitePosition = Ecef;

// The algorithm's own constants; mu, the earth's rotation rate and the week are the system's
// (gnss/physical_constants.hpp, gnss/gps_time.hpp).
namespace orbit_constants {
inline constexpr double kPi = 3.1415926535898;  // semicircle conversion
inline constexpr double kF = -4.442807633e-10;  // s/m^1/2
inline constexpr double kKeplerTolerance = 1e-8;
inline constexpr int kKeplerIterationLimit = 20;
}  // namespace orbit_constants

// Everything the computation derives, for callers that need more than the position (tests,
// the simulator): the satellite clock offset and the corrected transmit time.
struct SatelliteSolution {
    SatellitePosition position;
    double clockOffset;    // delta t_sv, s
    double correctedTime;  // transmit time after the week crossover and the clock correction
    double tk;             // time from toe of the second pass
};

// Solves E - e sin E = M by Newton's method from E = M; returns the latest update.
double SolveKepler(double meanAnomaly, double e);

SatelliteSolution SolveSatellitePosition(const EphemerisRecord& ephemeris, double transmitTime);

SatellitePosition ComputeSatellitePosition(EphemerisRecord ephemeris, double transmitTime);
