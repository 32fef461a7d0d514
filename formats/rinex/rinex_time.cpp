#include "formats/rinex/rinex_time.hpp"

#include "gnss/gps_time.hpp"

namespace {

constexpr std::int64_t kTicksPerDay = 86400 * kRinexTicksPerSecond;

}  // namespace

bool IsValidRinexTime(const RinexTime& t) {
    return t.year >= 1980 && t.year <= 2079 && IsValidDate(t.year, t.month, t.day) &&
           DaysFromGpsEpoch(t.year, t.month, t.day) >= 0 && t.hour >= 0 && t.hour <= 23 &&
           t.minute >= 0 && t.minute <= 59 && t.secondTicks >= 0 &&
           t.secondTicks < 60 * kRinexTicksPerSecond;
}

std::int64_t RinexTime::GpsTicks() const {
    const std::int64_t days = DaysFromGpsEpoch(year, month, day);
    return days * kTicksPerDay + (hour * 3600 + minute * 60) * kRinexTicksPerSecond + secondTicks;
}

int RinexTime::GpsWeek() const {
    return static_cast<int>(GpsTicks() / (7 * kTicksPerDay));
}

std::int64_t RinexTime::TicksOfWeek() const {
    return GpsTicks() % (7 * kTicksPerDay);
}

RinexTime RinexTimeOfGps(std::int64_t gpsTicks) {
    // Floor division: a time before the start of GPS time still gets its own calendar date.
    std::int64_t days = gpsTicks / kTicksPerDay;
    std::int64_t ofDay = gpsTicks % kTicksPerDay;
    if (ofDay < 0) {
        ofDay += kTicksPerDay;
        --days;
    }
    const CalendarDate date = DateFromGpsDays(static_cast<long>(days));
    RinexTime t;
    t.year = date.year;
    t.month = date.month;
    t.day = date.day;
    const std::int64_t minutes = ofDay / (60 * kRinexTicksPerSecond);
    t.hour = static_cast<int>(minutes / 60);
    t.minute = static_cast<int>(minutes % 60);
    t.secondTicks = ofDay % (60 * kRinexTicksPerSecond);
    return t;
}

RinexTime RinexTimeOfWeek(int week, std::int64_t msOfWeek) {
    return RinexTimeOfGps((static_cast<std::int64_t>(week) * 7 * kTicksPerDay) +
                          msOfWeek * (kRinexTicksPerSecond / 1000));
}
