// The files a run writes beside (or instead of) the line: the raw log the tool would record, a
// capture of the line's bytes, and the truth: the simulated positions of the satellites the tool
// computes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "tools/sim/fault_injector.hpp"
#include "tools/sim/scenario.hpp"

// A binary output file. Opening does not truncate, so that nothing is lost when another output
// of the run cannot be opened; Begin empties it once every output is open. A failed write (a full
// disk, a closed pipe) is kept with its cause, and the run stops at it.
class OutputFile {
  public:
    ~OutputFile();
    bool Open(const std::string& path, std::string& error);
    bool Begin(std::string& error);
    bool IsOpen() const { return file_ != nullptr; }
    void Write(std::span<const std::uint8_t> bytes);
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }  // names the file and the cause
    bool Close(std::string& error);

  private:
    void Fail(const char* what);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string error_;
};

// Follows what reaches the tool's satellite tables, to tell which measured satellites the tool
// computes when a position record closes the epoch: those with a measurement in this epoch and an
// ephemeris received before. Exact for runs without faults; with faults, a measurement that
// outlives a lost position record is not followed.
class ToolView {
  public:
    // Truth rows of the epoch whose plan is `plan`, for a piece that reached the tables.
    void Processed(const PlannedRecord& record, const EpochPlan& plan,
                   std::vector<TruthRow>& computed);

  private:
    std::array<bool, kSlotCount> ephemeris_{};
    std::array<bool, kSlotCount> measured_{};
};

// CSV with the columns of `satlog-dump positions`: time_ms,prn,transmit_time,x,y,z.
class TruthWriter {
  public:
    bool Open(const std::string& path, std::string& error) { return file_.Open(path, error); }
    bool Begin(std::string& error);  // empties the file and writes the header
    OutputFile& File() { return file_; }
    const OutputFile& File() const { return file_; }
    void Write(const TruthRow& row);
    bool Close(std::string& error) { return file_.Close(error); }

  private:
    OutputFile file_;
};
