// GPS time as the receiver's records and RINEX files need it: a week number with seconds of the
// week, the calendar date and time of day of such an instant (GPS time has no leap seconds), and
// the resolution of the week, which the records do not carry.
#pragma once

#include <cstdint>
#include <optional>

inline constexpr double kSecondsPerWeek = 604800.0;
inline constexpr double kHalfWeekSeconds = 302400.0;

struct CalendarDate {
    int year = 0, month = 0, day = 0;
};

struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
};

// Days from the start of GPS time (1980-01-06) to the given date of the proleptic calendar.
long DaysFromGpsEpoch(int year, int month, int day);
CalendarDate DateFromGpsDays(long days);
int DayOfYear(int year, int month, int day);
bool IsValidDate(int year, int month, int day);

// The calendar time (in GPS time) of `secondsOfWeek` in the full GPS week `week`; seconds of week
// outside 0..604800 count into the neighbouring weeks.
CalendarTime CalendarFromGps(int week, double secondsOfWeek);

// The GPS week that holds the given date.
int GpsWeekOfDate(int year, int month, int day);

// GPS minus UTC at a UTC instant given in seconds since 1970-01-01 (the leap seconds introduced
// since 1980; 18 since 2017).
int GpsMinusUtcSeconds(std::int64_t unixSeconds);

// The full GPS week of the last epoch that puts it closest before the UTC instant `unixSeconds`
// (a file's modification time): the last epoch is the latest instant with that time of week that
// is not after the instant.
int WeekBeforeInstant(double lastSecondsOfWeek, std::int64_t unixSeconds);

// The week of a time of week `t` (an ephemeris's toe or toc) brought at the epoch
// (`epochWeek`, `epochSecondsOfWeek`): the one of the three candidate weeks within half a week
// of the epoch.
int WeekNear(int epochWeek, double epochSecondsOfWeek, double t);

// Follows the week through a log's epochs: a time of week that falls back by more than half a
// week continues in the next week (the receiver's clock passed the end of the week); a smaller
// step back (a repeated or reordered epoch) stays in the same week.
class WeekTracker {
  public:
    explicit WeekTracker(int firstWeek) : week_(firstWeek) {}
    int WeekOf(double secondsOfWeek) {
        if (previous_ && secondsOfWeek < *previous_ - kHalfWeekSeconds) {
            ++week_;
        }
        previous_ = secondsOfWeek;
        return week_;
    }

  private:
    int week_;
    std::optional<double> previous_;
};
