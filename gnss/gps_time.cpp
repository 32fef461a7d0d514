#include "gnss/gps_time.hpp"

#include <array>
#include <cmath>

namespace {

// 1980-01-06 counted from 1970-01-01.
constexpr long kGpsEpochUnixDays = 3657;

// Days since 1970-01-01 of a civil date, and back (the era arithmetic of the proleptic calendar).
constexpr long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CalendarDate CivilFromDays(long z) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

long FloorDiv(long a, long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// UTC dates (as days since 1970) from which GPS time ran one more second ahead of UTC.
constexpr std::array<long, 18> kLeapSecondDays = {
    DaysFromCivil(1981, 7, 1), DaysFromCivil(1982, 7, 1), DaysFromCivil(1983, 7, 1),
    DaysFromCivil(1985, 7, 1), DaysFromCivil(1988, 1, 1), DaysFromCivil(1990, 1, 1),
    DaysFromCivil(1991, 1, 1), DaysFromCivil(1992, 7, 1), DaysFromCivil(1993, 7, 1),
    DaysFromCivil(1994, 7, 1), DaysFromCivil(1996, 1, 1), DaysFromCivil(1997, 7, 1),
    DaysFromCivil(1999, 1, 1), DaysFromCivil(2006, 1, 1), DaysFromCivil(2009, 1, 1),
    DaysFromCivil(2012, 7, 1), DaysFromCivil(2015, 7, 1), DaysFromCivil(2017, 1, 1)};

}  // namespace

long DaysFromGpsEpoch(int year, int month, int day) {
    return DaysFromCivil(year, month, day) - kGpsEpochUnixDays;
}

CalendarDate DateFromGpsDays(long days) {
    return CivilFromDays(days + kGpsEpochUnixDays);
}

bool IsValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
        return false;
    }
    const CalendarDate back = CivilFromDays(DaysFromCivil(year, month, day));
    return back.year == year && back.month == month && back.day == day;
}

int DayOfYear(int year, int month, int day) {
    return static_cast<int>(DaysFromCivil(year, month, day) - DaysFromCivil(year, 1, 1)) + 1;
}

CalendarTime CalendarFromGps(int week, double secondsOfWeek) {
    // Whole seconds and the fraction apart, so that a time tag like 345600.999 does not round up
    // into the next minute's field.
    const double whole = std::floor(secondsOfWeek);
    const long totalSeconds = static_cast<long>(week) * 604800L + static_cast<long>(whole);
    const long days = FloorDiv(totalSeconds, 86400);
    const long secondOfDay = totalSeconds - days * 86400;
    const CalendarDate date = DateFromGpsDays(days);
    CalendarTime t;
    t.year = date.year;
    t.month = date.month;
    t.day = date.day;
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay % 3600 / 60);
    t.second = static_cast<double>(secondOfDay % 60) + (secondsOfWeek - whole);
    return t;
}

int GpsWeekOfDate(int year, int month, int day) {
    return static_cast<int>(FloorDiv(DaysFromGpsEpoch(year, month, day), 7));
}

int GpsMinusUtcSeconds(std::int64_t unixSeconds) {
    const long day = FloorDiv(static_cast<long>(unixSeconds), 86400);
    int leaps = 0;
    for (long d : kLeapSecondDays) {
        leaps += day >= d ? 1 : 0;
    }
    return leaps;
}

int WeekBeforeInstant(double lastSecondsOfWeek, std::int64_t unixSeconds) {
    const double gpsSeconds = static_cast<double>(unixSeconds - kGpsEpochUnixDays * 86400L +
                                                  GpsMinusUtcSeconds(unixSeconds));
    return static_cast<int>(std::floor((gpsSeconds - lastSecondsOfWeek) / kSecondsPerWeek));
}

int WeekNear(int epochWeek, double epochSecondsOfWeek, double t) {
    if (t - epochSecondsOfWeek > kHalfWeekSeconds) {
        return epochWeek - 1;
    }
    if (t - epochSecondsOfWeek < -kHalfWeekSeconds) {
        return epochWeek + 1;
    }
    return epochWeek;
}
