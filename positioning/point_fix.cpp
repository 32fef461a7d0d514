#include "positioning/point_fix.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>

#include "gnss/angles.hpp"
#include "gnss/geodesy.hpp"
#include "gnss/local_frame.hpp"
#include "gnss/physical_constants.hpp"
#include "positioning/troposphere.hpp"

namespace {

bool IsFinite(const RangeMeasurement& m) {
    return std::isfinite(m.pseudorange) && std::isfinite(m.satellite.x) &&
           std::isfinite(m.satellite.y) && std::isfinite(m.satellite.z) &&
           std::isfinite(m.satelliteClock);
}

// A point of the earth-fixed frame at one instant, in the frame `seconds` later: the earth has
// turned by Omega_e * seconds under it. The angle stays below 1e-5 rad over a signal's travel, so
// short series give its sine and cosine to the last bit.
Ecef TurnedBy(const Ecef& p, double seconds) {
    const double a = kEarthRotationRate * seconds;
    const double c = 1.0 - a * a / 2.0;
    const double s = a * (1.0 - a * a / 6.0);
    return {c * p.x + s * p.y, -s * p.x + c * p.y, p.z};
}

// DOPs of the final geometry: the position block of (H^T H)^-1, turned into the local east,
// north, up frame at the fix for the horizontal and vertical parts.
void SetDops(const Eigen::Matrix4d& cofactor, const Geodetic& at, PointFix& fix) {
    const LocalFrame frame(at);
    Eigen::Matrix3d toLocal;
    for (int row = 0; const Ecef& axis : {frame.East(), frame.North(), frame.Up()}) {
        toLocal.row(row++) << axis.x, axis.y, axis.z;
    }
    const Eigen::Matrix3d position = cofactor.topLeftCorner<3, 3>();
    const Eigen::Matrix3d local = toLocal * position * toLocal.transpose();
    fix.pdop = std::sqrt(position.trace());
    fix.hdop = std::sqrt(local(0, 0) + local(1, 1));
    fix.vdop = std::sqrt(local(2, 2));
}

}  // namespace

PointFix ComputePointFix(std::span<const RangeMeasurement> measurements,
                         const FixOptions& options) {
    const std::size_t count =
        std::min(measurements.size(), static_cast<std::size_t>(kMaxFixSatellites));
    PointFix fix;
    Eigen::Vector4d estimate = Eigen::Vector4d::Zero();  // x, y, z, c dtr; the earth's centre
    // The rows of the design matrix and the residuals of the latest iteration.
    std::array<Eigen::Vector4d, kMaxFixSatellites> design;
    std::array<double, kMaxFixSatellites> residual;
    std::array<double, kMaxFixSatellites> travel;  // s, of each measurement's signal
    const double sinMask = std::sin(Radians(std::clamp(options.elevationMaskDeg, -90.0, 90.0)));

    for (int iteration = 1; iteration <= kMaxFixIterations; ++iteration) {
        fix.iterations = iteration;
        const Ecef receiver{estimate(0), estimate(1), estimate(2)};
        // The first iteration has no place to look from: no horizon, no atmosphere.
        const bool located = iteration > 1;
        // The local vertical: a satellite's elevation is known by its sine, the component of
        // the unit line of sight along it, and both the mask and the mapping need only that.
        Ecef up;
        const Geodetic here = located ? EcefToGeodetic(receiver, up) : Geodetic{};
        const double zenithDelay = located && options.troposphere
                                       ? ZenithTroposphericDelay(here.latitudeDeg, here.heightM)
                                       : 0.0;

        Eigen::Matrix4d normal = Eigen::Matrix4d::Zero();     // H^T H
        Eigen::Vector4d projected = Eigen::Vector4d::Zero();  // H^T v
        int rows = 0;
        fix.usedMask = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const RangeMeasurement& m = measurements[i];
            if (!IsFinite(m)) {
                continue;
            }
            // The satellite seen in the frame of the receive instant: the earth turned while the
            // signal travelled, for the time the last iteration's range gives (the first, from
            // the earth's centre, takes the satellite's distance from it). By the last iteration
            // that range has settled to below a millimetre, the travel time to 3e-12 s.
            if (iteration == 1) {
                const Ecef& p = m.satellite;
                travel[i] = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) / kSpeedOfLight;
            }
            const Ecef s = TurnedBy(m.satellite, travel[i]);
            const double dx = s.x - receiver.x;
            const double dy = s.y - receiver.y;
            const double dz = s.z - receiver.z;
            const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
            if (!(range > 0.0)) {
                continue;  // a satellite where the receiver is gives no direction
            }
            travel[i] = range / kSpeedOfLight;
            double delay = 0.0;
            if (located) {
                const double sinElevation = (up.x * dx + up.y * dy + up.z * dz) / range;
                if (sinElevation < sinMask) {
                    continue;
                }
                delay = zenithDelay * TroposphericMappingOfSine(sinElevation);
            }
            const double predicted = range + estimate(3) - kSpeedOfLight * m.satelliteClock + delay;
            const Eigen::Vector4d h(-dx / range, -dy / range, -dz / range, 1.0);
            const double v = m.pseudorange - predicted;
            normal.noalias() += h * h.transpose();
            projected += h * v;
            design[rows] = h;
            residual[rows] = v;
            ++rows;
            fix.usedMask |= std::uint64_t{1} << i;
        }
        fix.satellites = rows;
        if (rows < 4) {
            return fix;
        }

        const Eigen::LLT<Eigen::Matrix4d> solver(normal);
        if (solver.info() != Eigen::Success) {
            return fix;  // no geometry: the satellites do not span the four unknowns
        }
        const Eigen::Vector4d update = solver.solve(projected);
        if (!update.allFinite()) {
            return fix;
        }
        estimate += update;
        if (update.norm() < kFixConvergenceM) {
            const Eigen::Matrix4d cofactor = solver.solve(Eigen::Matrix4d::Identity());
            fix.position = {estimate(0), estimate(1), estimate(2)};
            fix.geodetic = EcefToGeodetic(fix.position);
            fix.clockBias = estimate(3) / kSpeedOfLight;
            // What is left of each residual once the last (sub-millimetre) update is applied.
            double squares = 0.0;
            for (int k = 0; k < rows; ++k) {
                const double left = residual[k] - design[k].dot(update);
                squares += left * left;
            }
            fix.rms = std::sqrt(squares / rows);
            SetDops(cofactor, fix.geodetic, fix);
            fix.valid = estimate.allFinite() && cofactor.allFinite() && std::isfinite(fix.rms) &&
                        std::isfinite(fix.pdop) && std::isfinite(fix.hdop) &&
                        std::isfinite(fix.vdop);
            return fix;
        }
    }
    return fix;  // no convergence
}
