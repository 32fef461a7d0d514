// Decoding of the three record bodies by whole-span byte reversal. The decoders accept any
// content and keep nothing between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "orbit/ephemeris_record.hpp"
#include "records/record_layout.hpp"

struct MeasurementRecord {
    std::uint8_t prn;     // the satellite's PRN, used as its slot
    std::uint8_t status;  // 1 or 2: usable
    double fullPhase;
    double rawRange;  // s; signal travel time
};

struct DecodedEphemeris {
    EphemerisRecord record;
    int slot;  // prn + 1; may name no slot (outside 0..36) for a corrupt record
};

// R[n - 1 - k] = body[k] for k = 0 .. n - 1. `out` must hold at least n bytes.
void ReverseBody(const std::uint8_t* body, std::size_t n, std::uint8_t* out);

// Each takes the whole body of its kind (134, 97 or 58 bytes).
DecodedEphemeris DecodeEphemeris(std::span<const std::uint8_t, 134> body);
MeasurementRecord DecodeMeasurement(std::span<const std::uint8_t, 97> body);
std::int32_t DecodeEpochTime(std::span<const std::uint8_t, 58> body);

// True when `slot` is one of the 37 table slots.
constexpr bool NamesSlot(int slot) {
    return slot >= 0 && slot < kSlotCount;
}

// The trailer test of a received body: both of its last two bytes must be CR LF. A body that
// fails it cannot be trusted and is not handed to the satellite tables.
bool HasRecordTrailer(std::span<const std::uint8_t> body);
