// Replay of a recorded raw log: its entries (kind tag and body) become the records the receiver
// sends again, grouped into epochs that each end with a position record.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/rawlog/raw_log_reader.hpp"
#include "tools/sim/scenario.hpp"

class RawLogReplay {
  public:
    ~RawLogReplay();

    // Opens the log and reads it through once, so that a damaged log is refused before anything
    // is sent: the message names the file, the byte offset and what is wrong there.
    bool Open(const std::string& path, std::string& error);

    // The next epoch: every entry up to and including the next position record, or up to the
    // end of the log. False when the log is exhausted.
    bool NextEpoch(std::vector<PlannedRecord>& records);

    std::uint64_t EntryCount() const { return entries_; }

  private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<RawLogReader> reader_;
    std::uint64_t entries_ = 0;
};
