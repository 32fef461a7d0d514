#include "gnss/leap_seconds.hpp"

#include <array>

using namespace std::chrono;

namespace {

// The UTC days that began with one more second of GPS time ahead of UTC, and the count from then.
struct LeapStep {
    sys_days utcDay;
    int gpsMinusUtc;
};

constexpr std::array<LeapStep, 18> kLeapSteps = {{
    {year{1981} / July / 1, 1},
    {year{1982} / July / 1, 2},
    {year{1983} / July / 1, 3},
    {year{1985} / July / 1, 4},
    {year{1988} / January / 1, 5},
    {year{1990} / January / 1, 6},
    {year{1991} / January / 1, 7},
    {year{1992} / July / 1, 8},
    {year{1993} / July / 1, 9},
    {year{1994} / July / 1, 10},
    {year{1996} / January / 1, 11},
    {year{1997} / July / 1, 12},
    {year{1999} / January / 1, 13},
    {year{2006} / January / 1, 14},
    {year{2009} / January / 1, 15},
    {year{2012} / July / 1, 16},
    {year{2015} / July / 1, 17},
    {year{2017} / January / 1, 18},
}};

}  // namespace

int GpsMinusUtcSeconds(GpsTime t) {
    int count = 0;
    for (const LeapStep& step : kLeapSteps) {
        // The inserted second 23:59:60 began when GPS time reached the new day plus the count
        // before the step.
        if (t >= GpsTime::FromDay(step.utcDay) + seconds{count}) {
            count = step.gpsMinusUtc;
        }
    }
    return count;
}

int GpsMinusUtcSeconds(UtcTime t) {
    int count = 0;
    for (const LeapStep& step : kLeapSteps) {
        if (t >= step.utcDay) {
            count = step.gpsMinusUtc;
        }
    }
    return count;
}

UtcTime ToUtc(GpsTime t, std::optional<int> gpsMinusUtc) {
    const int leap = gpsMinusUtc.value_or(GpsMinusUtcSeconds(t));
    return UtcTime{kGpsEpochDay} + t.SinceEpoch() - seconds{leap};
}

GpsTime FromUtc(UtcTime t, std::optional<int> gpsMinusUtc) {
    const int leap = gpsMinusUtc.value_or(GpsMinusUtcSeconds(t));
    return GpsTime(t - UtcTime{kGpsEpochDay}) + seconds{leap};
}
