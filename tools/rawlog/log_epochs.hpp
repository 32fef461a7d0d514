// A raw log, epoch by epoch, as the live receive thread sees it: the one walk over a log that
// every offline view of it (the fix, the RINEX export, the summary, the sky plot) builds on.
//
// How to use it: derive from LogEpochVisitor, override the calls you need, and pass it to
// WalkLogEpochs with the open log.
//
//   class MyView : public LogEpochVisitor {
//       void Entry(const LogEntry& e) override;         // every entry, in log order
//       void Ephemeris(const LogEphemeris& e) override;  // every SNV entry, after its Entry
//       void Epoch(const LogEpoch& e) override;          // every PBN that closes an epoch
//   };
//   MyView view;
//   const LogWalkEnd end = WalkLogEpochs(file, view);   // end.status: End, or what stopped it
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
//   measured) and every consumer must skip it; FixLogEpoch (epoch_fix.hpp) does.
// - The spans and references handed to the calls are valid only during the call.
// - The ephemeris an SNV entry brings belongs to the epoch closed by the next Epoch call (its
//   receive time is that epoch's timeMs).
// - The walk stops at the end of the log or at the first entry the reader cannot split (an
//   unknown tag or a torn entry, a log that ends inside one, a read error): LogWalkEnd says which
//   and where.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "orbit/ephemeris_record.hpp"
#include "orbit/satellite_position.hpp"
#include "receiver/record_layout.hpp"
#include "tools/rawlog/raw_log_reader.hpp"

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

struct LogEpoch {
    std::uint64_t offset = 0;  // of the PBN entry
    std::int32_t timeMs = 0;   // as in the record
    std::span<const EpochMeasurement> measurements;
};

class LogEpochVisitor {
  public:
    virtual ~LogEpochVisitor() = default;
    virtual void Entry(const LogEntry&) {}
    virtual void Ephemeris(const LogEphemeris&) {}
    virtual void Epoch(const LogEpoch&) {}
};

struct LogWalkEnd {
    RawLogReader::Status status = RawLogReader::Status::End;  // never Entry
    std::uint64_t offset = 0;                                 // Truncated and Damaged: where
    std::string text;  // what was found there, or the system's reason for ReadError
};

LogWalkEnd WalkLogEpochs(std::FILE* log, LogEpochVisitor& visitor);
