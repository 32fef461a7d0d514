#include "tools/sim/builtin_constellation.hpp"

#include <cmath>

#include "gnss/gps_time.hpp"
#include "gnss/physical_constants.hpp"
#include "orbit/satellite_position.hpp"

using orbit_constants::kPi;

namespace {

// The constellation's angles are radians of IS-GPS-200's pi, the one that turns them into the
// records' semicircles: its degrees are converted with that pi, so that the simulated orbits (and
// every log and golden file made from them) stay what they were defined as.
constexpr double kDeg = kPi / 180.0;
constexpr double kWeek = kSecondsPerWeek;
constexpr int kPlanes = 6;
constexpr double kSemiMajorAxis = 26559.7e3;  // m: half a sidereal day per revolution

// A deterministic spread in [0, 1) for satellite k (golden-ratio sequence).
double Spread(int k, double salt) {
    const double v = (k + 1) * 0.6180339887498949 + salt;
    return v - std::floor(v);
}

double WrapPi(double angle) {
    return std::remainder(angle, 2.0 * kPi);
}

// The elements of satellite `index` (0..30) at the start of week 0 of the simulation.
struct NominalElements {
    double raan;     // rad, longitude of the node at time 0
    double argLat;   // rad, argument of latitude at time 0
    double perigee;  // rad
    double e;
    double af0, af1, tgd;
    float cuc, cus, crc, crs, cic, cis;
};

NominalElements Elements(int index) {
    // Planes A..F with 6, 5, 5, 5, 5, 5 satellites.
    const int plane = index < 6 ? 0 : 1 + (index - 6) / 5;
    const int slot = index < 6 ? index : (index - 6) % 5;
    const int inPlane = plane == 0 ? 6 : 5;
    NominalElements n{};
    n.raan = (plane * 60.0 + 17.0) * kDeg;
    n.argLat = (slot * 360.0 / inPlane + plane * 13.0 + 5.0 * Spread(index, 0.3)) * kDeg;
    n.perigee = (360.0 * Spread(index, 0.1) - 180.0) * kDeg;
    n.e = 0.002 + 0.016 * Spread(index, 0.7);
    const double sign = Spread(index, 0.9) < 0.5 ? -1.0 : 1.0;
    n.af0 = sign * (2e-5 + 4.5e-4 * Spread(index, 0.2));
    n.af1 = -sign * (1e-12 + 7e-12 * Spread(index, 0.4));
    n.tgd = (Spread(index, 0.5) - 0.5) * 2e-8;
    n.cuc = static_cast<float>((Spread(index, 0.11) - 0.5) * 1.6e-5);
    n.cus = static_cast<float>((Spread(index, 0.13) - 0.5) * 1.6e-5);
    n.crc = static_cast<float>(150.0 + 200.0 * Spread(index, 0.17));
    n.crs = static_cast<float>((Spread(index, 0.19) - 0.5) * 200.0);
    n.cic = static_cast<float>((Spread(index, 0.23) - 0.5) * 3e-7);
    n.cis = static_cast<float>((Spread(index, 0.29) - 0.5) * 3e-7);
    return n;
}

}  // namespace

std::optional<EphemerisRecord> BuiltinConstellation::Ephemeris(int prn, double time) const {
    if (prn < 1 || prn > kSatelliteCount || !std::isfinite(time)) {
        return std::nullopt;
    }
    const NominalElements n = Elements(prn - 1);

    // The reference time nearest to `time`, on the even hour, counted from week 0.
    const double toeAbsolute = std::round(time / kEphemerisPeriod) * kEphemerisPeriod;
    const double week = std::floor(toeAbsolute / kWeek);
    const double toe = toeAbsolute - week * kWeek;

    EphemerisRecord r{};
    r.prn = static_cast<std::int8_t>(prn - 1);
    r.rootA = std::sqrt(kSemiMajorAxis);
    r.e = n.e;
    r.deltaN = static_cast<float>(4.5e-9 / kPi);
    r.omegaDot = static_cast<float>(-8.1e-9 / kPi);
    r.iDot = static_cast<float>(2.0e-11 / kPi);
    r.cuc = n.cuc;
    r.cus = n.cus;
    r.crc = n.crc;
    r.crs = n.crs;
    r.cic = n.cic;
    r.cis = n.cis;
    r.toe = static_cast<std::int32_t>(toe);
    r.toc = r.toe;
    r.omega = n.perigee / kPi;

    // Carry the elements from time 0 to this reference time with the rates the record itself
    // broadcasts, so that every ephemeris of the satellite describes one continuous orbit.
    const double a = kSemiMajorAxis;
    const double meanMotion =
        std::sqrt(kEarthGravitationalParameter / (a * a * a)) + static_cast<double>(r.deltaN) * kPi;
    // Mean anomaly from the argument of latitude at time 0 (small-eccentricity start, exact
    // afterwards: the orbit is whatever these elements describe).
    const double m0 = n.argLat - n.perigee + meanMotion * toeAbsolute;
    r.m0 = WrapPi(m0) / kPi;
    // The node longitude counts from the Greenwich meridian at the start of the toe's week.
    const double node = n.raan + static_cast<double>(r.omegaDot) * kPi * toeAbsolute -
                        kEarthRotationRate * week * kWeek;
    r.omega0 = WrapPi(node) / kPi;
    r.i0 = (55.0 * kDeg + static_cast<double>(r.iDot) * kPi * toeAbsolute) / kPi;
    // The clock drifts on from one ephemeris to the next.
    r.af0 = static_cast<float>(n.af0 + n.af1 * toeAbsolute);
    r.af1 = static_cast<float>(n.af1);
    r.af2 = 0.0f;
    r.tgd = static_cast<float>(n.tgd);
    return r;
}
