#include "satellite_position.hpp"

#include <cmath>
#include <limits>

using namespace orbit_constants;

namespace {

// A week crossover on a time difference: strictly beyond half a week moves it by a whole week.
double WrapHalfWeek(double dt) {
    if (dt > kHalfWeek) {
        dt -= kWeek;
    }
    if (dt < -kHalfWeek) {
        dt += kWeek;
    }
    return dt;
}

}  // namespace

double SolveKepler(double meanAnomaly, double e) {
    double eOld = meanAnomaly;
    double eNew = eOld;
    for (int count = 0; count < kKeplerIterationLimit; ++count) {
        eNew = eOld + (meanAnomaly + e * std::sin(eOld) - eOld) / (1.0 - e * std::cos(eOld));
        // Written so that a NaN difference also ends the iteration.
        if (!(std::fabs(eNew - eOld) >= kKeplerTolerance)) {
            break;
        }
        eOld = eNew;
    }
    return eNew;
}

SatelliteSolution SolveSatellitePosition(const EphemerisRecord& eph, double transmitTime) {
    const double rootA = eph.rootA;
    const double e = eph.e;
    const double a = rootA * rootA;

    // A degenerate ephemeris (no orbit size, or an eccentricity that is no ellipse) has no
    // position: the result is NaN throughout rather than a division by zero or a Kepler
    // iteration on a hyperbola. A received record never looks like this unless it is corrupt.
    if (!(a > 0.0) || !std::isfinite(a * a * a) || !(std::fabs(e) < 1.0)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {{nan, nan, nan}, nan, nan, nan};
    }

    const double toe = eph.toe;
    const double toc = eph.toc;

    // 1. Semi-major axis and corrected mean motion.
    const double n0 = std::sqrt(kMu / (a * a * a));
    const double n = n0 + static_cast<double>(eph.deltaN) * kPi;

    // 2.-4. First pass at the uncorrected time, for the relativistic clock term.
    double t = transmitTime;
    double tk = WrapHalfWeek(t - toe);
    const double m0 = eph.m0 * kPi;
    const double e1 = SolveKepler(m0 + n * tk, e);

    // 5. Week crossover of the time itself, relative to the clock reference.
    if (t - toc > kHalfWeek) {
        t -= kWeek;
    }
    if (t - toc < -kHalfWeek) {
        t += kWeek;
    }

    // 6.-7. Satellite clock offset and the corrected transmit time.
    const double dt = t - toc;
    const double relativistic = kF * e * rootA * std::sin(e1);
    const double clockOffset = static_cast<double>(eph.af0) + static_cast<double>(eph.af1) * dt +
                               static_cast<double>(eph.af2) * dt * dt + relativistic -
                               static_cast<double>(eph.tgd);
    t -= clockOffset;

    // 8.-10. Second pass at the corrected time.
    tk = WrapHalfWeek(t - toe);
    const double bigE = SolveKepler(m0 + n * tk, e);

    // 11. True anomaly; both arguments keep the common denominator.
    const double sinE = std::sin(bigE);
    const double cosE = std::cos(bigE);
    const double denominator = 1.0 - e * cosE;
    const double v = std::atan2(std::sqrt(1.0 - e * e) * sinE / denominator,
                                (cosE - e) / denominator);

    // 12.-14. Argument of latitude and the second-harmonic corrections.
    const double phi = v + eph.omega * kPi;
    const double sin2Phi = std::sin(2.0 * phi);
    const double cos2Phi = std::cos(2.0 * phi);
    const double du = static_cast<double>(eph.cus) * sin2Phi + static_cast<double>(eph.cuc) * cos2Phi;
    const double dr = static_cast<double>(eph.crs) * sin2Phi + static_cast<double>(eph.crc) * cos2Phi;
    const double di = static_cast<double>(eph.cis) * sin2Phi + static_cast<double>(eph.cic) * cos2Phi;
    const double u = phi + du;
    const double r = a * denominator + dr;
    const double i = eph.i0 * kPi + di + static_cast<double>(eph.iDot) * kPi * tk;

    // 15. Position in the orbital plane.
    const double xp = r * std::cos(u);
    const double yp = r * std::sin(u);

    // 16. Longitude of the ascending node, in the earth-fixed frame of the corrected instant.
    const double omegaNode = eph.omega0 * kPi +
                             (static_cast<double>(eph.omegaDot) * kPi - kOmegaEarth) * tk -
                             kOmegaEarth * toe;

    // 17. Earth-fixed coordinates.
    const double sinNode = std::sin(omegaNode);
    const double cosNode = std::cos(omegaNode);
    const double cosI = std::cos(i);
    SatelliteSolution solution{};
    solution.position.x = xp * cosNode - yp * cosI * sinNode;
    solution.position.y = xp * sinNode + yp * cosI * cosNode;
    solution.position.z = yp * std::sin(i);
    solution.clockOffset = clockOffset;
    solution.correctedTime = t;
    solution.tk = tk;
    return solution;
}

SatellitePosition ComputeSatellitePosition(EphemerisRecord ephemeris, double transmitTime) {
    return SolveSatellitePosition(ephemeris, transmitTime).position;
}
