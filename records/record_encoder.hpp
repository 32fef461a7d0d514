// Encodes records as the receiver sends them: fields big-endian at their body offsets, CR LF at
// the end. Written independently of the decoders (no byte reversal), so that the two keep each
// other honest. Used by the simulator and the tests; the system itself never encodes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "orbit/ephemeris_record.hpp"
#include "records/record_decoders.hpp"
#include "records/record_layout.hpp"

using SnvBody = std::array<std::uint8_t, 134>;
using MpcBody = std::array<std::uint8_t, 97>;
using PbnBody = std::array<std::uint8_t, 58>;

// The PRN byte is taken from record.prn (the PRN minus one). The two bytes before CR LF carry a
// 16-bit sum of the 130 decoded bytes, as a checksum the system does not verify.
SnvBody EncodeEphemerisBody(const EphemerisRecord& record);
MpcBody EncodeMeasurementBody(const MeasurementRecord& measurement);
PbnBody EncodeEpochTimeBody(std::int32_t timeMs);

// "$PASHR", the separator, the kind tag, the body: one response as it crosses the line.
void AppendFramedRecord(std::vector<std::uint8_t>& out, const RecordKindLayout& kind,
                        std::span<const std::uint8_t> body,
                        std::uint8_t separator = framing::kSeparator);

// The kind tag and the body: one entry of the raw log.
void AppendLogEntry(std::vector<std::uint8_t>& out, const RecordKindLayout& kind,
                    std::span<const std::uint8_t> body);
