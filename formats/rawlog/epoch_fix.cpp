#include "formats/rawlog/epoch_fix.hpp"

#include <algorithm>
#include <cmath>

#include "gnss/physical_constants.hpp"

std::optional<SatelliteSolution> SolveFromNavigation(const BroadcastEphemerides& navigation,
                                                     const LogEpoch& epoch,
                                                     const MeasuredSatellite& satellite) {
    const double transmitTime = static_cast<double>(epoch.timeMs) / 1000.0 - satellite.rawRange;
    const EphemerisRecord* record = navigation.Nearest(satellite.prn, transmitTime);
    if (record == nullptr) {
        return std::nullopt;
    }
    return SolveSatellitePosition(*record, transmitTime);
}

EpochFixer::EpochFixer(const FixOptions& options, const BroadcastEphemerides* navigation)
    : options_(options), navigation_(navigation) {}

EpochFix EpochFixer::Fix(const LogEpoch& epoch) {
    std::size_t count = 0;
    for (const EpochMeasurement& m : epoch.measurements) {
        if (count == ranges_.size()) {
            break;
        }
        ranges_[count++] = {m.prn, kSpeedOfLight * m.rawRange, m.position, m.clockOffset};
    }
    // The navigation file's satellites come after the log's: bit `fromFile` on marks them.
    const std::size_t fromFile = count;
    if (navigation_ != nullptr) {
        for (const MeasuredSatellite& m : epoch.measured) {
            if (m.computed) {
                continue;
            }
            const std::optional<SatelliteSolution> s = SolveFromNavigation(*navigation_, epoch, m);
            if (!s || count == ranges_.size()) {
                continue;
            }
            ranges_[count++] = {m.prn, kSpeedOfLight * m.rawRange, s->position, s->clockOffset};
        }
    }
    FixEpoch at;
    at.receiveTime = epoch.timeMs / 1000.0;
    if (previous_) {
        at.startPosition = previous_->position;
        at.startClockBias = previous_->clockBias;
    }
    EpochFix out;
    out.ranges = std::span(ranges_).first(count);
    out.fix = ComputePointFix(out.ranges, options_, at);
    previous_.reset();
    if (out.fix.valid) {
        previous_ = out.fix;
    }
    for (std::size_t i = 0; i < count && i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (i >= fromFile && (out.fix.usedMask & bit) != 0) {
            ++out.fromNavigation;
        }
        if ((out.fix.excludedMask & bit) != 0) {
            out.excluded[static_cast<std::size_t>(out.excludedCount++)] = ranges_[i].prn;
        }
    }
    std::sort(out.excluded.begin(), out.excluded.begin() + out.excludedCount);
    return out;
}
