#include "receiver/record_dispatch.hpp"

#include "receiver/record_decoders.hpp"

void DispatchRecord(const RecordKindLayout& kind, std::span<const std::uint8_t> body,
                    SatelliteTables& tables, StatusLines& status, ComputedSatelliteSink* sink) {
    if (body.size() != kind.bodyLength) {
        return;
    }
    switch (kind.kind) {
        case RecordKind::Ephemeris: {
            const DecodedEphemeris decoded = DecodeEphemeris(body.first<134>());
            tables.StoreEphemeris(decoded.record, decoded.slot);
            break;
        }
        case RecordKind::Measurement:
            tables.StoreMeasurement(DecodeMeasurement(body.first<97>()));
            break;
        case RecordKind::EpochTime:
            tables.ProcessEpoch(DecodeEpochTime(body.first<58>()), status, sink);
            break;
    }
}
