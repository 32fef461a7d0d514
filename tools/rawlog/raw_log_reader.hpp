// Splits a raw log into its entries: a 4-byte kind tag, then the body of that kind's fixed length.
// Reads in large blocks, so that a log of any size passes through a fixed buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "receiver/record_layout.hpp"

struct RawLogEntry {
    std::uint64_t offset;  // byte offset of the tag in the log
    const RecordKindLayout* kind;
    std::span<const std::uint8_t> body;  // valid until the next call to Next
};

class RawLogReader {
  public:
    enum class Status { Entry, End, Truncated, UnknownTag, ReadError };

    explicit RawLogReader(std::FILE* file, std::size_t blockSize = 1 << 16);

    // On Entry, `entry` holds the next entry. On Truncated and UnknownTag, `ProblemText` says what
    // was found at `ProblemOffset`; on ReadError, `ProblemText` holds the system's reason.
    Status Next(RawLogEntry& entry);

    std::uint64_t ProblemOffset() const { return problemOffset_; }
    const std::string& ProblemText() const { return problemText_; }

  private:
    bool Fill(std::size_t need);

    std::FILE* file_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;  // first unread byte in buffer_
    std::size_t end_ = 0;    // one past the last valid byte in buffer_
    std::uint64_t offset_ = 0;
    bool eof_ = false;
    bool readError_ = false;
    std::uint64_t problemOffset_ = 0;
    std::string problemText_;
};
