#include "formats/rawlog/log_epochs.hpp"

#include <array>
#include <memory>

#include "records/record_dispatch.hpp"

namespace {

// Everything the walk keeps between entries: the live tool's tables and what an epoch collects.
class EpochCollector : public ComputedSatelliteSink {
  public:
    SatelliteTables tables;
    std::array<bool, kSlotCount> measuredThisEpoch{};  // an MPC since the last PBN entry
    std::array<int, kSlotCount> status{};
    std::array<EpochMeasurement, kSlotCount> measurements{};
    std::size_t count = 0;
    std::array<MeasuredSatellite, kSlotCount> measured{};
    std::size_t measuredCount = 0;

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

}  // namespace

LogWalkEnd WalkLogEpochs(std::FILE* log, LogEpochVisitor& visitor) {
    RawLogReader reader(log);
    RawLogEntry raw{};
    // The tables are large (37 ephemerides): kept off the stack.
    auto collector = std::make_unique<EpochCollector>();
    for (;;) {
        const RawLogReader::Status status = reader.Next(raw);
        if (status == RawLogReader::Status::Truncated || status == RawLogReader::Status::Damaged) {
            const bool skipped = status == RawLogReader::Status::Damaged;
            visitor.Damage({status, reader.ProblemOffset(), reader.ProblemText(),
                            skipped ? reader.LastSkippedBytes() : 0,
                            skipped ? reader.Offset() : 0});
            collector->measuredThisEpoch.fill(false);
            continue;
        }
        if (status != RawLogReader::Status::Entry) {
            return {status, status == RawLogReader::Status::ReadError ? reader.ProblemText() : "",
                    reader.Damage()};
        }
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
        visitor.Entry(entry);
        if (raw.kind->kind == RecordKind::Ephemeris) {
            visitor.Ephemeris(
                {raw.offset, record.ephemeris.slot, record.ephemeris.record, record.trailerGood});
        }
        if (raw.kind->kind == RecordKind::Measurement && record.trailerGood &&
            NamesSlot(record.measurement.prn)) {
            collector->measuredThisEpoch[record.measurement.prn] = true;
            collector->status[record.measurement.prn] = record.measurement.status;
        }
        collector->count = 0;
        if (raw.kind->kind == RecordKind::EpochTime && record.trailerGood) {
            collector->CollectMeasured();
        }
        if (ApplyRecord(collector->tables, record, collector.get())) {
            visitor.Epoch({raw.offset, entry.timeMs,
                           std::span(collector->measurements).first(collector->count),
                           std::span(collector->measured).first(collector->measuredCount)});
        }
        if (raw.kind->kind == RecordKind::EpochTime) {
            collector->measuredThisEpoch.fill(false);
        }
    }
}
