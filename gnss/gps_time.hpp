// GPS time: one type for every instant the system handles, from the receiver's milliseconds of the
// week to the 100 ns of RINEX's seven decimals of the second, with the GPS week, the calendar of
// GPS time (which has no leap seconds; UTC is in leap_seconds.hpp) and the week's lengths in the
// units the layers count in.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <optional>

// The resolution of GPS time: 100 ns, the seven decimals of a RINEX epoch; the receiver's
// milliseconds are 10^4 of them. 64 bits hold +-29,000 years of them.
using GpsDuration = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

// The start of GPS time, 1980-01-06 00:00:00 (UTC and GPS time were one then).
inline constexpr std::chrono::sys_days kGpsEpochDay{std::chrono::year{1980} / 1 / 6};

inline constexpr std::int64_t kTicksPerSecond = GpsDuration::period::den;
inline constexpr GpsDuration kGpsWeek = std::chrono::weeks{1};
// The week in the units of the receiver's records and of the orbit computation.
inline constexpr std::int64_t kMillisecondsPerWeek =
    std::chrono::duration_cast<std::chrono::milliseconds>(kGpsWeek).count();
inline constexpr double kSecondsPerWeek = std::chrono::duration<double>(kGpsWeek).count();
inline constexpr double kHalfWeekSeconds = kSecondsPerWeek / 2.0;

// A date and time of day of the calendar (GPS time, or UTC where a caller says so).
struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;  // four-digit year
    std::int64_t secondTicks = 0;                            // within the minute, 100 ns ticks

    double Seconds() const {
        return static_cast<double>(secondTicks) / static_cast<double>(kTicksPerSecond);
    }
    // 1 for the first of January.
    int DayOfYear() const;
};

class GpsTime {
  public:
    constexpr GpsTime() = default;
    // Time since the start of GPS time, 1980-01-06 00:00:00.
    constexpr explicit GpsTime(GpsDuration sinceEpoch) : sinceEpoch_(sinceEpoch) {}

    // The instant `ofWeek` into the full GPS week `week`; a time outside the week counts into
    // the neighbouring weeks.
    static constexpr GpsTime FromWeek(std::int64_t week, GpsDuration ofWeek) {
        return GpsTime(kGpsWeek * week + ofWeek);
    }
    // The same with the receiver's milliseconds of the week.
    static constexpr GpsTime FromWeekMilliseconds(std::int64_t week, std::int64_t msOfWeek) {
        return FromWeek(week, std::chrono::milliseconds(msOfWeek));
    }
    // The start of a day of the GPS calendar.
    static GpsTime FromDay(std::chrono::sys_days day);
    // A calendar date and time of GPS time; nothing unless it is a real date (years 1 to 9999),
    // hours 0-23, minutes 0-59 and seconds below 60 (GPS time has no leap second).
    static std::optional<GpsTime> FromCalendar(const CalendarTime& calendar);

    constexpr GpsDuration SinceEpoch() const { return sinceEpoch_; }
    // The full GPS week (never reduced modulo 1024) and the time into it.
    constexpr int Week() const {
        return static_cast<int>(std::chrono::floor<std::chrono::weeks>(sinceEpoch_).count());
    }
    constexpr GpsDuration OfWeek() const {
        return sinceEpoch_ - std::chrono::floor<std::chrono::weeks>(sinceEpoch_);
    }
    // The time of week in seconds, the nearest double.
    constexpr double SecondsOfWeek() const {
        return static_cast<double>(OfWeek().count()) / static_cast<double>(kTicksPerSecond);
    }
    CalendarTime Calendar() const;
    std::chrono::sys_days Day() const;

    constexpr auto operator<=>(const GpsTime&) const = default;
    constexpr GpsTime& operator+=(GpsDuration d) {
        sinceEpoch_ += d;
        return *this;
    }
    constexpr GpsTime& operator-=(GpsDuration d) {
        sinceEpoch_ -= d;
        return *this;
    }
    friend constexpr GpsTime operator+(GpsTime t, GpsDuration d) { return t += d; }
    friend constexpr GpsTime operator-(GpsTime t, GpsDuration d) { return t -= d; }
    friend constexpr GpsDuration operator-(GpsTime a, GpsTime b) {
        return a.sinceEpoch_ - b.sinceEpoch_;
    }

  private:
    GpsDuration sinceEpoch_{};
};

// Seconds as a double (the orbit and the fix count in them), the nearest to the exact duration.
constexpr double Seconds(GpsDuration d) {
    return static_cast<double>(d.count()) / static_cast<double>(kTicksPerSecond);
}

// The instant with time of week `ofWeek` that lies within half a week of `reference`: where an
// ephemeris's toe or toc belongs when it is brought at an epoch. One exactly half a week away
// stays in the reference's week.
GpsTime NearestWithTimeOfWeek(GpsTime reference, GpsDuration ofWeek);

// The latest instant with time of week `ofWeek` that is not after `limit`: where a log's last epoch
// lies when the log was written before `limit`.
GpsTime LatestWithTimeOfWeek(GpsTime limit, GpsDuration ofWeek);
