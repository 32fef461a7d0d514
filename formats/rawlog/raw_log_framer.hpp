// Splits a raw log into its entries (a 4-byte kind tag, then the body of that kind's fixed length)
// from bytes the caller pushes in: a file read in blocks, standard input, or a log that satlog is
// still writing. How the bytes are cut into pieces never changes what comes out: the same entries,
// damage reports and offsets whether the log arrives whole or one byte at a time.
//
// A damaged stretch (a torn entry from a crash, zeros left by an outside truncation, line noise)
// does not hide the rest of the log: the framer reports where it begins, skips to the next offset
// where a known tag begins an entry whose body ends in CR LF and is followed by another tag or the
// end of the log, and reads on from there. An entry with a bad trailer that is followed by another
// tag is a whole entry (the window logs such records as they came).
//
// The end of the input is the caller's to say. Until Finish, bytes that do not yet make a whole
// entry are pending: Next answers NeedInput, which is how a follower of a growing log waits for the
// writer. After Finish they are what they are: a partial entry at the end is damage (Truncated).
//
//   RawLogFramer framer;
//   for (;;) {
//       switch (framer.Next(entry)) {
//           case Status::NeedInput:  // feed more bytes, or call Finish at the end of the log
//           case Status::Entry:      // entry.body is valid until the next call
//           case Status::Damaged:    // ProblemOffset/ProblemText; LastSkippedBytes were skipped
//           case Status::Truncated:  // the log ends inside an entry (after Finish only)
//           case Status::End:        // after Finish, everything has been handed out
//       }
//   }
//
// The buffer is allocated once, at construction; nothing is allocated per byte or per entry
// (a damage report builds its text).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "records/record_layout.hpp"

struct RawLogEntry {
    std::uint64_t offset = 0;  // byte offset of the tag in the log
    const RecordKindLayout* kind = nullptr;
    std::span<const std::uint8_t> body;  // valid until the next call to Next, Feed or Commit
};

// What a log lost to damage so far, for reports over a whole log.
struct RawLogDamage {
    std::uint64_t stretches = 0;     // damaged stretches skipped
    std::uint64_t skippedBytes = 0;  // bytes in them
    std::uint64_t tornEntries = 0;   // stretches that began with an entry cut short
    bool truncatedEnd = false;       // the log ends inside an entry
};

class RawLogFramer {
  public:
    enum class Status { Entry, NeedInput, Damaged, Truncated, End };

    // The longest stretch the framer must see to decide anything: the longest entry and the tag
    // after it, which tells a whole entry with a bad trailer from a torn one.
    static constexpr std::size_t kLookahead =
        framing::kTagLength + kMaxBodyLength + framing::kTagLength;

    // `capacity` bytes of buffer (at least twice the lookahead): how much one Feed or Commit can
    // take at most. The pending bytes never exceed the lookahead once Next asks for input.
    explicit RawLogFramer(std::size_t capacity = 1 << 16);

    // Copies as many of `bytes` as there is room for and returns how many it took; the rest is
    // for after Next has asked for input again. Takes nothing after Finish.
    std::size_t Feed(std::span<const std::uint8_t> bytes);
    // The same without a copy: read straight into FreeSpace, then Commit what was read.
    std::span<std::uint8_t> FreeSpace();
    void Commit(std::size_t count);
    // No byte follows the ones fed.
    void Finish();

    Status Next(RawLogEntry& entry);

    // On Damaged and Truncated: where the damage begins and what was found there; after Damaged
    // the framer has skipped LastSkippedBytes from there and goes on with what follows them.
    std::uint64_t ProblemOffset() const { return problemOffset_; }
    const std::string& ProblemText() const { return problemText_; }
    std::uint64_t LastSkippedBytes() const { return lastSkipped_; }
    const RawLogDamage& Damage() const { return damage_; }

    // The byte offset of the first byte not yet decided on: everything before it has been handed
    // out as entries or skipped. The bytes fed since then are pending.
    std::uint64_t Offset() const { return offset_; }
    std::uint64_t Fed() const { return offset_ + (end_ - begin_); }
    bool Finished() const { return finished_; }

    // Forgets the pending bytes, so that the caller can feed the log again from Offset(): for a
    // follower whose writer took back a partial entry. A damaged stretch being skipped stays so.
    void DropPending();
    // A new log from byte 0: nothing pending, no damage counted.
    void Reset();

  private:
    enum class Resume { Yes, No, Undecided };

    bool Have(std::size_t at, std::size_t count) const { return end_ - at >= count; }
    const RecordKindLayout* KindAt(std::size_t at) const;
    Resume ResumesAt(std::size_t at) const;
    Status BeginDamage(std::string text);
    Status SkipDamage();
    Status EndInsideEntry(std::string text);

    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t begin_ = 0;  // first pending byte in buffer_
    std::size_t end_ = 0;    // one past the last byte fed
    std::uint64_t offset_ = 0;
    bool finished_ = false;
    bool skipping_ = false;  // inside a damaged stretch, looking for where to go on
    std::uint64_t problemOffset_ = 0;
    std::string problemText_;
    std::uint64_t lastSkipped_ = 0;
    RawLogDamage damage_;
};

// Reads the next block of `file` into `framer`, or calls Finish at the end of the file. False on a
// read error, with the system's reason in `error`.
bool FeedFromFile(std::FILE* file, RawLogFramer& framer, std::string& error);
