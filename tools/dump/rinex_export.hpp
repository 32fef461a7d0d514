// What a raw log gives a RINEX export, collected in one walk: the epochs with the C1 ranges of
// every usable measurement (with or without an ephemeris in the log), the distinct ephemerides with
// the epoch that brought each, and the fixes for the approximate position. The files are written
// once the week is known (after the walk).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "formats/rinex/rinex_navigation.hpp"
#include "formats/rinex/rinex_observation_writer.hpp"
#include "gnss/coordinates.hpp"
#include "gnss/gps_time.hpp"
#include "orbit/ephemeris_record.hpp"
#include "tools/dump/median_fix.hpp"

class RinexExportCollector : public LogEpochVisitor {
  public:
    // The fixes of the approximate position come from `fixer` (the ionosphere and navigation
    // file of --nav).
    explicit RinexExportCollector(EpochFixer fixer = EpochFixer())
        : fixes_(kMaxMedianFixes, fixer) {}

    struct ExportEpoch {
        GpsTime time;  // in the log's weeks (LogEpoch::time)
        std::uint32_t firstRange = 0;
        std::uint32_t rangeCount = 0;
    };
    struct ExportEphemeris {
        EphemerisRecord record{};
        std::uint64_t offset = 0;  // of its SNV entry
        GpsTime received;          // the time of the epoch that brought it, in the log's weeks
    };

    void Ephemeris(const LogEphemeris& e) override;
    void Epoch(const LogEpoch& e) override;
    // Ephemerides after the last epoch belong to it.
    void Finish();

    const std::vector<ExportEpoch>& Epochs() const { return epochs_; }
    const std::vector<ObservedRange>& Ranges() const { return ranges_; }
    const std::vector<ExportEphemeris>& Ephemerides() const { return ephemerides_; }
    // Ranges left out because they do not fit the file (a corrupt measurement).
    std::size_t UnwritableRanges() const { return unwritableRanges_; }
    // Epochs left out because they are not later than the one before (LogEpoch::inSequence).
    std::size_t OutOfOrderEpochs() const { return outOfOrderEpochs_; }
    // The component-wise median of the fixes of up to kMaxMedianFixes epochs spread evenly over
    // the log (all of them in a log of up to that many epochs); nothing when none has a fix.
    std::optional<Ecef> MedianPosition() const { return fixes_.Median(); }
    // The most frequent spacing of consecutive epochs, s; 0 with fewer than two epochs.
    double Interval() const;

  private:
    bool IsNew(const EphemerisRecord& record) const;

    std::optional<GpsTime> lastEpoch_;  // of the last epoch seen
    std::vector<ExportEpoch> epochs_;
    std::vector<ObservedRange> ranges_;
    std::vector<ExportEphemeris> ephemerides_;
    std::size_t pending_ = 0;  // ephemerides_ before this index have their epoch
    static constexpr std::size_t kMaxMedianFixes = 1024;
    MedianFix fixes_;
    std::size_t unwritableRanges_ = 0;
    std::size_t outOfOrderEpochs_ = 0;
};

struct RinexExportRequest {
    std::string station;    // four characters: the file names' NAME
    std::string directory;  // where the files go
    std::string logPath;    // the raw log read, never to be written over
    int firstWeek = 0;      // the full GPS week of the first epoch
    RinexRunInfo run;
    std::vector<std::string> comments;  // extra COMMENT lines of the observation header
    // The broadcast ionosphere for the navigation header (ION ALPHA / ION BETA): the receiver's
    // records carry none, so it comes from a navigation file the user gives (--nav).
    std::optional<RinexIonosphere> ionosphere;
};

struct RinexExportResult {
    bool ok = false;
    std::string observationPath;
    std::string navigationPath;
    std::string problem;  // names the file and the cause when !ok
    std::size_t unwritableEphemerides = 0;
    std::size_t unwritableEpochs = 0;  // outside the years RINEX 2 can write
};

// Writes NAMEddd0.yyo and NAMEddd0.yyn: both files appear whole, or neither (whole_file.hpp).
RinexExportResult WriteRinexFiles(const RinexExportCollector& log,
                                  const RinexExportRequest& request);
