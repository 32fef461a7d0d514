#include "tools/sim/observation_replay.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "orbit/satellite_position.hpp"
#include "records/record_layout.hpp"
#include "tools/sim/signal_physics.hpp"

namespace {

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

EpochTimeTag TagEpochTime(GpsDuration sinceWeekStart) {
    // The nearest millisecond; exactly half way goes up.
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(sinceWeekStart +
                                                                  std::chrono::microseconds(500));
    return {ms.count(), sinceWeekStart - ms};
}

ObservationReplay::ObservationReplay(std::unique_ptr<std::istream> in, std::string name,
                                     const EphemerisSource& navigation, int snvIntervalSeconds,
                                     std::optional<double> durationSeconds)
    : in_(std::move(in)),
      name_(std::move(name)),
      navigation_(&navigation),
      snvInterval_(snvIntervalSeconds),
      duration_(durationSeconds),
      satellites_(kMaxGpsPrn + 1) {}

ObservationReplay::~ObservationReplay() = default;

std::unique_ptr<ObservationReplay> ObservationReplay::Load(const std::string& path,
                                                           const EphemerisSource& navigation,
                                                           int snvIntervalSeconds,
                                                           std::optional<double> durationSeconds,
                                                           std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": is a directory, not an observation file";
        return nullptr;
    }
    auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*in) {
        error = path + ": cannot open the observation file";
        return nullptr;
    }
    return Open(std::move(in), path, navigation, snvIntervalSeconds, durationSeconds, error);
}

std::unique_ptr<ObservationReplay> ObservationReplay::Open(
    std::unique_ptr<std::istream> in, const std::string& name, const EphemerisSource& navigation,
    int snvIntervalSeconds, std::optional<double> durationSeconds, std::string& error) {
    std::unique_ptr<ObservationReplay> replay(new ObservationReplay(
        std::move(in), name, navigation, snvIntervalSeconds, durationSeconds));
    if (!replay->Check(error)) {
        return nullptr;
    }
    return replay;
}

// The first reading: the whole file checked, nothing kept but the epoch being read (or, from a
// stream that cannot be read again, what the replay needs of each epoch).
bool ObservationReplay::Check(std::string& error) {
    const std::streampos start = in_->tellg();
    keptInMemory_ = start == std::streampos(-1);
    const auto readError = [&](const RinexObservationReader& reader) {
        return name_ + ":" + std::to_string(reader.Error().line) + ": " + reader.Error().message;
    };
    RinexObservationReader reader(*in_);
    if (!reader.ReadHeader()) {
        error = readError(reader);
        return false;
    }
    header_ = reader.Header();
    c1_ = header_.TypeIndex("C1");
    l1_ = header_.TypeIndex("L1");
    if (c1_ < 0) {
        error = name_ + ": the header's # / TYPES OF OBSERV has no C1 (L1 C/A pseudorange)";
        return false;
    }
    ReplayEpoch epoch;
    while (reader.Next(fileEpoch_)) {
        if (!ToReplayEpoch(fileEpoch_, epoch, error)) {
            return false;
        }
        if (epochCount_++ == 0) {
            first_ = epoch.time;
            weekStart_ = GpsTime::FromWeek(first_.Week(), {});
        }
        if (keptInMemory_) {
            kept_.push_back(std::move(epoch));
        }
    }
    if (reader.Failed()) {
        error = readError(reader);
        return false;
    }
    if (epochCount_ == 0) {
        error = name_ + ": holds no observation epoch";
        return false;
    }
    if (keptInMemory_) {
        return true;
    }
    // The second reading, from the start again.
    in_->clear();
    in_->seekg(start);
    reader_ = std::make_unique<RinexObservationReader>(*in_);
    if (!*in_ || !reader_->ReadHeader()) {
        error = name_ + ": cannot read the observation file a second time";
        return false;
    }
    return true;
}

// What the replay needs of an epoch: the satellites with a C1. A pseudorange is a signal travel
// time of well under a second; anything else would reach the tool as a transmit time from another
// epoch.
bool ObservationReplay::ToReplayEpoch(const RinexObservationEpoch& epoch, ReplayEpoch& out,
                                      std::string& error) {
    out.time = epoch.time;
    out.line = epoch.line;
    out.satellites.clear();
    for (const RinexSatelliteObservations& sat : epoch.satellites) {
        const RinexObservation& c1 = sat.values[static_cast<std::size_t>(c1_)];
        if (!c1.present) {
            continue;
        }
        if (!(c1.value > 0.0 && c1.value < kSpeedOfLight)) {
            error = name_ + ":" + std::to_string(epoch.line) + ": C1 of G" +
                    (sat.prn < 10 ? "0" : "") + std::to_string(sat.prn) + " is " +
                    std::to_string(c1.value) + " m, not a signal travel of 0 to 1 s";
            return false;
        }
        const RinexObservation* l1 =
            l1_ >= 0 ? &sat.values[static_cast<std::size_t>(l1_)] : nullptr;
        out.satellites.push_back(
            {sat.prn, c1.value,
             l1 != nullptr && l1->present ? std::optional<double>(l1->value) : std::nullopt});
    }
    return true;
}

bool ObservationReplay::ReadEpoch(ReplayEpoch& epoch) {
    if (reader_->Next(fileEpoch_)) {
        return ToReplayEpoch(fileEpoch_, epoch, error_);
    }
    if (reader_->Failed()) {
        error_ = name_ + ":" + std::to_string(reader_->Error().line) + ": " +
                 reader_->Error().message + " (the file changed after it was checked)";
    }
    return false;
}

bool ObservationReplay::NextEpoch(EpochPlan& plan) {
    const ReplayEpoch* epoch = &current_;
    if (keptInMemory_) {
        if (next_ >= kept_.size()) {
            return false;
        }
        epoch = &kept_[next_];
    } else if (!ReadEpoch(current_)) {
        return false;
    }
    const double offset = Seconds(epoch->time - first_);
    if (duration_ && offset >= *duration_) {
        return false;
    }
    ++next_;
    lastOffsetSeconds_ = offset;

    const EpochTimeTag tag = TagEpochTime(epoch->time - weekStart_);
    const double time = static_cast<double>(tag.ms) / 1000.0;  // simulation time of the tag
    const double remainder = Seconds(tag.remainder);
    plan = EpochPlan{};
    plan.timeMs = WeekMilliseconds(tag.ms);
    const double receiveTime = static_cast<double>(plan.timeMs) / 1000.0;  // as the tool forms it

    std::vector<bool> observed(satellites_.size(), false);
    std::vector<PlannedRecord> measurements;
    for (const ReplaySatellite& sat : epoch->satellites) {
        if (sat.prn > kMaxGpsPrn || observed[static_cast<std::size_t>(sat.prn)]) {
            continue;
        }
        observed[static_cast<std::size_t>(sat.prn)] = true;
        MeasurementRecord m{};
        m.prn = static_cast<std::uint8_t>(sat.prn);
        m.status = 1;
        m.rawRange = sat.c1 / kSpeedOfLight - remainder;
        m.fullPhase = sat.l1.value_or(0.0);
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
