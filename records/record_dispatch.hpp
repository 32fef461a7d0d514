// One received body, decoded by its kind, and handed to the satellite tables: the steps shared by
// the receive thread, the raw-log walk and the command-line decoder, so that every one of them
// computes what the window computes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "records/record_decoders.hpp"
#include "records/record_layout.hpp"
#include "records/satellite_tables.hpp"

struct DecodedRecord {
    const RecordKindLayout* layout = nullptr;
    bool trailerGood = false;         // the body ends in CR LF; only then is it trusted
    DecodedEphemeris ephemeris{};     // SNV
    MeasurementRecord measurement{};  // MPC
    std::int32_t timeMs = 0;          // PBN: the epoch time, ms of the GPS week

    // SNV: the PRN minus one plus one; MPC: the PRN; PBN: -1. May name no slot.
    int Slot() const;
};

// `body` must be exactly kind.bodyLength bytes long; a body of another length decodes to nothing
// (trailerGood false, every field zero).
DecodedRecord DecodeRecord(const RecordKindLayout& kind, std::span<const std::uint8_t> body);

// Hands a decoded record to the tables as the receive thread does: a record whose trailer failed
// is kept out. For a PBN that closes an epoch, returns the number of satellites computed.
std::optional<std::int32_t> ApplyRecord(SatelliteTables& tables, const DecodedRecord& record,
                                        ComputedSatelliteSink* sink = nullptr);

// DecodeRecord then ApplyRecord.
inline std::optional<std::int32_t> DispatchRecord(const RecordKindLayout& kind,
                                                  std::span<const std::uint8_t> body,
                                                  SatelliteTables& tables,
                                                  ComputedSatelliteSink* sink = nullptr) {
    return ApplyRecord(tables, DecodeRecord(kind, body), sink);
}
