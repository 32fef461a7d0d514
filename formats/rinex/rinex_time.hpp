// Epoch times of RINEX 2 files: a calendar date and time of GPS time with the second in seven
// decimals (100 ns, the resolution of GpsTime, so an epoch is kept exact as written and read) and
// a two-digit year, 1980 to 2079. Files are read into GpsTime and written from it.
#pragma once

#include <optional>

#include "gnss/gps_time.hpp"

// The instant of a date and time read from a file: a real date from 1980-01-06 to 2079, hours
// 0-23, minutes 0-59, seconds below 60 (GPS time has no leap second); nothing otherwise.
std::optional<GpsTime> RinexEpochTime(const CalendarTime& fields);

// Whether a file can name the instant (the reader would take it back): from the start of GPS time
// to the end of 2079. A corrupt time in a log, or an absurd week, gives one that cannot.
bool IsRinexEpoch(GpsTime time);
