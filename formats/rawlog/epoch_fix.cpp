#include "formats/rawlog/epoch_fix.hpp"

#include <array>

#include "gnss/physical_constants.hpp"
#include "records/record_layout.hpp"

PointFix FixLogEpoch(const LogEpoch& epoch, const FixOptions& options) {
    std::array<RangeMeasurement, kSlotCount> ranges{};
    std::size_t count = 0;
    for (const EpochMeasurement& m : epoch.measurements) {
        if (count == ranges.size()) {
            break;
        }
        ranges[count++] = {m.prn, kSpeedOfLight * m.rawRange, m.position, m.clockOffset};
    }
    return ComputePointFix(std::span(ranges).first(count), options);
}
