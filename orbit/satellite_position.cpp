#include "orbit/satellite_position.hpp"

#include <cfloat>
#include <cmath>
#include <limits>

#include "gnss/gps_time.hpp"
#include "gnss/physical_constants.hpp"
#include "orbit/sine_cosine.hpp"

// Every build must compute the same doubles: each operation rounded to double, never carried in
// extended precision (32-bit x86 builds need SSE2 arithmetic, -msse2 -mfpmath=sse), and every
// sine and cosine taken from SinCos, never from the C runtime, whose functions differ by build.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must round to double (use SSE2 on x86)");

using namespace orbit_constants;

namespace {

constexpr double kMu = kEarthGravitationalParameter;
constexpr double kOmegaEarth = kEarthRotationRate;
constexpr double kHalfWeek = kHalfWeekSeconds;
constexpr double kWeek = kSecondsPerWeek;

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

// sin and cos of a + d from those of a, for a small d (|d| < 1e-3): the series are exact to far
// below a double's rounding there, and cost no call into the maths library.
void RotateBySmallAngle(double& sinA, double& cosA, double d) {
    const double d2 = d * d;
    const double sinD = d * (1.0 - d2 / 6.0 * (1.0 - d2 / 20.0));
    const double cosD = 1.0 - d2 / 2.0 * (1.0 - d2 / 12.0 * (1.0 - d2 / 30.0));
    const double s = sinA * cosD + cosA * sinD;
    const double c = cosA * cosD - sinA * sinD;
    sinA = s;
    cosA = c;
}

void SinCosOf(double angle, double& sinA, double& cosA) {
    const SineCosine sc = SinCos(angle);
    sinA = sc.sin;
    cosA = sc.cos;
}

struct KeplerSolution {
    double E;
    double sinE;
    double cosE;
};

// The Newton iteration, also returning sin E and cos E. The last update is smaller than the
// tolerance unless the limit was reached, so they follow from the sine and cosine the iteration
// already evaluated at the iterate the last update started from (`eEvaluated`; at the limit the
// loop has moved eOld on to the returned E, so eOld is not that iterate).
KeplerSolution SolveKeplerWithTrig(double meanAnomaly, double e) {
    double eOld = meanAnomaly;
    double eNew = eOld;
    double eEvaluated = eOld;
    double sinOld = 0.0, cosOld = 1.0;
    for (int count = 0; count < kKeplerIterationLimit; ++count) {
        SinCosOf(eOld, sinOld, cosOld);
        eEvaluated = eOld;
        eNew = eOld + (meanAnomaly + e * sinOld - eOld) / (1.0 - e * cosOld);
        // Written so that a NaN difference also ends the iteration.
        if (!(std::fabs(eNew - eOld) >= kKeplerTolerance)) {
            break;
        }
        eOld = eNew;
    }
    const double step = eNew - eEvaluated;
    if (std::fabs(step) < 1e-3) {
        RotateBySmallAngle(sinOld, cosOld, step);
        return {eNew, sinOld, cosOld};
    }
    double sinE, cosE;
    SinCosOf(eNew, sinE, cosE);
    return {eNew, sinE, cosE};
}

}  // namespace

double SolveKepler(double meanAnomaly, double e) {
    return SolveKeplerWithTrig(meanAnomaly, e).E;
}

// The user algorithm for ephemeris determination of IS-GPS-200, Table 20-IV, run twice: once at
// the transmit time as received, for the relativistic term of the satellite clock correction
// (IS-GPS-200, 20.3.3.3.3.1, with the group delay of 20.3.3.3.3.2), and once at the transmit time
// corrected by that clock offset. The comments below name the quantities of the table.
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

    // Semi-major axis A, computed mean motion n0 and corrected mean motion n.
    const double n0 = std::sqrt(kMu / (a * a * a));
    const double n = n0 + static_cast<double>(eph.deltaN) * kPi;

    // Time from ephemeris reference epoch tk (with the table's week crossover), mean anomaly Mk
    // and Kepler's equation for Ek, first at the uncorrected time: Ek feeds the relativistic term.
    double t = transmitTime;
    double tk = WrapHalfWeek(t - toe);
    const double m0 = eph.m0 * kPi;
    const KeplerSolution first = SolveKeplerWithTrig(m0 + n * tk, e);

    // The same week crossover for the time itself, relative to the clock reference toc.
    if (t - toc > kHalfWeek) {
        t -= kWeek;
    }
    if (t - toc < -kHalfWeek) {
        t += kWeek;
    }

    // Satellite clock correction (af0, af1, af2, the relativistic term F e sqrt(A) sin Ek, less
    // TGD for a single-frequency user) and the corrected transmit time.
    const double dt = t - toc;
    const double relativistic = kF * e * rootA * first.sinE;
    const double clockOffset = static_cast<double>(eph.af0) + static_cast<double>(eph.af1) * dt +
                               static_cast<double>(eph.af2) * dt * dt + relativistic -
                               static_cast<double>(eph.tgd);
    t -= clockOffset;

    // tk, Mk and Ek again at the corrected time.
    tk = WrapHalfWeek(t - toe);
    const KeplerSolution second = SolveKeplerWithTrig(m0 + n * tk, e);

    // True anomaly vk: its two atan2 arguments of the table, sharing the denominator 1 - e cos E,
    // lie on the unit circle ((1 - e^2) sin^2 E + (cos E - e)^2 = (1 - e cos E)^2), so they are sin
    // v and cos v themselves. v is only ever used through the sine and cosine of the angles built
    // on it, which follow by the addition theorems: this spares atan2 and three sin/cos pairs.
    const double denominator = 1.0 - e * second.cosE;
    const double sinV = std::sqrt(1.0 - e * e) * second.sinE / denominator;
    const double cosV = (second.cosE - e) / denominator;

    // Argument of latitude phi_k = vk + omega.
    double sinOmega, cosOmega;
    SinCosOf(eph.omega * kPi, sinOmega, cosOmega);
    const double sinPhi = sinV * cosOmega + cosV * sinOmega;
    const double cosPhi = cosV * cosOmega - sinV * sinOmega;

    // Second harmonic perturbations delta-uk, delta-rk, delta-ik, with the angle 2 phi_k.
    const double sin2Phi = 2.0 * sinPhi * cosPhi;
    const double cos2Phi = (cosPhi - sinPhi) * (cosPhi + sinPhi);
    const double du =
        static_cast<double>(eph.cus) * sin2Phi + static_cast<double>(eph.cuc) * cos2Phi;
    const double dr =
        static_cast<double>(eph.crs) * sin2Phi + static_cast<double>(eph.crc) * cos2Phi;
    const double di =
        static_cast<double>(eph.cis) * sin2Phi + static_cast<double>(eph.cic) * cos2Phi;

    // Corrected argument of latitude uk, radius rk and inclination ik, and the position xk', yk'
    // in the orbital plane.
    double sinU = sinPhi, cosU = cosPhi;
    if (std::fabs(du) < 1e-3) {
        RotateBySmallAngle(sinU, cosU, du);
    } else {  // only a corrupt record gets here
        double sinDu, cosDu;
        SinCosOf(du, sinDu, cosDu);
        sinU = sinPhi * cosDu + cosPhi * sinDu;
        cosU = cosPhi * cosDu - sinPhi * sinDu;
    }
    const double r = a * denominator + dr;
    const double i = eph.i0 * kPi + di + static_cast<double>(eph.iDot) * kPi * tk;
    const double xp = r * cosU;
    const double yp = r * sinU;

    // Corrected longitude of ascending node Omega_k, in the earth-fixed frame of the corrected
    // instant.
    const double omegaNode = eph.omega0 * kPi +
                             (static_cast<double>(eph.omegaDot) * kPi - kOmegaEarth) * tk -
                             kOmegaEarth * toe;

    // Earth-fixed coordinates xk, yk, zk.
    double sinNode, cosNode, sinI, cosI;
    SinCosOf(omegaNode, sinNode, cosNode);
    SinCosOf(i, sinI, cosI);
    SatelliteSolution solution{};
    solution.position.x = xp * cosNode - yp * cosI * sinNode;
    solution.position.y = xp * sinNode + yp * cosI * cosNode;
    solution.position.z = yp * sinI;
    solution.clockOffset = clockOffset;
    solution.correctedTime = t;
    solution.tk = tk;
    return solution;
}

SatellitePosition ComputeSatellitePosition(EphemerisRecord ephemeris, double transmitTime) {
    return SolveSatellitePosition(ephemeris, transmitTime).position;
}
