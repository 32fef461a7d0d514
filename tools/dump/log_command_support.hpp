// What the commands that walk a raw log epoch by epoch (rinex, summary, skyplot) share: opening the
// log named on the command line, the exit status and message for how the walk ended, and the GPS
// week of the log's first epoch, which the records do not carry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "formats/rawlog/log_epochs.hpp"
#include "gnss/gps_time.hpp"

// An open raw log; "-" is standard input (read in binary mode on Windows).
class CommandLog {
  public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    // False (and a message naming the file and the cause on `err`) when it cannot be opened.
    bool Open(const std::string& name, std::FILE* err);
    std::FILE* File() const { return file_; }
    bool IsStandardInput() const { return name_ == "-"; }
    const std::string& Name() const { return name_; }
    // The name for messages and listings: "standard input", or the file's name with every byte
    // a terminal could obey (an escape sequence, a line break) written as \xHH.
    std::string ShownName() const;

  private:
    std::FILE* file_ = nullptr;
    std::string name_;
};

// Says on `err` where a damaged stretch of the log named `shownName` begins and, when the reader
// read on past it, how many bytes it skipped.
void ReportLogDamage(const LogDamage& damage, const std::string& shownName, std::FILE* err);

// Says on `err` which epoch of the log named `shownName` was left out for a time out of sequence,
// by its byte offset.
void ReportTimeOutlier(const LogTimeOutlier& outlier, const std::string& shownName, std::FILE* err);

// Walks the log with `visitor`, saying on `err` where each damaged stretch begins and how much was
// skipped, and which epochs were left out for their times, as the other commands do.
LogWalkEnd WalkLogReportingDamage(const CommandLog& log, LogEpochVisitor& visitor, std::FILE* err);

// 0 the whole log was read; 1 it is damaged, ends inside an entry or has epoch times out of
// sequence (each was named as it was read past); 2 it could not be read (said on `err`).
int WalkEndStatus(const LogWalkEnd& end, const std::string& shownName, std::FILE* err);

// --week and --date as given on the command line.
struct WeekOptions {
    std::optional<int> week;
    std::optional<GpsTime> date;  // the start of the day
};

struct ResolvedWeek {
    int firstWeek = 0;   // the full GPS week of the log's first epoch (week 0 of LogEpoch::time)
    std::string source;  // how it was found, for the user
    std::string origin;  // the same in a few words: "--week", "--date", "the file time"
};

// The week of the first epoch: --week as given; --date, which must be the date of the first epoch;
// or the week that puts the last epoch closest before the log file's modification time. `first`
// and `last` are the epochs' times in the log's weeks (LogEpoch::time: the first epoch's week is
// 0). Returns nothing and says why in `problem` when none applies.
std::optional<ResolvedWeek> ResolveFirstWeek(const WeekOptions& options, const CommandLog& log,
                                             GpsTime first, GpsTime last, std::string& problem);

// "2010-07-01 00:00:00.000"
std::string FormatGpsDateTime(GpsTime time);
