// What the nmea and gpx commands tell about one epoch of a raw log: its time in UTC, the fix,
// the altitude above mean sea level (EGM96) and where each satellite of the epoch stands in the
// sky. One report is made per epoch and is valid until the next.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/gpx/gpx_track.hpp"
#include "formats/nmea/nmea_sentences.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "gnss/gps_time.hpp"
#include "positioning/point_fix.hpp"
#include "records/record_layout.hpp"

using UtcTime = std::chrono::sys_time<std::chrono::milliseconds>;

// The UTC time of a GPS time: GPS time runs ahead of UTC by the leap seconds inserted since
// 1980 (18 since 2017-01-01), taken from the table at that instant unless `leapSeconds` says
// how many.
UtcTime UtcOfGps(int week, std::int32_t timeMs, std::optional<int> leapSeconds);

// The full GPS week of each epoch, which the records do not carry.
class EpochWeeks {
  public:
    // A finished log whose first epoch lies in `firstWeek`; a time of week that falls back by
    // more than half a week continues in the next week.
    static EpochWeeks FromFirstWeek(int firstWeek);
    // A log being written now: the week that puts the epoch nearest to the host clock's time.
    static EpochWeeks FromHostClock();

    int WeekOf(std::int32_t timeMs);

  private:
    explicit EpochWeeks(std::optional<WeekTracker> tracker) : tracker_(tracker) {}
    std::optional<WeekTracker> tracker_;
};

struct EpochReport {
    NmeaEpoch nmea;  // spans into the reporter's storage
    PointFix fix;
    bool HasFix() const { return nmea.hasFix; }
    GpxTrackPoint TrackPoint() const;  // with a fix only
};

class EpochReporter {
  public:
    EpochReporter(const FixOptions& fixOptions, std::optional<int> leapSeconds)
        : fixOptions_(fixOptions), leapSeconds_(leapSeconds) {}

    // The report of `epoch` in GPS week `week`. Satellites are looked at from the epoch's fix, or
    // without one from the last fix before it; before any fix their elevation and azimuth stay
    // unknown.
    const EpochReport& Report(const LogEpoch& epoch, int week);

  private:
    FixOptions fixOptions_;
    std::optional<int> leapSeconds_;
    std::optional<Ecef> lastFix_;  // where the satellites are looked at from
    Geodetic lastFixGeodetic_;
    std::array<int, kSlotCount> used_{};
    std::array<NmeaSatellite, kSlotCount> inView_{};
    EpochReport report_;
};
