// A real station's observations sent as the receiver would have sent them: one epoch per epoch of
// a RINEX 2 observation file, each observed satellite's ephemeris from a navigation file, one
// measurement per satellite with a C1 pseudorange, then the position record with the epoch time.
//
// The file is read as a stream, twice: once to check it all before anything is sent, once epoch by
// epoch while sending, so that memory stays that of one epoch whatever the size of the file. A
// stream that cannot be read twice (a pipe) keeps what the replay needs of each epoch from the
// first reading instead.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
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
    // Reads and checks `path`; on failure the message names the file and the line. A file
    // without C1 observations, or with a C1 that is no signal travel time, is refused, and so is
    // a directory. The ephemerides come from `navigation` (kept by reference); they are sent when
    // a satellite is first observed, when its ephemeris changes and every `snvIntervalSeconds`;
    // with `durationSeconds` the replay ends before the first epoch that far after the first one.
    static std::unique_ptr<ObservationReplay> Load(const std::string& path,
                                                   const EphemerisSource& navigation,
                                                   int snvIntervalSeconds,
                                                   std::optional<double> durationSeconds,
                                                   std::string& error);
    // The same from a stream; `name` stands for it in messages.
    static std::unique_ptr<ObservationReplay> Open(std::unique_ptr<std::istream> in,
                                                   const std::string& name,
                                                   const EphemerisSource& navigation,
                                                   int snvIntervalSeconds,
                                                   std::optional<double> durationSeconds,
                                                   std::string& error);
    ~ObservationReplay();

    // The next epoch; false when the file (or the duration) is done, or when the second reading
    // does not find what the first one checked (the file changed meanwhile: then Failed()).
    bool NextEpoch(EpochPlan& plan);
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    // Seconds from the first epoch to the one NextEpoch gave last, by the file's epoch times.
    double SecondsSinceFirst() const { return lastOffsetSeconds_; }

    const RinexObservationHeader& Header() const { return header_; }
    std::size_t EpochCount() const { return epochCount_; }

  private:
    // What the replay takes from an epoch of the file.
    struct ReplaySatellite {
        int prn = 0;
        double c1 = 0;             // metres
        std::optional<double> l1;  // cycles
    };
    struct ReplayEpoch {
        GpsTime time;
        int line = 0;
        std::vector<ReplaySatellite> satellites;  // with a C1, in the file's order
    };
    struct Satellite {
        bool observedLast = false;
        double lastSnvTime = 0;
        std::optional<SnvBody> lastSent;
    };

    ObservationReplay(std::unique_ptr<std::istream> in, std::string name,
                      const EphemerisSource& navigation, int snvIntervalSeconds,
                      std::optional<double> durationSeconds);
    bool Check(std::string& error);
    bool ToReplayEpoch(const RinexObservationEpoch& epoch, ReplayEpoch& out, std::string& error);
    bool ReadEpoch(ReplayEpoch& epoch);

    std::unique_ptr<std::istream> in_;
    std::string name_;
    std::unique_ptr<RinexObservationReader> reader_;  // the second reading
    RinexObservationEpoch fileEpoch_;                 // reused from epoch to epoch
    std::vector<ReplayEpoch> kept_;                   // a stream that cannot be read twice
    bool keptInMemory_ = false;
    RinexObservationHeader header_;
    std::size_t epochCount_ = 0;
    std::string error_;
    const EphemerisSource* navigation_;
    double snvInterval_;
    std::optional<double> duration_;
    int c1_ = -1;  // index of C1 and L1 among the file's observation types
    int l1_ = -1;
    std::size_t next_ = 0;
    GpsTime weekStart_;  // the start of the first epoch's week
    GpsTime first_;
    double lastOffsetSeconds_ = 0;
    std::vector<Satellite> satellites_;  // by PRN
    ReplayEpoch current_;
};

// The receiver's time tag of an observation epoch and what is left of the epoch time beyond it:
// the position record carries whole milliseconds, so the rest (under half a millisecond either
// way) moves into every satellite's travel time alike, and the transmit time the tool forms,
// receive time - rawRange, is the one the station measured.
struct EpochTimeTag {
    std::int64_t ms = 0;      // from the start of the first epoch's week
    GpsDuration remainder{};  // epoch time minus the tag
};
EpochTimeTag TagEpochTime(GpsDuration sinceWeekStart);
