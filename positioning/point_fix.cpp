#include "positioning/point_fix.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "positioning/geodesy.hpp"
#include "positioning/troposphere.hpp"

using namespace wgs84;

namespace {

using DesignMatrix =
    Eigen::Matrix<double, Eigen::Dynamic, 4, Eigen::ColMajor, kMaxFixSatellites, 4>;
using ResidualVector =
    Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxFixSatellites, 1>;

bool IsFinite(const RangeMeasurement& m) {
    return std::isfinite(m.pseudorange) && std::isfinite(m.satellite.x) &&
           std::isfinite(m.satellite.y) && std::isfinite(m.satellite.z) &&
           std::isfinite(m.satelliteClock);
}

// A point of the earth-fixed frame at one instant, in the frame `seconds` later: the earth has
// turned by Omega_e * seconds under it. The angle stays below 1e-5 rad over a signal's travel, so
// short series give its sine and cosine to the last bit.
Ecef TurnedBy(const Ecef& p, double seconds) {
    const double a = kEarthRotation * seconds;
    const double c = 1.0 - a * a / 2.0;
    const double s = a * (1.0 - a * a / 6.0);
    return {c * p.x + s * p.y, -s * p.x + c * p.y, p.z};
}

double Distance(const Ecef& a, const Ecef& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The satellite's position at transmission seen in the earth-fixed frame of the receive instant.
// The travel time is the distance from the turned position: one more step after a first guess
// from the unturned one brings it within a picosecond.
Ecef IntoReceiveFrame(const Ecef& s, const Ecef& receiver) {
    const Ecef first = TurnedBy(s, Distance(s, receiver) / kSpeedOfLight);
    return TurnedBy(s, Distance(first, receiver) / kSpeedOfLight);
}

// DOPs of the final geometry: the position block of (H^T H)^-1, turned into the local east,
// north, up frame at the fix for the horizontal and vertical parts.
void SetDops(const Eigen::Matrix4d& cofactor, const Geodetic& at, PointFix& fix) {
    const double lat = at.latitudeDeg * (std::numbers::pi / 180.0);
    const double lon = at.longitudeDeg * (std::numbers::pi / 180.0);
    Eigen::Matrix3d toLocal;
    toLocal << -std::sin(lon), std::cos(lon), 0.0,                                      // east
        -std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat),  // north
        std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat);    // up
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
    DesignMatrix design;
    ResidualVector residual;

    for (int iteration = 1; iteration <= kMaxFixIterations; ++iteration) {
        fix.iterations = iteration;
        const Ecef receiver{estimate(0), estimate(1), estimate(2)};
        // The first iteration has no place to look from: no horizon, no atmosphere.
        const bool located = iteration > 1;
        const Geodetic here = located ? EcefToGeodetic(receiver) : Geodetic{};
        const double zenithDelay = located && options.troposphere
                                       ? ZenithTroposphericDelay(here.latitudeDeg, here.heightM)
                                       : 0.0;

        design.resize(static_cast<Eigen::Index>(count), 4);
        residual.resize(static_cast<Eigen::Index>(count));
        Eigen::Index rows = 0;
        fix.usedMask = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const RangeMeasurement& m = measurements[i];
            if (!IsFinite(m)) {
                continue;
            }
            const Ecef s = IntoReceiveFrame(m.satellite, receiver);
            double delay = 0.0;
            if (located) {
                const double elevation = ComputeLookAngles(receiver, here, s).elevationDeg;
                if (elevation < options.elevationMaskDeg) {
                    continue;
                }
                delay = zenithDelay * TroposphericMapping(elevation);
            }
            const double dx = s.x - receiver.x;
            const double dy = s.y - receiver.y;
            const double dz = s.z - receiver.z;
            const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
            const double predicted = range + estimate(3) - kSpeedOfLight * m.satelliteClock + delay;
            design.row(rows) << -dx / range, -dy / range, -dz / range, 1.0;
            residual(rows) = m.pseudorange - predicted;
            ++rows;
            fix.usedMask |= std::uint64_t{1} << i;
        }
        fix.satellites = static_cast<int>(rows);
        if (rows < 4) {
            return fix;
        }

        const auto h = design.topRows(rows);
        const auto v = residual.head(rows);
        const Eigen::Matrix4d normal = h.transpose() * h;
        const Eigen::LDLT<Eigen::Matrix4d> solver(normal);
        if (solver.info() != Eigen::Success || !solver.isPositive()) {
            return fix;
        }
        const Eigen::Vector4d update = solver.solve(h.transpose() * v);
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
            fix.rms = std::sqrt((v - h * update).squaredNorm() / static_cast<double>(rows));
            SetDops(cofactor, fix.geodetic, fix);
            fix.valid = estimate.allFinite() && cofactor.allFinite() && std::isfinite(fix.rms) &&
                        std::isfinite(fix.pdop) && std::isfinite(fix.hdop) &&
                        std::isfinite(fix.vdop);
            return fix;
        }
    }
    return fix;  // no convergence
}
