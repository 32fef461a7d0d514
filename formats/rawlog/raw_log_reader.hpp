// Splits a raw log into its entries: a 4-byte kind tag, then the body of that kind's fixed length.
// Reads in large blocks, so that a log of any size passes through a fixed buffer.
//
// A damaged stretch (a torn entry from a crash, zeros left by an outside truncation, line noise)
// does not hide the rest of the log: the reader reports where it begins, skips to the next offset
// where a known tag begins an entry whose body ends in CR LF and is followed by another tag or the
// end of the file, and reads on from there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "records/record_layout.hpp"

struct RawLogEntry {
    std::uint64_t offset;  // byte offset of the tag in the log
    const RecordKindLayout* kind;
    std::span<const std::uint8_t> body;  // valid until the next call to Next
};

// What a log lost to damage so far, for reports over a whole log.
struct RawLogDamage {
    std::uint64_t stretches = 0;     // damaged stretches skipped
    std::uint64_t skippedBytes = 0;  // bytes in them
    std::uint64_t tornEntries = 0;   // stretches that began with an entry cut short
    bool truncatedEnd = false;       // the log ends inside an entry
};

class RawLogReader {
  public:
    enum class Status { Entry, End, Truncated, Damaged, ReadError };

    explicit RawLogReader(std::FILE* file, std::size_t blockSize = 1 << 16);

    // On Entry, `entry` holds the next entry. On Truncated (the log ends inside an entry; the next
    // call returns End) and on Damaged, `ProblemText` says what was found at `ProblemOffset`; after
    // Damaged the reader has skipped `LastSkippedBytes` bytes from there, and the next call goes
    // on with what follows them. On ReadError, `ProblemText` holds the system's reason.
    Status Next(RawLogEntry& entry);

    std::uint64_t ProblemOffset() const { return problemOffset_; }
    const std::string& ProblemText() const { return problemText_; }
    std::uint64_t LastSkippedBytes() const { return lastSkipped_; }
    // The byte offset the reader goes on from: the end of what it has read or skipped.
    std::uint64_t Offset() const { return offset_; }
    const RawLogDamage& Damage() const { return damage_; }

  private:
    bool Fill(std::size_t need);
    bool KnownTagAt(std::size_t at, const RecordKindLayout** kind = nullptr) const;
    bool EndsEntryAt(std::size_t at) const;
    bool ResumesAt(std::size_t at);
    Status EndInsideEntry(std::string text);
    Status SkipDamage(std::string text);

    std::FILE* file_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;  // first unread byte in buffer_
    std::size_t end_ = 0;    // one past the last valid byte in buffer_
    std::uint64_t offset_ = 0;
    bool eof_ = false;
    bool readError_ = false;
    std::uint64_t problemOffset_ = 0;
    std::string problemText_;
    std::uint64_t lastSkipped_ = 0;
    RawLogDamage damage_;
};
