#include "gnss/gps_time.hpp"

using namespace std::chrono;

int CalendarTime::DayOfYear() const {
    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    return static_cast<int>((sys_days{date} - sys_days{date.year() / January / 1}).count()) + 1;
}

GpsTime GpsTime::FromDay(sys_days day) {
    return GpsTime(day - kGpsEpochDay);
}

std::optional<GpsTime> GpsTime::FromCalendar(const CalendarTime& c) {
    // Range first: the calendar types keep a month and a day in a byte.
    if (c.year < 1 || c.year > 9999 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 ||
        c.hour < 0 || c.hour > 23 || c.minute < 0 || c.minute > 59 || c.secondTicks < 0 ||
        c.secondTicks >= 60 * kTicksPerSecond) {
        return std::nullopt;
    }
    const year_month_day date{year{c.year}, month{static_cast<unsigned>(c.month)},
                              day{static_cast<unsigned>(c.day)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    return FromDay(sys_days{date}) + hours{c.hour} + minutes{c.minute} + GpsDuration{c.secondTicks};
}

sys_days GpsTime::Day() const {
    return kGpsEpochDay + floor<days>(sinceEpoch_);
}

CalendarTime GpsTime::Calendar() const {
    const sys_days day = Day();
    const year_month_day date{day};
    const GpsDuration ofDay = sinceEpoch_ - (day - kGpsEpochDay);
    const hours hour = floor<hours>(ofDay);
    const minutes minute = floor<minutes>(ofDay - hour);
    CalendarTime c;
    c.year = static_cast<int>(date.year());
    c.month = static_cast<int>(static_cast<unsigned>(date.month()));
    c.day = static_cast<int>(static_cast<unsigned>(date.day()));
    c.hour = static_cast<int>(hour.count());
    c.minute = static_cast<int>(minute.count());
    c.secondTicks = (ofDay - hour - minute).count();
    return c;
}

GpsTime NearestWithTimeOfWeek(GpsTime reference, GpsDuration ofWeek) {
    GpsTime t = GpsTime::FromWeek(reference.Week(), ofWeek);
    if (t - reference > kGpsWeek / 2) {
        t -= kGpsWeek;
    }
    if (t - reference < -kGpsWeek / 2) {
        t += kGpsWeek;
    }
    return t;
}

GpsTime LatestWithTimeOfWeek(GpsTime limit, GpsDuration ofWeek) {
    return GpsTime::FromWeek(floor<weeks>(limit.SinceEpoch() - ofWeek).count(), ofWeek);
}
