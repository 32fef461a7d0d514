// The single-point fix of one epoch: the receiver's position and clock offset from the
// pseudoranges of the satellites it measured, in three steps.
//
// 1. Residuals. Each pseudorange is modelled as
//      P = |S - R| + c dtr - c dts + T + I
//    with S the satellite's position at transmission carried into the earth-fixed frame of the
//    receive instant (the earth turns by Omega_e |S - R| / c while the signal travels), R the
//    receiver, dtr the receiver's clock offset, dts the satellite's clock offset, T the
//    tropospheric delay of troposphere.hpp and I the ionospheric delay of the broadcast model
//    (ionosphere.hpp) when its coefficients are given; without them there is no ionospheric
//    term, and what the ionosphere adds (metres to tens of metres, mostly vertical) stays in the
//    result. A residual is the measured minus the modelled pseudorange.
// 2. Iterate. Weighted least squares on the residuals, each weighted by the inverse variance of
//    range_noise.hpp, from a start (the previous epoch's fix, or the earth's centre with every
//    satellite) until the update of x, y, z and c dtr together is below 1 mm; after 10
//    iterations without that, there is no fix. Once there is a place to look from (from the
//    start when it is a previous fix, from the second iteration otherwise), satellites below the
//    elevation mask are left out and the atmosphere is modelled. A satellite with a non-finite
//    pseudorange, position or clock is never used.
// 3. Validate. With more satellites than unknowns, the weighted sum of the squared residuals is
//    a chi-square variable of (satellites - 4) degrees of freedom when every range is as good as
//    its noise model says; above the 99.9 % point of that distribution the measurements disagree
//    with each other. Then, when at least 6 satellites were used, each is left out in turn and
//    the fix computed again from the others: the smallest sum among the fixes that pass the test
//    names the bad satellite, which is excluded. With 5 satellites a bad range is seen but cannot
//    be told from the others (every four of them fit exactly), and an epoch that no single
//    exclusion mends gets no fix: both are `Inconsistent`.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "gnss/coordinates.hpp"
#include "positioning/ionosphere.hpp"

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
    // The broadcast ionospheric model's coefficients; without them no ionospheric correction.
    std::optional<KlobucharParameters> ionosphere;
    // Step 3: the residual test, and the exclusion of a single bad satellite.
    bool validate = true;
};

// What the fix knows of the epoch besides its measurements.
struct FixEpoch {
    double receiveTime = 0;  // s of the GPS week: the local time the ionosphere depends on
    // Where the iteration starts: the previous epoch's fix (position, clock offset in s). Without
    // it, the earth's centre and a zero clock.
    std::optional<Ecef> startPosition;
    double startClockBias = 0;
};

// At most this many measurements are considered; any beyond are ignored.
inline constexpr int kMaxFixSatellites = 64;
inline constexpr int kMaxFixIterations = 10;
inline constexpr double kFixConvergenceM = 1e-3;
// Exclusion needs a fifth satellite beyond the four unknowns in what is left.
inline constexpr int kMinSatellitesToExclude = 6;

enum class FixOutcome {
    Fixed,
    TooFewSatellites,  // fewer than four usable satellites above the mask
    NoGeometry,        // the satellites do not span the four unknowns
    NoConvergence,     // or a result that is not finite
    Inconsistent,      // the residual test failed and no single exclusion mended it
};

struct PointFix {
    bool valid = false;  // outcome == Fixed
    FixOutcome outcome = FixOutcome::TooFewSatellites;
    int satellites = 0;  // satellites used in the last iteration (the excluded one not counted)
    int iterations = 0;  // of the fix returned
    Ecef position;       // m
    Geodetic geodetic;
    double clockBias = 0;  // s: the receiver clock's offset from GPS time
    double pdop = 0;
    double hdop = 0;
    double vdop = 0;
    double rms = 0;              // m: root mean square of the residuals after the fix
    std::uint64_t usedMask = 0;  // bit i set: measurement i was used in the last iteration
    // Bit i set: measurement i was left out by the residual test (at most one bit).
    std::uint64_t excludedMask = 0;
    // The residual test of the fix returned (of all satellites, when it failed): the weighted
    // sum of squared residuals and the value it must not exceed (0 without redundancy).
    double testStatistic = 0;
    double testThreshold = 0;
};

// Only `valid`, `outcome`, `satellites`, `iterations`, `usedMask` and the test mean anything when
// there is no fix.
PointFix ComputePointFix(std::span<const RangeMeasurement> measurements,
                         const FixOptions& options = {}, const FixEpoch& epoch = {});
