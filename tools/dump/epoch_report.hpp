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
#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "gnss/gps_time.hpp"
#include "positioning/point_fix.hpp"
#include "records/record_layout.hpp"

// The full GPS time of each epoch, whose records carry no week.
class EpochWeeks {
  public:
    // A finished log whose first epoch lies in `firstWeek` (the week the epochs' times count
    // from).
    static EpochWeeks FromFirstWeek(int firstWeek);
    // A log being written now: the week that puts the epoch nearest to the host clock's time.
    static EpochWeeks FromHostClock();

    GpsTime TimeOf(const LogEpoch& epoch) const;

  private:
    explicit EpochWeeks(std::optional<int> firstWeek) : firstWeek_(firstWeek) {}
    std::optional<int> firstWeek_;
};

struct EpochReport {
    NmeaEpoch nmea;  // spans into the reporter's storage
    PointFix fix;
    bool HasFix() const { return nmea.hasFix; }
    GpxTrackPoint TrackPoint() const;  // with a fix only
};

class EpochReporter {
  public:
    EpochReporter(EpochFixer fixer, std::optional<int> leapSeconds)
        : fixer_(fixer), leapSeconds_(leapSeconds) {}

    // The report of `epoch`, whose full GPS time is `time`. Satellites (those of the log and,
    // with a navigation file, those it serves) are looked at from the epoch's fix, or without one
    // from the last fix before it; before any fix their elevation and azimuth stay unknown.
    const EpochReport& Report(const LogEpoch& epoch, GpsTime time);
    // An epoch that is not reported (the past of a followed log) still fixed, so that the next
    // fix starts from it and the satellites are looked at from it, as in a report of every epoch.
    void Skip(const LogEpoch& epoch);

  private:
    EpochFixer fixer_;
    std::optional<int> leapSeconds_;
    std::optional<Ecef> lastFix_;  // where the satellites are looked at from
    Geodetic lastFixGeodetic_;
    std::array<int, kSlotCount> used_{};
    std::array<NmeaSatellite, kSlotCount> inView_{};
    EpochReport report_;
};
