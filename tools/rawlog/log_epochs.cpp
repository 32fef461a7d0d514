#include "tools/rawlog/log_epochs.hpp"

#include <array>
#include <memory>
#include <string_view>

#include "receiver/record_decoders.hpp"
#include "receiver/satellite_tables.hpp"
#include "receiver/status_lines.hpp"

namespace {

class NoStatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine, std::string_view) override {}
};

// Everything the walk keeps between entries: the live tool's tables and what an epoch collects.
class EpochCollector : public ComputedSatelliteSink {
  public:
    SatelliteTables tables;
    std::array<bool, kSlotCount> measuredThisEpoch{};  // an MPC since the last PBN entry
    std::array<int, kSlotCount> status{};
    std::array<EpochMeasurement, kSlotCount> measurements{};
    std::size_t count = 0;

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
    NoStatusLines noStatus;
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
        LogEntry entry;
        entry.offset = raw.offset;
        entry.kind = raw.kind;
        entry.body = raw.body;
        entry.trailerGood = HasRecordTrailer(raw.body);
        switch (raw.kind->kind) {
            case RecordKind::Ephemeris: {
                const DecodedEphemeris d = DecodeEphemeris(raw.body.first<134>());
                entry.slot = d.slot;
                visitor.Entry(entry);
                visitor.Ephemeris({raw.offset, d.slot, d.record, entry.trailerGood});
                if (entry.trailerGood) {
                    collector->tables.StoreEphemeris(d.record, d.slot);
                }
                break;
            }
            case RecordKind::Measurement: {
                const MeasurementRecord m = DecodeMeasurement(raw.body.first<97>());
                entry.slot = m.prn;
                entry.status = m.status;
                visitor.Entry(entry);
                if (entry.trailerGood && NamesSlot(m.prn)) {
                    collector->tables.StoreMeasurement(m);
                    collector->measuredThisEpoch[m.prn] = true;
                    collector->status[m.prn] = m.status;
                }
                break;
            }
            case RecordKind::EpochTime: {
                entry.timeMs = DecodeEpochTime(raw.body.first<58>());
                visitor.Entry(entry);
                if (entry.trailerGood) {
                    collector->count = 0;
                    collector->tables.ProcessEpoch(entry.timeMs, noStatus, collector.get());
                    visitor.Epoch({raw.offset, entry.timeMs,
                                   std::span(collector->measurements).first(collector->count)});
                }
                collector->measuredThisEpoch.fill(false);
                break;
            }
        }
    }
}
