// The single-point fix of the epochs of a raw log (log_epochs.hpp), one after another: the
// pseudorange c x rawRange of every satellite the log's tables computed, with its position and
// clock at its transmit time as the orbit code computed them from the log's own ephemeris.
//
// With a navigation file's ephemerides, a satellite measured at an epoch before the log brought
// its ephemeris is computed from the file's record nearest in time instead (the log's own
// ephemeris whenever it has one). Satellites whose position or clock is not finite (a degenerate
// ephemeris) are left out. Each epoch's fix starts from the previous epoch's fix when there is
// one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/rawlog/log_epochs.hpp"
#include "orbit/broadcast_ephemerides.hpp"
#include "orbit/satellite_position.hpp"
#include "positioning/point_fix.hpp"
#include "records/record_layout.hpp"

// The position and clock of a satellite of `epoch` that the log has no ephemeris for (one of
// LogEpoch.measured not computed) at its transmit time (the epoch time minus rawRange, as the
// tables form it), from the navigation file's record nearest in time; nothing when the file has
// none within its fit interval.
std::optional<SatelliteSolution> SolveFromNavigation(const BroadcastEphemerides& navigation,
                                                     const LogEpoch& epoch,
                                                     const MeasuredSatellite& satellite);

struct EpochFix {
    PointFix fix;
    // The satellites handed to the fix, the log's first, then the navigation file's; bit k of the
    // fix's masks is ranges[k]. Valid until the fixer's next call.
    std::span<const RangeMeasurement> ranges;
    int fromNavigation = 0;  // of fix.satellites: computed from the navigation file
    // The PRNs the residual test left out, ascending.
    std::array<int, kSlotCount> excluded{};
    int excludedCount = 0;
};

class EpochFixer {
  public:
    // `navigation` (may be null) must outlive the fixer.
    explicit EpochFixer(const FixOptions& options = {},
                        const BroadcastEphemerides* navigation = nullptr);

    EpochFix Fix(const LogEpoch& epoch);
    // Forgets the previous fix: the next epoch starts as the first of a log does.
    void Restart() { previous_.reset(); }

  private:
    FixOptions options_;
    const BroadcastEphemerides* navigation_;
    std::array<RangeMeasurement, 2 * kSlotCount> ranges_{};
    std::optional<PointFix> previous_;
};
