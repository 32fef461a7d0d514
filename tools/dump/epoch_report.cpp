#include "tools/dump/epoch_report.hpp"

#include <cmath>

#include "formats/rawlog/epoch_fix.hpp"
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
    r.fix = FixLogEpoch(epoch, fixOptions_);
    r.nmea = NmeaEpoch{};
    r.nmea.utc = std::chrono::floor<std::chrono::milliseconds>(ToUtc(time, leapSeconds_));
    r.nmea.hasFix = r.fix.valid;
    std::size_t used = 0;
    if (r.fix.valid) {
        const Geodetic& g = r.fix.geodetic;
        const double separation = Egm96Separation(g.latitudeDeg, g.longitudeDeg);
        r.nmea.fix = {g.latitudeDeg, g.longitudeDeg, g.heightM - separation, separation, r.fix.pdop,
                      r.fix.hdop,    r.fix.vdop};
        // FixLogEpoch hands the fix the epoch's measurements in order: bit k is measurement k.
        for (std::size_t k = 0; k < epoch.measurements.size() && k < 64; ++k) {
            if ((r.fix.usedMask >> k & 1U) != 0) {
                used_[used++] = epoch.measurements[k].prn;
            }
        }
        lastFix_ = r.fix.position;
        lastFixGeodetic_ = g;
    }
    std::size_t inView = 0;
    for (const EpochMeasurement& m : epoch.measurements) {
        if (!std::isfinite(m.position.x) || !std::isfinite(m.position.y) ||
            !std::isfinite(m.position.z) || inView == inView_.size()) {
            continue;  // a degenerate ephemeris: the satellite was measured but is nowhere
        }
        NmeaSatellite& s = inView_[inView++];
        s = {m.prn, false, 0, 0};
        if (lastFix_) {
            const LookAngles look = ComputeLookAngles(*lastFix_, lastFixGeodetic_, m.position);
            s.lookKnown = true;
            s.elevationDeg = look.elevationDeg;
            s.azimuthDeg = look.azimuthDeg;
        }
    }
    r.nmea.usedPrns = std::span<const int>(used_).first(used);
    r.nmea.inView = std::span<const NmeaSatellite>(inView_).first(inView);
    return r;
}
