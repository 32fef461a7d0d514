// Replay of a recorded raw log: its entries (kind tag and body) become the records the receiver
// sends again, grouped into epochs that each end with a position record.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "formats/rawlog/raw_log_framer.hpp"
#include "tools/sim/scenario.hpp"

class RawLogReplay {
  public:
    // An epoch holds at most this many records: a log whose position records were lost must not
    // gather all of itself into one epoch in memory. Far above what one second of a receiver
    // holds (an ephemeris and a measurement of each of 32 satellites and a position record).
    static constexpr std::size_t kMaxEpochRecords = 256;

    ~RawLogReplay();

    // Opens the log (a file, a pipe or a FIFO; it is read once, as it comes) and reads up to its
    // first whole entry, so that a log holding none is refused before anything is sent. Damage
    // found later is reported on `err`, naming the file and the byte offset, and skipped.
    bool Open(const std::string& path, std::FILE* err, std::string& error);

    // The next epoch: every entry up to and including the next position record, or up to the
    // end of the log or the bound above. False when the log is exhausted.
    bool NextEpoch(std::vector<PlannedRecord>& records);

  private:
    bool ReadEntry(PlannedRecord& record);

    std::FILE* file_ = nullptr;
    std::FILE* err_ = nullptr;
    std::string path_;
    std::unique_ptr<RawLogFramer> framer_;
    PlannedRecord first_{};
    bool haveFirst_ = false;
};
