// UTC from GPS time and back at every leap second since 1980.
#include <gtest/gtest.h>

#include <chrono>

#include "gnss/leap_seconds.hpp"

namespace {

using namespace std::chrono;

// The UTC days that began after an inserted second, as the IERS bulletins list them.
constexpr year_month_day kSteps[] = {1981y / July / 1,    1982y / July / 1,    1983y / July / 1,
                                     1985y / July / 1,    1988y / January / 1, 1990y / January / 1,
                                     1991y / January / 1, 1992y / July / 1,    1993y / July / 1,
                                     1994y / July / 1,    1996y / January / 1, 1997y / July / 1,
                                     1999y / January / 1, 2006y / January / 1, 2009y / January / 1,
                                     2012y / July / 1,    2015y / July / 1,    2017y / January / 1};

TEST(LeapSeconds, EveryStepAtItsBoundaryBothWays) {
    const UtcTime gpsStart{sys_days{1980y / January / 6}};
    EXPECT_EQ(ToUtc(GpsTime{}), gpsStart);
    EXPECT_EQ(GpsMinusUtcSeconds(gpsStart), 0);
    int count = 0;
    for (const year_month_day& step : kSteps) {
        const UtcTime midnight{sys_days{step}};
        const GpsDuration tick{1};
        // UTC side: the new count from the first instant of the new day.
        EXPECT_EQ(GpsMinusUtcSeconds(midnight - tick), count) << int(step.year());
        EXPECT_EQ(GpsMinusUtcSeconds(midnight), count + 1);
        // GPS side: 23:59:59 is followed by the inserted second, which reads as 23:59:59 again,
        // and then by the new day.
        const GpsTime lastOld = FromUtc(midnight - tick);
        EXPECT_EQ(lastOld.SinceEpoch(), midnight - gpsStart - tick + seconds(count));
        EXPECT_EQ(ToUtc(lastOld), midnight - tick);
        EXPECT_EQ(ToUtc(lastOld + tick), midnight - seconds(1));
        EXPECT_EQ(ToUtc(lastOld + seconds(1)), midnight - tick);
        EXPECT_EQ(ToUtc(lastOld + seconds(1) + tick), midnight);
        EXPECT_EQ(FromUtc(midnight), lastOld + seconds(1) + tick);
        ++count;
    }
    EXPECT_EQ(GpsMinusUtcSeconds(GpsTime::FromWeek(2400, {})), 18);
}

TEST(LeapSeconds, AnOverrideReplacesTheTable) {
    const GpsTime t = GpsTime::FromWeek(2400, {});
    EXPECT_EQ(ToUtc(t, 19) + seconds(19), ToUtc(t, 0));
    EXPECT_EQ(FromUtc(ToUtc(t, 19), 19), t);
}

}  // namespace
