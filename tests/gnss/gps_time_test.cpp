// GPS time: the calendar over the whole GPS era, weeks and times of week, and where a time of
// week belongs.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "gnss/gps_time.hpp"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

GpsTime At(int year, int month, int day, int hour = 0, int minute = 0, std::int64_t ticks = 0) {
    const std::optional<GpsTime> t = GpsTime::FromCalendar({year, month, day, hour, minute, ticks});
    EXPECT_TRUE(t) << year << "-" << month << "-" << day;
    return t.value_or(GpsTime{});
}

// Every day from the start of GPS time to 2200, counted by a calendar of its own (month lengths and
// the Gregorian leap-year rule), with a time of day that moves through every field: the date and
// time come back from the instant, and the instant, its week and its day of the year are those
// the count gives.
TEST(GpsTime, CalendarRoundTripOverTheWholeEra) {
    int year = 1980, month = 1, day = 6, dayOfYear = 6;
    for (std::int64_t days = 0; year < 2200; ++days) {
        const std::int64_t ofDay = (days * 7919 % 86400) * kTicksPerSecond + days % 9999991;
        const GpsTime expected{std::chrono::days{days} + GpsDuration{ofDay}};
        const CalendarTime c{year,
                             month,
                             day,
                             static_cast<int>(ofDay / kTicksPerSecond / 3600),
                             static_cast<int>(ofDay / kTicksPerSecond / 60 % 60),
                             ofDay % (60 * kTicksPerSecond)};
        ASSERT_EQ(GpsTime::FromCalendar(c), expected) << year << "-" << month << "-" << day;
        const CalendarTime back = expected.Calendar();
        ASSERT_EQ(
            std::tie(back.year, back.month, back.day, back.hour, back.minute, back.secondTicks),
            std::tie(c.year, c.month, c.day, c.hour, c.minute, c.secondTicks));
        ASSERT_EQ(back.DayOfYear(), dayOfYear);
        ASSERT_EQ(expected.Week(), days / 7);
        ASSERT_EQ(expected.OfWeek(), std::chrono::days{days % 7} + GpsDuration{ofDay});

        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        ++dayOfYear;
        if (++day > lengths[month - 1]) {
            day = 1;
            if (++month > 12) {
                month = 1;
                dayOfYear = 1;
                ++year;
            }
        }
    }
}

TEST(GpsTime, WeekNumberRolloversAndInvalidCalendarTimes) {
    // The 10-bit week number rolled over at 1999-08-22 and 2019-04-07; weeks here stay full.
    EXPECT_EQ(At(1999, 8, 22), GpsTime::FromWeek(1024, {}));
    EXPECT_EQ(At(2019, 4, 7), GpsTime::FromWeek(2048, {}));
    EXPECT_EQ(At(1999, 8, 21, 23, 59, 595 * kTicksPerSecond / 10),
              GpsTime::FromWeekMilliseconds(1023, 604799500));
    EXPECT_EQ(At(2008, 2, 29).Calendar().DayOfYear(), 60);
    for (const CalendarTime& bad :
         {CalendarTime{2010, 2, 29}, CalendarTime{2010, 13, 1}, CalendarTime{2010, 4, 31},
          CalendarTime{2010, 0, 1}, CalendarTime{2010, 1, 1, 24}, CalendarTime{2010, 1, 1, 0, 60},
          CalendarTime{2010, 1, 1, 0, 0, 60 * kTicksPerSecond}, CalendarTime{2010, 257, 1},
          CalendarTime{2010, 1, -255}}) {
        EXPECT_FALSE(GpsTime::FromCalendar(bad)) << bad.year << "-" << bad.month << "-" << bad.day;
    }
}

TEST(GpsTime, WeeksAndTimesOfWeek) {
    // 2010-07-01, a Thursday, in week 1590; milliseconds past the end of the week count into the
    // next, and before the start of GPS time the week is negative.
    const GpsTime t = GpsTime::FromWeekMilliseconds(1590, 345600123);
    EXPECT_EQ(t, At(2010, 7, 1, 0, 0, 1230000));
    EXPECT_EQ(t.SecondsOfWeek(), 345600.123);
    EXPECT_EQ(GpsTime::FromWeekMilliseconds(1590, 604800000 + 3600000), At(2010, 7, 4, 1));
    const GpsTime before = GpsTime{} - milliseconds(1);
    EXPECT_EQ(before.Week(), -1);
    EXPECT_EQ(before.OfWeek(), kGpsWeek - milliseconds(1));
    EXPECT_EQ(Seconds(t - GpsTime::FromWeek(1589, {})), 604800.0 + 345600.123);
    EXPECT_EQ(kMillisecondsPerWeek, 604800000);
    EXPECT_EQ(kSecondsPerWeek, 604800.0);
}

TEST(GpsTime, TimesOfWeekPlacedNearAnEpochOrBeforeALimit) {
    // An ephemeris's toe or toc belongs within half a week of the epoch that brought it.
    const GpsTime late = GpsTime::FromWeekMilliseconds(1590, 604000000);
    EXPECT_EQ(NearestWithTimeOfWeek(late, {}), GpsTime::FromWeek(1591, {}));
    const GpsTime early = GpsTime::FromWeekMilliseconds(1591, 100000);
    EXPECT_EQ(NearestWithTimeOfWeek(early, seconds(604784)).Week(), 1590);
    EXPECT_EQ(NearestWithTimeOfWeek(early, seconds(100 + 302400)).Week(), 1591);  // half: stays
    EXPECT_EQ(NearestWithTimeOfWeek(early, seconds(99 + 302400)).Week(), 1591);
    EXPECT_EQ(NearestWithTimeOfWeek(early, seconds(101 + 302400)).Week(), 1590);

    // A log written at 345620 s of week 1590 ended in that week when its last epoch was earlier
    // in the week, and in the week before when later.
    const GpsTime written = GpsTime::FromWeekMilliseconds(1590, 345620000);
    EXPECT_EQ(LatestWithTimeOfWeek(written, seconds(345620)), written);
    EXPECT_EQ(LatestWithTimeOfWeek(written, seconds(345630)).Week(), 1589);
    EXPECT_EQ(LatestWithTimeOfWeek(written, seconds(10)).Week(), 1590);
}

}  // namespace
