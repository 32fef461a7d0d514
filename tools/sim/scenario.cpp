#include "tools/sim/scenario.hpp"

#include <algorithm>

#include "gnss/gps_time.hpp"
#include "tools/sim/signal_physics.hpp"

namespace {

constexpr double kL1Frequency = 1575.42e6;  // Hz

}  // namespace

std::int32_t WeekMilliseconds(std::int64_t simulationMs) {
    return static_cast<std::int32_t>(
        ((simulationMs % kMillisecondsPerWeek) + kMillisecondsPerWeek) % kMillisecondsPerWeek);
}

Scenario::Scenario(const EphemerisSource& source, const ReceiverSite& site, std::int64_t startMs,
                   int snvIntervalSeconds, const KlobucharParameters* ionosphere)
    : source_(source),
      site_(site),
      ionosphere_(ionosphere),
      nextMs_(startMs),
      snvInterval_(snvIntervalSeconds),
      satellites_(static_cast<std::size_t>(source.MaxPrn()) + 1) {}

EpochPlan Scenario::Next() {
    const std::int64_t epochMs = nextMs_;
    nextMs_ += 1000;
    const double time = static_cast<double>(epochMs) / 1000.0;
    EpochPlan plan;
    plan.timeMs = WeekMilliseconds(epochMs);
    const double receiveTime = plan.timeMs / 1000.0;

    std::vector<PlannedRecord> measurements;
    for (int prn = 1; prn <= source_.MaxPrn(); ++prn) {
        Satellite& sat = satellites_[static_cast<std::size_t>(prn)];
        const std::optional<EphemerisRecord> eph = source_.Ephemeris(prn, time);
        std::optional<SignalSolution> signal;
        if (eph) {
            signal = SolveSignal(*eph, site_, receiveTime, ionosphere_);
        }
        const bool visible = signal && signal->elevationDeg >= kElevationMaskDeg;
        if (!visible) {
            sat.visible = false;
            continue;
        }
        // Due: the satellite has just risen, its ephemeris changed, or the interval has passed.
        const SnvBody current = EncodeEphemerisBody(*eph);
        const bool due = !sat.visible || !sat.lastSent || *sat.lastSent != current ||
                         time - sat.lastSnvTime >= snvInterval_;
        sat.visible = true;
        if (due && !sat.queued) {
            sat.queued = true;
            snvQueue_.push_back(prn);
        }

        PlannedRecord m;
        m.kind = &kMpcLayout;
        m.slot = prn;
        MeasurementRecord record{};
        record.prn = static_cast<std::uint8_t>(prn);
        // Status 2 marks the weaker signals of low satellites; both count as usable.
        record.status = signal->elevationDeg >= 30.0 ? 1 : 2;
        record.rawRange = signal->rawRange;
        record.fullPhase = signal->rawRange * kL1Frequency;
        const MpcBody body = EncodeMeasurementBody(record);
        std::copy(body.begin(), body.end(), m.body.begin());
        measurements.push_back(m);
        plan.truth.push_back({plan.timeMs, prn, signal->transmitTime, signal->position});
    }

    PlannedRecord pbn;
    pbn.kind = &kPbnLayout;
    const PbnBody pbnBody = EncodeEpochTimeBody(plan.timeMs);
    std::copy(pbnBody.begin(), pbnBody.end(), pbn.body.begin());

    plan.measurementBytes = pbn.FramedLength();
    for (const PlannedRecord& m : measurements) {
        plan.measurementBytes += m.FramedLength();
    }

    // Ephemerides go first, as far as the second's line budget allows; the rest wait for the
    // next second. At least one goes out every second, so that none waits for ever.
    std::size_t budget = plan.measurementBytes;
    constexpr std::size_t kSnvFramed =
        framing::kPrefixLength + framing::kHeaderLength + kSnvLayout.bodyLength;
    bool first = true;
    while (!snvQueue_.empty()) {
        if (!first && budget + kSnvFramed > kLineBytesPerSecond) {
            break;
        }
        const int prn = snvQueue_.front();
        snvQueue_.pop_front();
        Satellite& sat = satellites_[static_cast<std::size_t>(prn)];
        sat.queued = false;
        if (!sat.visible) {
            continue;  // set before its turn came
        }
        const std::optional<EphemerisRecord> eph = source_.Ephemeris(prn, time);
        PlannedRecord s;
        s.kind = &kSnvLayout;
        s.slot = prn;
        const SnvBody body = EncodeEphemerisBody(*eph);
        std::copy(body.begin(), body.end(), s.body.begin());
        sat.lastSent = body;
        sat.lastSnvTime = time;
        plan.records.push_back(s);
        budget += kSnvFramed;
        first = false;
    }
    plan.records.insert(plan.records.end(), measurements.begin(), measurements.end());
    plan.records.push_back(pbn);
    return plan;
}
