#include "formats/rawlog/log_epochs.hpp"

#include <array>

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
    WeekTracker weeks;

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

// Epochs go out as their PBN entry arrives: nothing is held back yet.
void LogEpochWalk::Flush() {}

void LogEpochWalk::Restart() {
    framer_.Reset();
    collector_ = std::make_unique<Collector>();
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
        visitor_.Epoch({raw.offset, entry.timeMs, c.weeks.TimeOf(entry.timeMs),
                        std::span(c.measurements).first(c.count),
                        std::span(c.measured).first(c.measuredCount)});
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
            return {true, error, walk.Damage()};
        }
        walk.Drain();
    }
    walk.Flush();
    return {false, "", walk.Damage()};
}
