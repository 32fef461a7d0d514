// The single-point fix of one epoch: the receiver's position and clock offset from the
// pseudoranges of the satellites it measured, by iterated least squares.
//
// Each pseudorange is modelled as
//   P = |S - R| + c dtr - c dts + T
// with S the satellite's position at transmission carried into the earth-fixed frame of the
// receive instant (the earth turns by Omega_e |S - R| / c while the signal travels), R the
// receiver, dtr the receiver's clock offset, dts the satellite's clock offset and T the
// tropospheric delay of troposphere.hpp. There is no ionospheric term: the receiver's records
// carry no ionospheric model, so what the ionosphere adds (metres to tens of metres, mostly
// vertical) stays in the result.
//
// The iteration starts at the earth's centre with every satellite. From the second iteration on,
// with a position to look from, satellites below the elevation mask are left out and the
// tropospheric delay is applied. It ends when the update of x, y, z and c dtr together is below
// 1 mm; after 10 iterations without that, there is no fix. A satellite with a non-finite
// pseudorange, position or clock is never used.
#pragma once

#include <cstdint>
#include <span>

#include "gnss/coordinates.hpp"

// One satellite's measurement of the epoch.
struct RangeMeasurement {
    int prn = 0;
    double pseudorange = 0;     // m: c times the signal travel time the receiver measured
    Ecef satellite;             // at transmission, in the earth-fixed frame of that instant
    double satelliteClock = 0;  // s: the satellite clock's offset from GPS time at transmission
};

struct FixOptions {
    double elevationMaskDeg = 15.0;
    bool troposphere = true;
};

// At most this many measurements are considered; any beyond are ignored.
inline constexpr int kMaxFixSatellites = 64;
inline constexpr int kMaxFixIterations = 10;
inline constexpr double kFixConvergenceM = 1e-3;

struct PointFix {
    bool valid = false;  // false: fewer than four satellites, no convergence or a non-finite result
    int satellites = 0;  // satellites used in the last iteration
    int iterations = 0;
    Ecef position;  // m
    Geodetic geodetic;
    double clockBias = 0;  // s: the receiver clock's offset from GPS time
    double pdop = 0;
    double hdop = 0;
    double vdop = 0;
    double rms = 0;              // m: root mean square of the residuals after the fix
    std::uint64_t usedMask = 0;  // bit i set: measurement i was used in the last iteration
};

// Only `valid`, `satellites`, `iterations` and `usedMask` mean anything when there is no fix.
PointFix ComputePointFix(std::span<const RangeMeasurement> measurements,
                         const FixOptions& options = {});
