#include "positioning/point_fix.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>

#include "gnss/angles.hpp"
#include "gnss/geodesy.hpp"
#include "gnss/local_frame.hpp"
#include "gnss/physical_constants.hpp"
#include "positioning/chi_square.hpp"
#include "positioning/range_noise.hpp"
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

// DOPs of the final geometry: the position block of (H^T H)^-1 (unweighted, as DOPs are
// defined), turned into the local frame at the fix for the horizontal and vertical parts.
void SetDops(const Eigen::Matrix4d& geometry, PointFix& fix) {
    const Eigen::Matrix4d cofactor = geometry.inverse();
    const LocalFrame frame(fix.geodetic);
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

// One measurement's line of the model linearised at the current estimate.
struct Row {
    Eigen::Vector4d h;  // d(modelled pseudorange) / d(x, y, z, c dtr)
    double residual;    // measured minus modelled, m
    double weight;      // 1 / variance, 1/m^2
};

// A converged least-squares solution over one set of measurements.
struct Solution {
    FixOutcome outcome = FixOutcome::TooFewSatellites;
    Eigen::Vector4d estimate = Eigen::Vector4d::Zero();  // x, y, z, c dtr (m)
    int rows = 0;
    int iterations = 0;
    std::uint64_t used = 0;
    Eigen::Matrix4d geometry = Eigen::Matrix4d::Zero();  // H^T H
    double squares = 0;                                  // of the residuals after the fix
    double statistic = 0;                                // weighted sum of squared residuals
};

class Fixer {
  public:
    Fixer(std::span<const RangeMeasurement> measurements, const FixOptions& options,
          const FixEpoch& epoch)
        : m_(measurements.first(
              std::min(measurements.size(), static_cast<std::size_t>(kMaxFixSatellites)))),
          options_(options),
          epoch_(epoch),
          sinMask_(std::sin(Radians(std::clamp(options.elevationMaskDeg, -90.0, 90.0)))) {}

    // Step 2: iterated weighted least squares from `start` over the measurements not in
    // `excluded`; `located` when the start is a place to look from.
    Solution Iterate(const Eigen::Vector4d& start, bool located, std::uint64_t excluded);

    std::span<const RangeMeasurement> Measurements() const { return m_; }

  private:
    // Step 1: the rows of every usable measurement at `estimate`; returns how many.
    int Residuals(const Eigen::Vector4d& estimate, bool located, std::uint64_t excluded,
                  std::uint64_t& used);

    std::span<const RangeMeasurement> m_;
    FixOptions options_;
    FixEpoch epoch_;
    double sinMask_;
    std::array<Row, kMaxFixSatellites> rows_;
    std::array<double, kMaxFixSatellites> travel_;  // s, of each measurement's signal
};

int Fixer::Residuals(const Eigen::Vector4d& estimate, bool located, std::uint64_t excluded,
                     std::uint64_t& used) {
    const Ecef receiver{estimate(0), estimate(1), estimate(2)};
    // The local vertical: a satellite's elevation is known by its sine, the component of the
    // unit line of sight along it, and both the mask and the mapping need only that.
    Ecef up;
    const Geodetic here = located ? EcefToGeodetic(receiver, up) : Geodetic{};
    const double zenithDelay = located && options_.troposphere
                                   ? ZenithTroposphericDelay(here.latitudeDeg, here.heightM)
                                   : 0.0;
    const bool ionosphere = located && options_.ionosphere.has_value();
    // East and north of the place, for the azimuth the ionospheric model needs.
    Ecef east, north;
    if (ionosphere) {
        const LocalFrame frame(here);
        east = frame.East();
        north = frame.North();
    }
    int rows = 0;
    used = 0;
    for (std::size_t i = 0; i < m_.size(); ++i) {
        const RangeMeasurement& m = m_[i];
        if (!IsFinite(m) || (excluded >> i & 1U) != 0) {
            continue;
        }
        // The satellite seen in the frame of the receive instant: the earth turned while the
        // signal travelled, for the time the last iteration's range gives. By the last iteration
        // that range has settled to below a millimetre, the travel time to 3e-12 s.
        const Ecef s = TurnedBy(m.satellite, travel_[i]);
        const double dx = s.x - receiver.x;
        const double dy = s.y - receiver.y;
        const double dz = s.z - receiver.z;
        const double range = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (!(range > 0.0)) {
            continue;  // a satellite where the receiver is gives no direction
        }
        travel_[i] = range / kSpeedOfLight;
        double delay = 0.0;
        double ionosphericDelay = 0.0;
        double sinElevation = 1.0;  // before there is a place: every satellite counts alike
        if (located) {
            sinElevation = (up.x * dx + up.y * dy + up.z * dz) / range;
            if (sinElevation < sinMask_) {
                continue;
            }
            delay = zenithDelay * TroposphericMappingOfSine(sinElevation);
            if (ionosphere) {
                const double e = (east.x * dx + east.y * dy + east.z * dz) / range;
                const double n = (north.x * dx + north.y * dy + north.z * dz) / range;
                double azimuth = Degrees(std::atan2(e, n));
                azimuth += azimuth < 0.0 ? 360.0 : 0.0;
                const LookAngles look{azimuth,
                                      Degrees(std::asin(std::clamp(sinElevation, -1.0, 1.0)))};
                ionosphericDelay =
                    KlobucharDelay(*options_.ionosphere, here, look, epoch_.receiveTime);
                delay += ionosphericDelay;
            }
        }
        const double predicted = range + estimate(3) - kSpeedOfLight * m.satelliteClock + delay;
        Row& row = rows_[static_cast<std::size_t>(rows)];
        row.h = Eigen::Vector4d(-dx / range, -dy / range, -dz / range, 1.0);
        row.residual = m.pseudorange - predicted;
        row.weight = 1.0 / RangeVariance(sinElevation, ionosphericDelay, ionosphere);
        ++rows;
        used |= std::uint64_t{1} << i;
    }
    return rows;
}

Solution Fixer::Iterate(const Eigen::Vector4d& start, bool located, std::uint64_t excluded) {
    Solution out;
    out.estimate = start;
    // The first travel times from the start; from the earth's centre, the satellite's distance
    // from it.
    const Ecef from{start(0), start(1), start(2)};
    for (std::size_t i = 0; i < m_.size(); ++i) {
        const Ecef& p = m_[i].satellite;
        travel_[i] = std::hypot(p.x - from.x, p.y - from.y, p.z - from.z) / kSpeedOfLight;
    }
    for (int iteration = 1; iteration <= kMaxFixIterations; ++iteration) {
        out.iterations = iteration;
        const bool here = located || iteration > 1;
        out.rows = Residuals(out.estimate, here, excluded, out.used);
        if (out.rows < 4) {
            out.outcome = FixOutcome::TooFewSatellites;
            return out;
        }
        Eigen::Matrix4d normal = Eigen::Matrix4d::Zero();     // H^T W H
        Eigen::Vector4d projected = Eigen::Vector4d::Zero();  // H^T W v
        for (int k = 0; k < out.rows; ++k) {
            const Row& r = rows_[static_cast<std::size_t>(k)];
            normal.noalias() += r.weight * r.h * r.h.transpose();
            projected += r.weight * r.residual * r.h;
        }
        const Eigen::LLT<Eigen::Matrix4d> solver(normal);
        if (solver.info() != Eigen::Success) {
            out.outcome = FixOutcome::NoGeometry;
            return out;
        }
        const Eigen::Vector4d update = solver.solve(projected);
        if (!update.allFinite()) {
            out.outcome = FixOutcome::NoConvergence;
            return out;
        }
        out.estimate += update;
        // A fix is only taken from an iteration that already looked from a place (the mask and
        // the atmosphere applied).
        if (here && update.norm() < kFixConvergenceM) {
            // What is left of each residual once the last (sub-millimetre) update is applied.
            for (int k = 0; k < out.rows; ++k) {
                const Row& r = rows_[static_cast<std::size_t>(k)];
                const double left = r.residual - r.h.dot(update);
                out.squares += left * left;
                out.statistic += r.weight * left * left;
                out.geometry.noalias() += r.h * r.h.transpose();
            }
            out.outcome = out.estimate.allFinite() && std::isfinite(out.statistic)
                              ? FixOutcome::Fixed
                              : FixOutcome::NoConvergence;
            return out;
        }
    }
    out.outcome = FixOutcome::NoConvergence;
    return out;
}

// Step 3: whether the residuals agree with the noise model.
bool Passes(const Solution& s) {
    return s.rows <= 4 || s.statistic <= ChiSquareLimit(s.rows - 4);
}

PointFix ToPointFix(const Solution& s, std::uint64_t excluded) {
    PointFix fix;
    fix.outcome = s.outcome;
    fix.satellites = s.rows;
    fix.iterations = s.iterations;
    fix.usedMask = s.used;
    fix.excludedMask = excluded;
    fix.testStatistic = s.statistic;
    fix.testThreshold = s.rows > 4 ? ChiSquareLimit(s.rows - 4) : 0.0;
    if (s.outcome != FixOutcome::Fixed) {
        return fix;
    }
    fix.position = {s.estimate(0), s.estimate(1), s.estimate(2)};
    fix.geodetic = EcefToGeodetic(fix.position);
    fix.clockBias = s.estimate(3) / kSpeedOfLight;
    fix.rms = std::sqrt(s.squares / s.rows);
    SetDops(s.geometry, fix);
    if (!(std::isfinite(fix.rms) && std::isfinite(fix.pdop) && std::isfinite(fix.hdop) &&
          std::isfinite(fix.vdop))) {
        fix.outcome = FixOutcome::NoGeometry;
    }
    fix.valid = fix.outcome == FixOutcome::Fixed;
    return fix;
}

}  // namespace

PointFix ComputePointFix(std::span<const RangeMeasurement> measurements, const FixOptions& options,
                         const FixEpoch& epoch) {
    // The fixer holds a few kilobytes of rows: one per call, on the stack.
    Fixer fixer(measurements, options, epoch);
    Eigen::Vector4d start = Eigen::Vector4d::Zero();
    const bool fromPrevious =
        epoch.startPosition.has_value() && std::isfinite(epoch.startPosition->x) &&
        std::isfinite(epoch.startPosition->y) && std::isfinite(epoch.startPosition->z) &&
        std::isfinite(epoch.startClockBias);
    if (fromPrevious) {
        start << epoch.startPosition->x, epoch.startPosition->y, epoch.startPosition->z,
            epoch.startClockBias * kSpeedOfLight;
    }
    const Solution all = fixer.Iterate(start, fromPrevious, 0);
    if (all.outcome != FixOutcome::Fixed || !options.validate || Passes(all)) {
        return ToPointFix(all, 0);
    }
    // The measurements disagree. Leave each satellite out in turn, starting from the fix of all:
    // the one whose absence leaves the best agreement, if that passes the test, was the bad one.
    std::optional<Solution> best;
    std::uint64_t bestExcluded = 0;
    if (all.rows >= kMinSatellitesToExclude) {
        for (std::size_t i = 0; i < fixer.Measurements().size(); ++i) {
            const std::uint64_t bit = std::uint64_t{1} << i;
            if ((all.used & bit) == 0) {
                continue;
            }
            const Solution without = fixer.Iterate(all.estimate, true, bit);
            if (without.outcome == FixOutcome::Fixed && without.rows > 4 && Passes(without) &&
                (!best || without.statistic < best->statistic)) {
                best = without;
                bestExcluded = bit;
            }
        }
    }
    if (best) {
        return ToPointFix(*best, bestExcluded);
    }
    PointFix flagged = ToPointFix(all, 0);
    flagged.outcome = FixOutcome::Inconsistent;
    flagged.valid = false;
    return flagged;
}
