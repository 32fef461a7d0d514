#include "tools/sim/signal_physics.hpp"

#include <cmath>

using orbit_constants::kOmegaEarth;

SatellitePosition RotateIntoLaterFrame(const SatellitePosition& p, double seconds) {
    const double angle = kOmegaEarth * seconds;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {c * p.x + s * p.y, -s * p.x + c * p.y, p.z};
}

SignalSolution SolveSignal(const EphemerisRecord& ephemeris, const ReceiverSite& site,
                           double receiveTime) {
    // Iterate on the raw range itself: the tool turns it into the transmit time
    // receiveTime - rawRange, the orbit code turns that into the emission time T - dtsv and the
    // position there; the signal must then have travelled exactly the distance from that position
    // (carried into the frame of the receive instant) to the receiver. Each step corrects the raw
    // range by the mismatch, which shrinks by about v/c per step, until it is below what a time
    // of week in a double resolves. The transmit time is formed here exactly as the tool forms it,
    // so the tool evaluates the orbit at the very same instant.
    constexpr double kTolerance = 1e-10;  // s; a time of week resolves about 6e-11 s
    constexpr int kMaxIterations = 12;
    SignalSolution out{};
    double rawRange = 0.075;
    for (int k = 1; k <= kMaxIterations; ++k) {
        const double transmitTime = receiveTime - rawRange;
        const SatelliteSolution s = SolveSatellitePosition(ephemeris, transmitTime);
        // The orbit code may have moved the time by a week for the clock polynomial.
        const double travel = std::remainder(receiveTime - s.correctedTime, orbit_constants::kWeek);
        const SatellitePosition moved = RotateIntoLaterFrame(s.position, travel);
        const double dx = moved.x - site.ecef.x;
        const double dy = moved.y - site.ecef.y;
        const double dz = moved.z - site.ecef.z;
        const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
        const double mismatch = travel - range / kSpeedOfLight;
        out.rawRange = rawRange;
        out.transmitTime = transmitTime;
        out.emissionTime = s.correctedTime;
        out.position = s.position;
        out.positionAtReception = moved;
        out.geometricRange = range;
        out.iterations = k;
        if (!(std::fabs(mismatch) >= kTolerance) || k == kMaxIterations) {
            break;
        }
        rawRange -= mismatch;
    }
    out.elevationDeg = ElevationDeg(site, out.positionAtReception);
    return out;
}
