// What the receive thread knows about each satellite, and the closing of a measurement epoch.
#pragma once

#include <array>
#include <cstdint>

#include "orbit/ephemeris_record.hpp"
#include "orbit/satellite_position.hpp"
#include "records/record_decoders.hpp"

struct SatelliteState {
    double receiveTime;
    double transmitTime;
    double rawRange;
    double fullPhase;
    double x;
    double y;
    double z;
};

// Told about every satellite computed at an epoch (the command-line decoder prints them).
class ComputedSatelliteSink {
  public:
    virtual ~ComputedSatelliteSink() = default;
    virtual void SatelliteComputed(std::int32_t timeMs, int slot, double transmitTime,
                                   const SatellitePosition& position) = 0;
    // The same with everything the orbit computation derived on the way (the satellite clock
    // offset for a fix); by default only the position is passed on.
    virtual void SatelliteSolved(std::int32_t timeMs, int slot, double transmitTime,
                                 const SatelliteSolution& solution) {
        SatelliteComputed(timeMs, slot, transmitTime, solution.position);
    }
};

struct SatelliteTables {
    std::array<EphemerisRecord, kSlotCount> ephemerisTable{};
    std::array<SatelliteState, kSlotCount> stateTable{};
    std::array<std::uint8_t, kSlotCount> ephemerisValid{};
    std::array<std::uint8_t, kSlotCount> measurementValid{};
    std::int32_t computedCount = 0;

    // A slot outside 0..36 leaves the tables untouched.
    void StoreEphemeris(const EphemerisRecord& record, int slot);
    void StoreMeasurement(const MeasurementRecord& measurement);
    // Closes the epoch: computes every satellite with a usable measurement and an ephemeris, and
    // returns how many (the count the window shows on its third status line).
    std::int32_t ProcessEpoch(std::int32_t timeMs, ComputedSatelliteSink* sink = nullptr);
};
