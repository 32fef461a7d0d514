#include "tools/dump/epoch_report.hpp"

#include <cmath>

#include "formats/rawlog/epoch_fix.hpp"
#include "gnss/geodesy.hpp"
#include "gnss/geoid/egm96_geoid.hpp"

namespace {

using namespace std::chrono;

constexpr sys_days kGpsEpoch = sys_days{year{1980} / January / 6};

}  // namespace

UtcTime UtcOfGps(int week, std::int32_t timeMs, std::optional<int> leapSeconds) {
    const UtcTime gps = kGpsEpoch + weeks{week} + milliseconds{timeMs};
    if (leapSeconds) {
        return gps - seconds{*leapSeconds};
    }
    // The table is kept by UTC date: look it up at the GPS time less the leap seconds in force
    // today (exact but for the few seconds after a leap second).
    const auto approxUnix = duration_cast<seconds>(gps.time_since_epoch()).count() - 18;
    return gps - seconds{GpsMinusUtcSeconds(approxUnix)};
}

EpochWeeks EpochWeeks::FromFirstWeek(int firstWeek) {
    return EpochWeeks(WeekTracker(firstWeek));
}

EpochWeeks EpochWeeks::FromHostClock() {
    return EpochWeeks(std::nullopt);
}

int EpochWeeks::WeekOf(std::int32_t timeMs) {
    const double secondsOfWeek = timeMs / 1000.0;
    if (tracker_) {
        return tracker_->WeekOf(secondsOfWeek);
    }
    const auto now = system_clock::now();
    const auto unixSeconds = duration_cast<seconds>(now.time_since_epoch()).count();
    const double gpsNow =
        static_cast<double>(unixSeconds + GpsMinusUtcSeconds(unixSeconds)) -
        static_cast<double>(duration_cast<seconds>(kGpsEpoch.time_since_epoch()).count());
    const int nowWeek = static_cast<int>(std::floor(gpsNow / kSecondsPerWeek));
    return WeekNear(nowWeek, gpsNow - nowWeek * kSecondsPerWeek, secondsOfWeek);
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

const EpochReport& EpochReporter::Report(const LogEpoch& epoch, int week) {
    EpochReport& r = report_;
    r.fix = FixLogEpoch(epoch, fixOptions_);
    r.nmea = NmeaEpoch{};
    r.nmea.utc = UtcOfGps(week, epoch.timeMs, leapSeconds_);
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
            const LookAngles look = ComputeLookAngles(*lastFix_, lastFixGeodetic_,
                                                      {m.position.x, m.position.y, m.position.z});
            s.lookKnown = true;
            s.elevationDeg = look.elevationDeg;
            s.azimuthDeg = look.azimuthDeg;
        }
    }
    r.nmea.usedPrns = std::span<const int>(used_).first(used);
    r.nmea.inView = std::span<const NmeaSatellite>(inView_).first(inView);
    return r;
}
