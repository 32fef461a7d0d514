#include "signal_physics.hpp"

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
    // Iterate on the satellite clock's transmit time T: the orbit code turns T into the emission
    // time T - dtsv and the position there; the signal must then have travelled exactly the
    // distance between that position (carried into the frame of the receive instant) and the
    // receiver. Each step corrects T by the mismatch; the mismatch shrinks by about v/c per step.
    constexpr double kTolerance = 1e-13;  // s, about 0.03 mm of range
    constexpr int kMaxIterations = 12;
    SignalSolution out{};
    double transmit = receiveTime - 0.075;
    for (int k = 1; k <= kMaxIterations; ++k) {
        const SatelliteSolution s = SolveSatellitePosition(ephemeris, transmit);
        // The orbit code may have moved the time by a week for the clock polynomial.
        const double travel = std::remainder(receiveTime - s.correctedTime, orbit_constants::kWeek);
        const SatellitePosition moved = RotateIntoLaterFrame(s.position, travel);
        const double dx = moved.x - site.ecef.x;
        const double dy = moved.y - site.ecef.y;
        const double dz = moved.z - site.ecef.z;
        const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
        const double mismatch = travel - range / kSpeedOfLight;
        out.emissionTime = s.correctedTime;
        out.position = s.position;
        out.positionAtReception = moved;
        out.geometricRange = range;
        out.iterations = k;
        if (!(std::fabs(mismatch) >= kTolerance) || k == kMaxIterations) {
            break;
        }
        transmit += mismatch;
    }
    out.rawRange = receiveTime - transmit;
    out.transmitTime = receiveTime - out.rawRange;
    out.elevationDeg = ElevationDeg(site, out.positionAtReception);
    return out;
}
