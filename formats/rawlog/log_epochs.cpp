#include "formats/rawlog/log_epochs.hpp"

#include <algorithm>
#include <array>
#include <chrono>

#include "gnss/epoch_time_sequence.hpp"
#include "records/record_dispatch.hpp"

// Everything the walk keeps between entries: the live tool's tables and what an epoch collects.
struct LogEpochWalk::Collector : public ComputedSatelliteSink {
    SatelliteTables tables;
    std::array<bool, kSlotCount> measuredThisEpoch{};  // an MPC since the last PBN entry
    std::array<int, kSlotCount> status{};
    std::array<EpochMeasurement, kSlotCount> measurements{};
    std::size_t count = 0;
    std::array<MeasuredSatellite, kSlotCount> measured{};
    std::size_t measuredCount = 0;

    // Epochs closed by their PBN entry whose time is not judged yet, oldest first: one slot more
    // than the look-ahead, the sequence never holds more.
    struct HeldEpoch {
        std::uint64_t offset = 0;
        std::int32_t timeMs = 0;
        std::array<EpochMeasurement, kSlotCount> measurements{};
        std::size_t count = 0;
        std::array<MeasuredSatellite, kSlotCount> measured{};
        std::size_t measuredCount = 0;
    };
    EpochTimeSequence sequence;
    std::array<HeldEpoch, EpochTimeSequence::kLookAhead + 1> held{};
    std::size_t oldestHeld = 0;

    void Hold(std::uint64_t offset, std::int32_t timeMs) {
        HeldEpoch& h = held[(oldestHeld + sequence.Pending()) % held.size()];
        h.offset = offset;
        h.timeMs = timeMs;
        h.count = count;
        std::copy_n(measurements.begin(), count, h.measurements.begin());
        h.measuredCount = measuredCount;
        std::copy_n(measured.begin(), measuredCount, h.measured.begin());
        sequence.Push(timeMs);
    }

    // Before the tables close the epoch (and forget its measurements): every usable one, with or
    // without an ephemeris, by the rule the tables compute them by.
    void CollectMeasured() {
        measuredCount = 0;
        for (std::size_t s = 0; s < kSlotCount; ++s) {
            if (measuredThisEpoch[s] && tables.measurementValid[s] == 1) {
                const SatelliteState& state = tables.stateTable[s];
                measured[measuredCount++] = {static_cast<int>(s), status[s], state.rawRange,
                                             state.fullPhase, tables.ephemerisValid[s] == 1};
            }
        }
    }

    void SatelliteComputed(std::int32_t, int, double, const SatellitePosition&) override {}
    void SatelliteSolved(std::int32_t, int slot, double transmitTime,
                         const SatelliteSolution& solution) override {
        const auto s = static_cast<std::size_t>(slot);
        if (!measuredThisEpoch[s]) {
            return;  // stale: measured before a PBN entry that failed its trailer
        }
        const SatelliteState& state = tables.stateTable[s];
        measurements[count++] = {
            slot,         status[s],         state.rawRange,      state.fullPhase,
            transmitTime, solution.position, solution.clockOffset};
    }
};

LogEpochWalk::LogEpochWalk(LogEpochVisitor& visitor, std::size_t capacity)
    : visitor_(visitor), framer_(capacity), collector_(std::make_unique<Collector>()) {}

LogEpochWalk::~LogEpochWalk() = default;

void LogEpochWalk::Feed(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty() && !framer_.Finished()) {
        bytes = bytes.subspan(framer_.Feed(bytes));
        Drain();
    }
}

void LogEpochWalk::Finish() {
    framer_.Finish();
    Drain();
    Flush();
}

void LogEpochWalk::Flush() {
    collector_->sequence.Flush();
    HandOnJudged();
}

void LogEpochWalk::Restart() {
    Flush();
    framer_.Reset();
    collector_ = std::make_unique<Collector>();
    times_ = {};
}

void LogEpochWalk::HandOnJudged() {
    Collector& c = *collector_;
    while (const std::optional<EpochTimeSequence::Judged> judged = c.sequence.Next()) {
        const Collector::HeldEpoch& h = c.held[c.oldestHeld];
        c.oldestHeld = (c.oldestHeld + 1) % c.held.size();
        if (judged->verdict == EpochTimeSequence::Verdict::Outlier) {
            ++times_.outliers;
            LogTimeOutlier outlier{h.offset, h.timeMs, std::nullopt};
            if (const std::optional<GpsTime> last = c.sequence.Last()) {
                outlier.lastInSequenceMs = static_cast<std::int32_t>(
                    std::chrono::floor<std::chrono::milliseconds>(last->OfWeek()).count());
            }
            visitor_.TimeOutlier(outlier);
            continue;
        }
        const bool inSequence = judged->verdict == EpochTimeSequence::Verdict::InSequence;
        times_.outOfOrder += inSequence ? 0 : 1;
        visitor_.Epoch({h.offset, h.timeMs, judged->time, inSequence,
                        std::span(h.measurements).first(h.count),
                        std::span(h.measured).first(h.measuredCount)});
    }
}

void LogEpochWalk::Drain() {
    RawLogEntry raw{};
    for (;;) {
        const RawLogFramer::Status status = framer_.Next(raw);
        switch (status) {
            case RawLogFramer::Status::NeedInput:
            case RawLogFramer::Status::End:
                return;
            case RawLogFramer::Status::Entry:
                Handle(raw);
                continue;
            case RawLogFramer::Status::Damaged:
            case RawLogFramer::Status::Truncated: {
                const bool skipped = status == RawLogFramer::Status::Damaged;
                visitor_.Damage({status, framer_.ProblemOffset(), framer_.ProblemText(),
                                 skipped ? framer_.LastSkippedBytes() : 0,
                                 skipped ? framer_.Offset() : 0});
                collector_->measuredThisEpoch.fill(false);
                continue;
            }
        }
    }
}

void LogEpochWalk::Handle(const RawLogEntry& raw) {
    const DecodedRecord record = DecodeRecord(*raw.kind, raw.body);
    LogEntry entry;
    entry.offset = raw.offset;
    entry.kind = raw.kind;
    entry.body = raw.body;
    entry.trailerGood = record.trailerGood;
    entry.slot = record.Slot();
    if (raw.kind->kind == RecordKind::Measurement) {
        entry.status = record.measurement.status;
    }
    entry.timeMs = record.timeMs;
    visitor_.Entry(entry);
    if (raw.kind->kind == RecordKind::Ephemeris) {
        visitor_.Ephemeris(
            {raw.offset, record.ephemeris.slot, record.ephemeris.record, record.trailerGood});
    }
    Collector& c = *collector_;
    if (raw.kind->kind == RecordKind::Measurement && record.trailerGood &&
        NamesSlot(record.measurement.prn)) {
        c.measuredThisEpoch[record.measurement.prn] = true;
        c.status[record.measurement.prn] = record.measurement.status;
    }
    c.count = 0;
    if (raw.kind->kind == RecordKind::EpochTime && record.trailerGood) {
        c.CollectMeasured();
    }
    if (ApplyRecord(c.tables, record, &c)) {
        c.Hold(raw.offset, entry.timeMs);
        HandOnJudged();
    }
    if (raw.kind->kind == RecordKind::EpochTime) {
        c.measuredThisEpoch.fill(false);
    }
}

LogWalkEnd WalkLogEpochs(std::FILE* log, LogEpochVisitor& visitor) {
    LogEpochWalk walk(visitor);
    std::string error;
    while (!walk.Framer().Finished() && !visitor.Done()) {
        if (!FeedFromFile(log, walk.Framer(), error)) {
            walk.Flush();
            return {true, error, walk.Damage(), walk.Times()};
        }
        walk.Drain();
    }
    walk.Flush();
    return {false, "", walk.Damage(), walk.Times()};
}
