// What the receive thread knows about each satellite, and the closing of a measurement epoch.
#pragma once

#include <array>
#include <cstdint>

#include "orbit/ephemeris_record.hpp"
#include "orbit/satellite_position.hpp"
#include "receiver/record_decoders.hpp"
#include "receiver/status_lines.hpp"

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
    // Closes the epoch and writes the count to status line 3.
    void ProcessEpoch(std::int32_t timeMs, StatusLines& status,
                      ComputedSatelliteSink* sink = nullptr);
};
