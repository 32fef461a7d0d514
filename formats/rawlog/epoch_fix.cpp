#include "formats/rawlog/epoch_fix.hpp"

#include <array>

#include "records/record_layout.hpp"

PointFix FixLogEpoch(const LogEpoch& epoch, const FixOptions& options) {
    std::array<RangeMeasurement, kSlotCount> ranges{};
    std::size_t count = 0;
    for (const EpochMeasurement& m : epoch.measurements) {
        if (count == ranges.size()) {
            break;
        }
        ranges[count++] = {m.prn,
                           wgs84::kSpeedOfLight * m.rawRange,
                           {m.position.x, m.position.y, m.position.z},
                           m.clockOffset};
    }
    return ComputePointFix(std::span(ranges).first(count), options);
}
