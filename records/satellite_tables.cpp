#include "records/satellite_tables.hpp"

void SatelliteTables::StoreEphemeris(const EphemerisRecord& record, int slot) {
    // A satellite number that names no slot comes only from a corrupt record: it is dropped so
    // that nothing is ever written outside the tables.
    if (!NamesSlot(slot)) {
        return;
    }
    ephemerisTable[slot] = record;
    ephemerisValid[slot] = 1;
}

void SatelliteTables::StoreMeasurement(const MeasurementRecord& measurement) {
    const int slot = measurement.prn;
    if (!NamesSlot(slot)) {
        return;
    }
    stateTable[slot].rawRange = measurement.rawRange;
    stateTable[slot].fullPhase = measurement.fullPhase;
    measurementValid[slot] = (measurement.status == 1 || measurement.status == 2) ? 1 : 0;
}

std::int32_t SatelliteTables::ProcessEpoch(std::int32_t timeMs, ComputedSatelliteSink* sink) {
    // The receiver's epoch time keeps its milliseconds: an epoch off the whole second would
    // otherwise move every satellite by up to a second of its motion (about 4 km).
    const double receiveTime = static_cast<double>(timeMs) / 1000.0;
    for (SatelliteState& state : stateTable) {
        state.receiveTime = receiveTime;
        state.transmitTime = receiveTime - state.rawRange;
    }

    computedCount = 0;
    for (int i = 0; i < kSlotCount; ++i) {
        if (measurementValid[i] == 1 && ephemerisValid[i] == 1) {
            ++computedCount;
            SatelliteState& state = stateTable[i];
            // The position of ComputeSatellitePosition, with the clock offset it derives on the
            // way kept for the sink.
            const SatelliteSolution s =
                SolveSatellitePosition(ephemerisTable[i], state.transmitTime);
            state.x = s.position.x;
            state.y = s.position.y;
            state.z = s.position.z;
            if (sink != nullptr) {
                sink->SatelliteSolved(timeMs, i, state.transmitTime, s);
            }
        }
    }

    measurementValid.fill(0);
    return computedCount;
}
