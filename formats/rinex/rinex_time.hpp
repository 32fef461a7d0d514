// Epoch times of RINEX files, the one type they are read and written on, kept exact as written:
// seven decimals of the second are an integer count of 100 ns ticks. A receiver's clock drifts by
// fractions of a millisecond, and a double holding the time of week would round them.
#pragma once

#include <cstdint>

inline constexpr std::int64_t kRinexTicksPerSecond = 10000000;

// A calendar epoch in GPS time (no leap seconds), as an epoch record or a header writes it.
struct RinexTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;  // four-digit year
    std::int64_t secondTicks = 0;                            // within the minute

    // Ticks since the start of GPS time (1980-01-06 00:00:00); valid times only.
    std::int64_t GpsTicks() const;
    int GpsWeek() const;
    std::int64_t TicksOfWeek() const;
};

// The calendar epoch `gpsTicks` after the start of GPS time (any value: a time before 1980 gives
// an invalid RinexTime, which a writer refuses).
RinexTime RinexTimeOfGps(std::int64_t gpsTicks);

// The calendar epoch of a time of week in milliseconds (the receiver's) in the full GPS week.
RinexTime RinexTimeOfWeek(int week, std::int64_t msOfWeek);

// A real calendar date from 1980-01-06 to 2079 (the two-digit years of RINEX 2), hours 0-23,
// minutes 0-59, seconds below 60 (GPS time has no leap second).
bool IsValidRinexTime(const RinexTime& time);
