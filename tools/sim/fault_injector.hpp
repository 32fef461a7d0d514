// Faults on request: turns each record the receiver means to send into the bytes that go on the
// line, spoiled as the options ask, and says what the tool makes of them: whether it logs the
// record, and whether the record reaches its satellite tables. The tool's rules, in short:
//   - junk between records, and records of unknown kinds, are scanned and dropped;
//   - a gap of more than 50 ms inside a header or a body: "error", nothing processed or logged;
//   - a wrong trailer (either byte): "error", logged but not processed;
//   - the header separator is not examined;
//   - a satellite number that names no slot leaves the tables untouched, and is logged.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "tools/sim/scenario.hpp"
#include "tools/sim/sim_options.hpp"

struct WirePiece {
    std::vector<std::uint8_t> bytes;           // one write to the line
    int pauseAfterMs = 0;                      // a pause on the line after these bytes
    std::vector<std::uint8_t> logEntry;        // what the tool appends to its raw log for them
    const PlannedRecord* processed = nullptr;  // the record that reaches the tool's tables
};

inline constexpr int kSplitPauseMs = 150;  // well beyond the tool's 50 ms inter-byte limit

class FaultInjector {
  public:
    explicit FaultInjector(const FaultOptions& faults) : faults_(faults), random_(faults.seed) {}

    // Appends the pieces for one record. Returns false, appending nothing, when the line is to be
    // hung up before this record.
    bool Apply(const PlannedRecord& record, std::vector<WirePiece>& out);

    std::uint64_t RecordsSent() const { return sent_; }

  private:
    bool Every(int n) const { return n > 0 && sent_ % static_cast<std::uint64_t>(n) == 0; }
    WirePiece Junk();
    WirePiece UnknownKind();
    WirePiece NamesNoSlot();

    FaultOptions faults_;
    std::minstd_rand random_;
    std::uint64_t sent_ = 0;
    std::uint64_t trailerFaults_ = 0;
    std::uint64_t splits_ = 0;
    std::uint64_t junks_ = 0;
    std::uint64_t noSlotRecords_ = 0;
    std::vector<std::uint8_t> lastSnvBody_;
};

// "$PASHR", the separator, the tag, the body: built by the project's encoder.
std::vector<std::uint8_t> FrameRecord(const RecordKindLayout& kind,
                                      std::span<const std::uint8_t> body,
                                      std::uint8_t separator = framing::kSeparator);
std::vector<std::uint8_t> LogEntryOf(const RecordKindLayout& kind,
                                     std::span<const std::uint8_t> body);
