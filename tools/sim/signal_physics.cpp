#include "tools/sim/signal_physics.hpp"

#include <cmath>

#include "gnss/geodesy.hpp"
#include "positioning/troposphere.hpp"

SatellitePosition RotateIntoLaterFrame(const SatellitePosition& p, double seconds) {
    const double angle = kEarthRotationRate * seconds;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {c * p.x + s * p.y, -s * p.x + c * p.y, p.z};
}

SignalSolution SolveSignal(const EphemerisRecord& ephemeris, const ReceiverSite& site,
                           double receiveTime, const KlobucharParameters* ionosphere) {
    // Iterate on the raw range itself: the tool turns it into the transmit time
    // receiveTime - rawRange, the orbit code turns that into the emission time T - dtsv and the
    // position there; the signal must then have travelled exactly the distance from that position
    // (carried into the frame of the receive instant) to the receiver, plus the atmosphere's
    // delays in the direction it arrives from. Each step corrects the raw range by the mismatch,
    // which shrinks by about v/c per step. The transmit time is formed here exactly as the tool
    // forms it, so the tool evaluates the orbit at the very same instant.
    //
    // The travel time is rawRange + dtsv, the difference of the receive and emission times taken
    // without forming them: a time of week in a double resolves only 6e-11 s (2 cm), the travel
    // time and the clock offset far better. So the ranges hold to micrometres, what a fix of the
    // simulated log needs to return the simulated place.
    constexpr double kTolerance = 1e-14;  // s
    constexpr int kMaxIterations = 12;
    SignalSolution out{};
    double rawRange = 0.075;
    for (int k = 1; k <= kMaxIterations; ++k) {
        const double transmitTime = receiveTime - rawRange;
        const SatelliteSolution s = SolveSatellitePosition(ephemeris, transmitTime);
        const double travel = rawRange + s.clockOffset;
        const SatellitePosition moved = RotateIntoLaterFrame(s.position, travel);
        const double dx = moved.x - site.ecef.x;
        const double dy = moved.y - site.ecef.y;
        const double dz = moved.z - site.ecef.z;
        const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
        const Geodetic where{site.latitudeDeg, site.longitudeDeg, site.heightM};
        const LookAngles look = ComputeLookAngles({site.ecef.x, site.ecef.y, site.ecef.z}, where,
                                                  {moved.x, moved.y, moved.z});
        const double elevation = look.elevationDeg;
        // The atmosphere slows the signal: it arrives later than the straight line allows.
        const double delay = TroposphericDelay(site.latitudeDeg, site.heightM, elevation);
        const double ionospheric =
            ionosphere != nullptr ? KlobucharDelay(*ionosphere, where, look, receiveTime) : 0.0;
        const double mismatch = travel - (range + delay + ionospheric) / kSpeedOfLight;
        out.rawRange = rawRange;
        out.transmitTime = transmitTime;
        out.emissionTime = s.correctedTime;
        out.position = s.position;
        out.positionAtReception = moved;
        out.geometricRange = range;
        out.troposphericDelay = delay;
        out.ionosphericDelay = ionospheric;
        out.elevationDeg = elevation;
        out.iterations = k;
        if (!(std::fabs(mismatch) >= kTolerance) || k == kMaxIterations) {
            break;
        }
        rawRange -= mismatch;
    }
    return out;
}
