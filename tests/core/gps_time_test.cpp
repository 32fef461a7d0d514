// GPS weeks and calendar dates: the time tags of exported files stand on these.
#include <gtest/gtest.h>

#include "gnss/gps_time.hpp"

namespace {

void ExpectCalendar(const CalendarTime& t, int year, int month, int day, int hour, int minute,
                    double second) {
    EXPECT_EQ(t.year, year);
    EXPECT_EQ(t.month, month);
    EXPECT_EQ(t.day, day);
    EXPECT_EQ(t.hour, hour);
    EXPECT_EQ(t.minute, minute);
    EXPECT_NEAR(t.second, second, 1e-9);
}

TEST(GpsTime, CalendarOfWeekAndSecondsAcrossTheWeekNumberRollovers) {
    ExpectCalendar(CalendarFromGps(0, 0), 1980, 1, 6, 0, 0, 0);
    // The 10-bit week number rolled over at 1999-08-22 and 2019-04-07.
    ExpectCalendar(CalendarFromGps(1023, 604799.5), 1999, 8, 21, 23, 59, 59.5);
    ExpectCalendar(CalendarFromGps(1024, 0), 1999, 8, 22, 0, 0, 0);
    ExpectCalendar(CalendarFromGps(2048, 0), 2019, 4, 7, 0, 0, 0);
    // 2010-07-01, a Thursday, in week 1590; a fraction stays in its second.
    ExpectCalendar(CalendarFromGps(1590, 345600.999), 2010, 7, 1, 0, 0, 0.999);
    // Seconds past the end of the week count into the next.
    ExpectCalendar(CalendarFromGps(1590, 604800.0 + 3600.0), 2010, 7, 4, 1, 0, 0);
    EXPECT_EQ(GpsWeekOfDate(2010, 7, 1), 1590);
    EXPECT_EQ(GpsWeekOfDate(2010, 7, 4), 1591);
    EXPECT_EQ(DayOfYear(2010, 7, 1), 182);
    EXPECT_EQ(DayOfYear(2008, 12, 31), 366);
    EXPECT_TRUE(IsValidDate(2008, 2, 29));
    EXPECT_FALSE(IsValidDate(2010, 2, 29));
    EXPECT_FALSE(IsValidDate(2010, 13, 1));
}

TEST(GpsTime, TimeOfWeekFallingBackByMoreThanHalfAWeekStartsTheNextWeek) {
    WeekTracker tracker(1590);
    EXPECT_EQ(tracker.WeekOf(604798.0), 1590);
    EXPECT_EQ(tracker.WeekOf(604799.0), 1590);
    EXPECT_EQ(tracker.WeekOf(0.0), 1591);
    EXPECT_EQ(tracker.WeekOf(1.0), 1591);
    // A repeated or reordered epoch is not a new week.
    EXPECT_EQ(tracker.WeekOf(0.5), 1591);
    EXPECT_EQ(tracker.WeekOf(302401.0), 1591);
}

TEST(GpsTime, WeekInferredFromAFileTimeAfterTheLastEpoch) {
    // 2010-07-01 00:00:10 UTC is 00:00:25 GPS time (15 leap seconds since 1980).
    constexpr std::int64_t kFileTime = 1277942410;
    EXPECT_EQ(GpsMinusUtcSeconds(kFileTime), 15);
    EXPECT_EQ(GpsMinusUtcSeconds(1483228800), 18);  // 2017-01-01
    EXPECT_EQ(WeekBeforeInstant(345620.0, kFileTime), 1590);
    // A last epoch later in the week than the file time was in the week before.
    EXPECT_EQ(WeekBeforeInstant(345630.0, kFileTime), 1589);
    // A file written days after the log still names the log's week while within a week of it.
    EXPECT_EQ(WeekBeforeInstant(10.0, kFileTime), 1590);
}

TEST(GpsTime, EphemerisTimesBelongToTheWeekWithinHalfAWeekOfTheEpoch) {
    EXPECT_EQ(WeekNear(1590, 604000.0, 0.0), 1591);
    EXPECT_EQ(WeekNear(1591, 100.0, 604784.0), 1590);
    EXPECT_EQ(WeekNear(1590, 345600.0, 352800.0), 1590);
}

}  // namespace
