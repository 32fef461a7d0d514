// A real station's observations sent as the receiver would have sent them: one epoch per epoch of
// a RINEX 2 observation file, each observed satellite's ephemeris from a navigation file, one
// measurement per satellite with a C1 pseudorange, then the position record with the epoch time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/rinex/rinex_observation.hpp"
#include "records/record_encoder.hpp"
#include "tools/sim/ephemeris_source.hpp"
#include "tools/sim/scenario.hpp"

class ObservationReplay {
  public:
    // The observations of an already parsed file, with the ephemerides of `navigation` (kept by
    // reference). Ephemerides are sent when a satellite is first observed, when its ephemeris
    // changes and every `snvIntervalSeconds`; with `durationSeconds` the replay ends before the
    // first epoch that far after the first one.
    ObservationReplay(RinexObservationFile file, const EphemerisSource& navigation,
                      int snvIntervalSeconds, std::optional<double> durationSeconds);

    // Reads and checks `path`; on failure the message names the file and the line. A file
    // without C1 observations, or with a C1 that is no signal travel time, is refused.
    static std::unique_ptr<ObservationReplay> Load(const std::string& path,
                                                   const EphemerisSource& navigation,
                                                   int snvIntervalSeconds,
                                                   std::optional<double> durationSeconds,
                                                   std::string& error);

    // The next epoch; false when the file (or the duration) is done.
    bool NextEpoch(EpochPlan& plan);
    // Seconds from the first epoch to the one NextEpoch gave last, by the file's epoch times.
    double SecondsSinceFirst() const { return lastOffsetSeconds_; }

    const RinexObservationHeader& Header() const { return file_.header; }
    std::size_t EpochCount() const { return file_.epochs.size(); }

  private:
    struct Satellite {
        bool observedLast = false;
        double lastSnvTime = 0;
        std::optional<SnvBody> lastSent;
    };

    RinexObservationFile file_;
    const EphemerisSource* navigation_;
    double snvInterval_;
    std::optional<double> duration_;
    int c1_ = -1;  // index of C1 and L1 among the file's observation types
    int l1_ = -1;
    std::size_t next_ = 0;
    std::int64_t weekStartTicks_ = 0;  // GPS time of the start of the first epoch's week
    std::int64_t firstTicks_ = 0;
    double lastOffsetSeconds_ = 0;
    std::vector<Satellite> satellites_;  // by PRN
};

// The receiver's time tag of an observation epoch and what is left of the epoch time beyond it:
// the position record carries whole milliseconds, so the rest (under half a millisecond either
// way) moves into every satellite's travel time alike, and the transmit time the tool forms,
// receive time - rawRange, is the one the station measured.
struct EpochTimeTag {
    std::int64_t ms = 0;              // from the start of the first epoch's week
    std::int64_t remainderTicks = 0;  // 100 ns ticks, epoch time minus the tag
};
EpochTimeTag TagEpochTime(std::int64_t ticksSinceWeekStart);
