// The measurement a receiver at a known place makes of one satellite: the signal's travel time
// from a light-time iteration, with the earth's rotation during the travel, the standard
// tropospheric delay at the receiver (positioning/troposphere.hpp, as the fix models it), on
// request the broadcast ionospheric delay (positioning/ionosphere.hpp) and the satellite's clock
// offset, so that the tool's computation, ComputeSatellitePosition(ephemeris,
// receiveTime - rawRange), lands on the satellite's position at the instant it sent the signal.
#pragma once

#include "gnss/physical_constants.hpp"
#include "orbit/ephemeris_record.hpp"
#include "orbit/satellite_position.hpp"
#include "positioning/ionosphere.hpp"
#include "tools/sim/receiver_site.hpp"

struct SignalSolution {
    double rawRange;             // s: receive time minus the satellite clock's transmit time
    double transmitTime;         // receiveTime - rawRange, as the tool forms it
    double emissionTime;         // GPS time of emission (the clock-corrected transmit time)
    SatellitePosition position;  // at emission, earth-fixed frame of the emission instant
    SatellitePosition positionAtReception;  // the same point in the frame of the receive instant
    double geometricRange;                  // m, from the emission point to the receiver
    double troposphericDelay;               // m, added to the travel by the neutral atmosphere
    double ionosphericDelay;                // m, added by the ionosphere (0 unless asked for)
    double elevationDeg;
    int iterations;
};

// `receiveTime` in seconds of the GPS week. With `ionosphere`, the signal also carries the
// broadcast model's delay for those coefficients.
SignalSolution SolveSignal(const EphemerisRecord& ephemeris, const ReceiverSite& site,
                           double receiveTime, const KlobucharParameters* ionosphere = nullptr);

// A point of the earth-fixed frame at one instant, expressed in the earth-fixed frame `seconds`
// later (the earth has turned under it).
SatellitePosition RotateIntoLaterFrame(const SatellitePosition& p, double seconds);
