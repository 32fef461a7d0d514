// A short receiver session made with the record encoder: the raw log the tool should write for it
// and the same records framed on the line.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/line_script.hpp"
#include "orbit/ephemeris_record.hpp"
#include "records/record_layout.hpp"

struct SeedScenario {
    std::vector<std::uint8_t> log;            // raw log entries, in order
    std::vector<LineStep> line;               // the records as sent, one line event per record
    std::vector<std::uint8_t> snv, mpc, pbn;  // one body of each kind

    std::span<const std::uint8_t> FirstBody(const RecordKindLayout& kind) const;
};

// Every ephemeris once, then `epochs` epochs one second apart: a measurement per satellite (the
// status cycling through usable and unusable values) and the position record that closes it.
SeedScenario MakeSeedScenario(const std::vector<EphemerisRecord>& ephemerides, int epochs);

// The session's line with the ways a line goes wrong: junk between records, a record split by a
// gap, a bad trailer, an unknown kind, another separator, line events.
std::vector<LineStep> NoisyLine(const SeedScenario& scenario);

// Entries whose satellite numbers name no slot, and the edge slots 0 and 36.
std::vector<std::uint8_t> OddSlotLog(const EphemerisRecord& ephemeris);

// A raw log framed as the receiver would have sent it, one Send step per record.
std::vector<LineStep> FrameRawLog(std::span<const std::uint8_t> log);
