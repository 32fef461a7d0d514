#include "tools/dump/epoch_report.hpp"

#include <cmath>

#include "gnss/geodesy.hpp"
#include "gnss/geoid/egm96_geoid.hpp"
#include "gnss/leap_seconds.hpp"

EpochWeeks EpochWeeks::FromFirstWeek(int firstWeek) {
    return EpochWeeks(firstWeek);
}

EpochWeeks EpochWeeks::FromHostClock() {
    return EpochWeeks(std::nullopt);
}

GpsTime EpochWeeks::TimeOf(const LogEpoch& epoch) const {
    if (firstWeek_) {
        return epoch.time + kGpsWeek * *firstWeek_;
    }
    const GpsTime now = FromUtc(std::chrono::floor<GpsDuration>(std::chrono::system_clock::now()));
    return NearestWithTimeOfWeek(now, epoch.time.OfWeek());
}

GpxTrackPoint EpochReport::TrackPoint() const {
    GpxTrackPoint p;
    p.latitudeDeg = nmea.fix.latitudeDeg;
    p.longitudeDeg = nmea.fix.longitudeDeg;
    p.elevationM = nmea.fix.altitudeM;
    p.geoidHeightM = nmea.fix.separationM;
    p.utc = nmea.utc;
    p.satellites = fix.satellites;
    p.hdop = fix.hdop;
    p.vdop = fix.vdop;
    p.pdop = fix.pdop;
    return p;
}

const EpochReport& EpochReporter::Report(const LogEpoch& epoch, GpsTime time) {
    EpochReport& r = report_;
    const EpochFix fixed = fixer_.Fix(epoch);
    r.fix = fixed.fix;
    r.nmea = NmeaEpoch{};
    r.nmea.utc = std::chrono::floor<std::chrono::milliseconds>(ToUtc(time, leapSeconds_));
    r.nmea.hasFix = r.fix.valid;
    std::size_t used = 0;
    if (r.fix.valid) {
        const Geodetic& g = r.fix.geodetic;
        const double separation = Egm96Separation(g.latitudeDeg, g.longitudeDeg);
        r.nmea.fix = {g.latitudeDeg, g.longitudeDeg, g.heightM - separation, separation, r.fix.pdop,
                      r.fix.hdop,    r.fix.vdop};
        for (std::size_t k = 0; k < fixed.ranges.size() && k < 64 && used < used_.size(); ++k) {
            if ((r.fix.usedMask >> k & 1U) != 0) {
                used_[used++] = fixed.ranges[k].prn;
            }
        }
        lastFix_ = r.fix.position;
        lastFixGeodetic_ = g;
    }
    std::size_t inView = 0;
    for (const RangeMeasurement& m : fixed.ranges) {
        if (!std::isfinite(m.satellite.x) || !std::isfinite(m.satellite.y) ||
            !std::isfinite(m.satellite.z) || inView == inView_.size()) {
            continue;  // a degenerate ephemeris: the satellite was measured but is nowhere
        }
        NmeaSatellite& s = inView_[inView++];
        s = {m.prn, false, 0, 0};
        if (lastFix_) {
            const LookAngles look = ComputeLookAngles(*lastFix_, lastFixGeodetic_, m.satellite);
            s.lookKnown = true;
            s.elevationDeg = look.elevationDeg;
            s.azimuthDeg = look.azimuthDeg;
        }
    }
    r.nmea.usedPrns = std::span<const int>(used_).first(used);
    r.nmea.inView = std::span<const NmeaSatellite>(inView_).first(inView);
    return r;
}

void EpochReporter::Skip(const LogEpoch& epoch) {
    const PointFix fix = fixer_.Fix(epoch).fix;
    if (fix.valid) {
        lastFix_ = fix.position;
        lastFixGeodetic_ = fix.geodetic;
    }
}
