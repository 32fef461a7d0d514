#include "tools/sim/observation_replay.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "orbit/satellite_position.hpp"
#include "records/record_layout.hpp"
#include "tools/sim/signal_physics.hpp"

namespace {

constexpr std::int64_t kTicksPerMs = kRinexTicksPerSecond / 1000;
constexpr std::int64_t kTicksPerWeek = 604800 * kRinexTicksPerSecond;
constexpr int kMaxGpsPrn = 32;

template <typename Body>
PlannedRecord Planned(const RecordKindLayout& kind, int slot, const Body& body) {
    PlannedRecord r;
    r.kind = &kind;
    r.slot = slot;
    std::copy(body.begin(), body.end(), r.body.begin());
    return r;
}

}  // namespace

EpochTimeTag TagEpochTime(std::int64_t ticks) {
    EpochTimeTag tag;
    tag.ms = (ticks + kTicksPerMs / 2) / kTicksPerMs;  // the nearest millisecond (ticks >= 0)
    tag.remainderTicks = ticks - tag.ms * kTicksPerMs;
    return tag;
}

ObservationReplay::ObservationReplay(RinexObservationFile file, const EphemerisSource& navigation,
                                     int snvIntervalSeconds, std::optional<double> durationSeconds)
    : file_(std::move(file)),
      navigation_(&navigation),
      snvInterval_(snvIntervalSeconds),
      duration_(durationSeconds),
      c1_(file_.header.TypeIndex("C1")),
      l1_(file_.header.TypeIndex("L1")),
      satellites_(kMaxGpsPrn + 1) {
    if (!file_.epochs.empty()) {
        firstTicks_ = file_.epochs.front().time.GpsTicks();
        weekStartTicks_ = firstTicks_ - firstTicks_ % kTicksPerWeek;
    }
}

std::unique_ptr<ObservationReplay> ObservationReplay::Load(const std::string& path,
                                                           const EphemerisSource& navigation,
                                                           int snvIntervalSeconds,
                                                           std::optional<double> durationSeconds,
                                                           std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the observation file";
        return nullptr;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = path + ": cannot read the observation file";
        return nullptr;
    }
    RinexError parseError;
    std::optional<RinexObservationFile> file = ParseRinexObservation(text.str(), parseError);
    if (!file) {
        error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
        return nullptr;
    }
    if (file->header.TypeIndex("C1") < 0) {
        error = path + ": the header's # / TYPES OF OBSERV has no C1 (L1 C/A pseudorange)";
        return nullptr;
    }
    if (file->epochs.empty()) {
        error = path + ": holds no observation epoch";
        return nullptr;
    }
    // A pseudorange is a signal travel time of well under a second; anything else would reach the
    // tool as a transmit time from another epoch.
    const auto c1 = static_cast<std::size_t>(file->header.TypeIndex("C1"));
    for (const RinexObservationEpoch& epoch : file->epochs) {
        for (const RinexSatelliteObservations& sat : epoch.satellites) {
            const RinexObservation& o = sat.values[c1];
            if (o.present && !(o.value > 0.0 && o.value < kSpeedOfLight)) {
                error = path + ":" + std::to_string(epoch.line) + ": C1 of G" +
                        (sat.prn < 10 ? "0" : "") + std::to_string(sat.prn) + " is " +
                        std::to_string(o.value) + " m, not a signal travel of 0 to 1 s";
                return nullptr;
            }
        }
    }
    return std::make_unique<ObservationReplay>(std::move(*file), navigation, snvIntervalSeconds,
                                               durationSeconds);
}

bool ObservationReplay::NextEpoch(EpochPlan& plan) {
    if (next_ >= file_.epochs.size()) {
        return false;
    }
    const RinexObservationEpoch& epoch = file_.epochs[next_];
    const std::int64_t ticks = epoch.time.GpsTicks();
    const double offset = static_cast<double>(ticks - firstTicks_) / kRinexTicksPerSecond;
    if (duration_ && offset >= *duration_) {
        return false;
    }
    ++next_;
    lastOffsetSeconds_ = offset;

    const EpochTimeTag tag = TagEpochTime(ticks - weekStartTicks_);
    const double time = static_cast<double>(tag.ms) / 1000.0;  // simulation time of the tag
    const double remainder = static_cast<double>(tag.remainderTicks) / kRinexTicksPerSecond;
    plan = EpochPlan{};
    plan.timeMs = WeekMilliseconds(tag.ms);
    const double receiveTime = static_cast<double>(plan.timeMs) / 1000.0;  // as the tool forms it

    std::vector<bool> observed(satellites_.size(), false);
    std::vector<PlannedRecord> measurements;
    for (const RinexSatelliteObservations& sat : epoch.satellites) {
        const RinexObservation& c1 = sat.values[static_cast<std::size_t>(c1_)];
        if (!c1.present || sat.prn > kMaxGpsPrn || observed[static_cast<std::size_t>(sat.prn)]) {
            continue;
        }
        observed[static_cast<std::size_t>(sat.prn)] = true;
        MeasurementRecord m{};
        m.prn = static_cast<std::uint8_t>(sat.prn);
        m.status = 1;
        m.rawRange = c1.value / kSpeedOfLight - remainder;
        const RinexObservation* l1 =
            l1_ >= 0 ? &sat.values[static_cast<std::size_t>(l1_)] : nullptr;
        m.fullPhase = l1 != nullptr && l1->present ? l1->value : 0.0;
        measurements.push_back(Planned(kMpcLayout, sat.prn, EncodeMeasurementBody(m)));

        Satellite& state = satellites_[static_cast<std::size_t>(sat.prn)];
        const std::optional<EphemerisRecord> eph = navigation_->Ephemeris(sat.prn, time);
        if (!eph) {
            continue;  // measured, but the tool has nothing to compute it with
        }
        const SnvBody body = EncodeEphemerisBody(*eph);
        const bool due = !state.observedLast || !state.lastSent || *state.lastSent != body ||
                         time - state.lastSnvTime >= snvInterval_;
        if (due) {
            plan.records.push_back(Planned(kSnvLayout, sat.prn, body));
            state.lastSent = body;
            state.lastSnvTime = time;
        }
        const double transmitTime = receiveTime - m.rawRange;
        plan.truth.push_back(
            {plan.timeMs, sat.prn, transmitTime, ComputeSatellitePosition(*eph, transmitTime)});
    }
    for (std::size_t prn = 0; prn < satellites_.size(); ++prn) {
        satellites_[prn].observedLast = observed[prn];
    }
    // The tool reports its satellites by slot.
    std::sort(plan.truth.begin(), plan.truth.end(),
              [](const TruthRow& a, const TruthRow& b) { return a.prn < b.prn; });
    plan.records.insert(plan.records.end(), measurements.begin(), measurements.end());
    plan.records.push_back(Planned(kPbnLayout, -1, EncodeEpochTimeBody(plan.timeMs)));
    return true;
}
