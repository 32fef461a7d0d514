// A raw log, epoch by epoch, as the live receive thread sees it: the one walk over a log that
// every offline view of it (the fix, the RINEX export, the summary, the sky plot) builds on.
//
// How to use it: derive from LogEpochVisitor, override the calls you need, and pass it to
// WalkLogEpochs with the open log, or to a LogEpochWalk that you feed yourself (a log that is
// still being written).
//
//   class MyView : public LogEpochVisitor {
//       void Entry(const LogEntry& e) override;         // every entry, in log order
//       void Ephemeris(const LogEphemeris& e) override;  // every SNV entry, after its Entry
//       void Epoch(const LogEpoch& e) override;          // every PBN that closes an epoch
//       void Damage(const LogDamage& d) override;        // every damaged stretch read past
//       void TimeOutlier(const LogTimeOutlier& o) override;  // every epoch left out for its time
//   };
//   MyView view;
//   const LogWalkEnd end = WalkLogEpochs(file, view);   // read error or not, damage totals
//
// - Entries go through the same decoders and SatelliteTables as on the receive thread: a body
//   whose trailer is not CR LF is reported (trailerGood = false) but never reaches the tables,
//   so a PBN with a bad trailer closes no epoch, and an MPC with a bad trailer measures nothing.
// - Epoch.measurements are the satellites the tables compute at that epoch: a usable status (1
//   or 2) in this epoch and an ephemeris received before, in ascending PRN order, each with its
//   position and clock offset at its transmit time (receive time with the milliseconds kept,
//   minus rawRange), computed once. A measurement that arrived before an earlier PBN entry
//   (one whose trailer failed, so that the tables did not close that epoch) is stale and left
//   out. A degenerate ephemeris gives a NaN position: such a satellite stays in the list (it was
//   measured) and every consumer must skip it; EpochFixer (epoch_fix.hpp) does.
// - Epoch.measured are every usable measurement of the epoch by the same rules (a usable status
//   in this epoch, not stale), whether or not an ephemeris has been received for the satellite,
//   in ascending PRN order; `computed` marks those that are in Epoch.measurements too. A view of
//   the measurements themselves (the RINEX observation file) takes these.
// - Epoch times are judged against the epochs around them (gnss/epoch_time_sequence.hpp): a
//   record carries no checksum, so a corrupt time must not date the epochs after it. Epoch.time
//   places the epoch in the log's weeks (the first epoch's week is week 0): a week rollover is
//   followed when the times after it continue it. An epoch not later than the one before (a
//   repeated epoch, two recordings one after the other) is handed on with inSequence false; views
//   that need time order leave it out. An epoch whose time is out of sequence with its
//   neighbours (far ahead of them, or back by more than half a week while the times after it
//   continue the old sequence, or no time of the week at all) is an outlier: it goes to
//   TimeOutlier instead of Epoch, and counts as damage.
// - So an Epoch call may come up to EpochTimeSequence::kLookAhead epochs late: after the Entry,
//   Ephemeris and Damage calls of the entries that followed its PBN. Tie those to an epoch by
//   their offsets (an entry belongs to the first epoch whose PBN offset is larger). A steady log
//   has every epoch after the first few handed on at once.
// - The spans and references handed to the calls are valid only during the call.
// - The ephemeris an SNV entry brings belongs to the epoch whose PBN follows it (its receive time
//   is that epoch's timeMs).
// - A damaged stretch of the log (an unknown tag, a torn entry, a log that ends inside one) is
//   handed to Damage and read past, as the reader resynchronises; measurements from before it
//   count for no later epoch (the PBN that closed theirs may be lost in it). The walk ends at
//   the end of the log or at a read error: LogWalkEnd says which, and what damage was read past.
// - Fed piece by piece, the walk makes the same calls as over the whole log (the framer sees to
//   it); an epoch is handed on as soon as its PBN entry is whole and its time is judged.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "formats/rawlog/raw_log_framer.hpp"
#include "gnss/gps_time.hpp"
#include "orbit/ephemeris_record.hpp"
#include "orbit/satellite_position.hpp"
#include "records/record_layout.hpp"

struct LogEntry {
    std::uint64_t offset = 0;  // byte offset of the entry's tag in the log
    const RecordKindLayout* kind = nullptr;
    std::span<const std::uint8_t> body;
    bool trailerGood = false;  // the body ends in CR LF
    int slot = -1;             // SNV: the PRN minus one plus one; MPC: the PRN; PBN: -1
    int status = -1;           // MPC: the measurement status; otherwise -1
    std::int32_t timeMs = 0;   // PBN: the epoch time, ms of the GPS week
};

struct LogEphemeris {
    std::uint64_t offset = 0;
    int slot = 0;  // the satellite's PRN; may name no slot in a corrupt record
    EphemerisRecord record{};
    bool trailerGood = false;  // only a good one reaches the tables
};

struct EpochMeasurement {
    int prn = 0;
    int status = 0;                // 1 or 2
    double rawRange = 0;           // s, signal travel time as measured
    double fullPhase = 0;          // as the receiver sends it
    double transmitTime = 0;       // s of the week: receive time minus rawRange
    SatellitePosition position{};  // m, at transmission, earth-fixed frame of that instant
    double clockOffset = 0;        // s, the satellite clock's offset at transmission
};

// A usable measurement as the receiver sent it, computed or not.
struct MeasuredSatellite {
    int prn = 0;
    int status = 0;         // 1 or 2
    double rawRange = 0;    // s, signal travel time as measured
    double fullPhase = 0;   // as the receiver sends it
    bool computed = false;  // an ephemeris was at hand: the satellite is in `measurements`
};

struct LogEpoch {
    std::uint64_t offset = 0;  // of the PBN entry
    std::int32_t timeMs = 0;   // as in the record
    // The epoch's instant, in weeks counted from the first epoch's (the records carry no week:
    // add the first epoch's full GPS week for the date).
    GpsTime time;
    bool inSequence = true;  // false: not later than the epoch before it
    std::span<const EpochMeasurement> measurements;
    std::span<const MeasuredSatellite> measured;
};

// A stretch of the log the reader could not split into entries.
struct LogDamage {
    RawLogFramer::Status status = RawLogFramer::Status::Damaged;  // or Truncated: the log ends
    std::uint64_t offset = 0;                                     // where it begins
    std::string text;                                             // what was found there
    std::uint64_t skippedBytes = 0;  // Damaged: bytes skipped from `offset`
    std::uint64_t resumeOffset = 0;  // Damaged: where the walk reads on
};

// An epoch left out because its time is out of sequence with the epochs around it.
struct LogTimeOutlier {
    std::uint64_t offset = 0;                      // of the PBN entry
    std::int32_t timeMs = 0;                       // as in the record
    std::optional<std::int32_t> lastInSequenceMs;  // the time of the epoch in sequence before it
};

class LogEpochVisitor {
  public:
    virtual ~LogEpochVisitor() = default;
    virtual void Entry(const LogEntry&) {}
    virtual void Ephemeris(const LogEphemeris&) {}
    virtual void Epoch(const LogEpoch&) {}
    virtual void Damage(const LogDamage&) {}
    virtual void TimeOutlier(const LogTimeOutlier&) {}
    // True when the visitor needs nothing more (whoever reads what it writes has gone):
    // WalkLogEpochs then reads no further.
    virtual bool Done() const { return false; }
};

// What the walk judged of the epochs' times so far.
struct LogEpochTimes {
    std::uint64_t outliers = 0;    // left out (TimeOutlier)
    std::uint64_t outOfOrder = 0;  // handed on with inSequence false
};

struct LogWalkEnd {
    bool readFailed = false;
    std::string text;     // readFailed: the system's reason
    RawLogDamage damage;  // totals of the damaged stretches read past
    LogEpochTimes times;
    bool Damaged() const {
        return damage.stretches > 0 || damage.truncatedEnd || times.outliers > 0;
    }
};

// The walk over bytes pushed in: a log read in blocks, or one that is still being written.
class LogEpochWalk {
  public:
    explicit LogEpochWalk(LogEpochVisitor& visitor, std::size_t capacity = 1 << 16);
    ~LogEpochWalk();
    LogEpochWalk(const LogEpochWalk&) = delete;
    LogEpochWalk& operator=(const LogEpochWalk&) = delete;

    // Hands every entry, epoch and damaged stretch that the bytes complete to the visitor; a
    // partial entry at the end waits for the bytes that complete it.
    void Feed(std::span<const std::uint8_t> bytes);
    // The same for bytes put into Framer() directly (FreeSpace and Commit, FeedFromFile).
    void Drain();
    // No byte follows: a partial entry at the end is damage, and everything is handed on.
    void Finish();
    // The writer has gone quiet and more may come: whatever the walk holds back to judge an epoch
    // by the ones after it is handed on now. A follower calls it when the log stops growing.
    void Flush();
    // The log starts again from its first byte (its writer emptied it, or it was replaced): the
    // epochs held back are handed on, then empty tables, nothing pending, no damage counted.
    void Restart();

    RawLogFramer& Framer() { return framer_; }
    const RawLogDamage& Damage() const { return framer_.Damage(); }
    const LogEpochTimes& Times() const { return times_; }

  private:
    struct Collector;
    void Handle(const RawLogEntry& raw);
    void HandOnJudged();

    LogEpochVisitor& visitor_;
    RawLogFramer framer_;
    std::unique_ptr<Collector> collector_;  // the tables are large: kept off the stack
    LogEpochTimes times_;
};

LogWalkEnd WalkLogEpochs(std::FILE* log, LogEpochVisitor& visitor);
