#include "records/record_dispatch.hpp"

int DecodedRecord::Slot() const {
    if (layout == nullptr) {
        return -1;
    }
    switch (layout->kind) {
        case RecordKind::Ephemeris:
            return ephemeris.slot;
        case RecordKind::Measurement:
            return measurement.prn;
        case RecordKind::EpochTime:
            break;
    }
    return -1;
}

DecodedRecord DecodeRecord(const RecordKindLayout& kind, std::span<const std::uint8_t> body) {
    DecodedRecord record;
    record.layout = &kind;
    if (body.size() != kind.bodyLength) {
        return record;
    }
    record.trailerGood = HasRecordTrailer(body);
    switch (kind.kind) {
        case RecordKind::Ephemeris:
            record.ephemeris = DecodeEphemeris(body.first<134>());
            break;
        case RecordKind::Measurement:
            record.measurement = DecodeMeasurement(body.first<97>());
            break;
        case RecordKind::EpochTime:
            record.timeMs = DecodeEpochTime(body.first<58>());
            break;
    }
    return record;
}

std::optional<std::int32_t> ApplyRecord(SatelliteTables& tables, const DecodedRecord& record,
                                        ComputedSatelliteSink* sink) {
    if (!record.trailerGood) {
        return std::nullopt;
    }
    switch (record.layout->kind) {
        case RecordKind::Ephemeris:
            tables.StoreEphemeris(record.ephemeris.record, record.ephemeris.slot);
            break;
        case RecordKind::Measurement:
            tables.StoreMeasurement(record.measurement);
            break;
        case RecordKind::EpochTime:
            return tables.ProcessEpoch(record.timeMs, sink);
    }
    return std::nullopt;
}
