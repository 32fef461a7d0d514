#include "formats/rinex/rinex_time.hpp"

namespace {

bool InRinexYears(const CalendarTime& fields) {
    return fields.year >= 1980 && fields.year <= 2079;
}

}  // namespace

std::optional<GpsTime> RinexEpochTime(const CalendarTime& fields) {
    const std::optional<GpsTime> time = GpsTime::FromCalendar(fields);
    if (!time || !InRinexYears(fields) || *time < GpsTime{}) {
        return std::nullopt;
    }
    return time;
}

bool IsRinexEpoch(GpsTime time) {
    return time >= GpsTime{} && InRinexYears(time.Calendar());
}
