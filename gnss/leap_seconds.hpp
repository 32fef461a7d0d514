// UTC from GPS time and back. GPS time runs ahead of UTC by the leap seconds inserted since its
// start (1980-01-06): 18 s since 2017-01-01. The table holds every step since 1980; a leap second
// announced after it is given as an override (a receiver's almanac or the user says it).
#pragma once

#include <chrono>
#include <optional>

#include "gnss/gps_time.hpp"

// A UTC instant as std::chrono's system clock counts it (no leap seconds), in GPS time's ticks.
using UtcTime = std::chrono::sys_time<GpsDuration>;

// GPS minus UTC in seconds at a GPS instant: 0 before 1981-07-01. In the inserted second itself
// (23:59:60 UTC, which the system clock cannot name) it is already the new count, so that UTC
// reads 23:59:59 once more.
int GpsMinusUtcSeconds(GpsTime t);
// The same at a UTC instant.
int GpsMinusUtcSeconds(UtcTime t);

// UTC of a GPS instant: the leap seconds in force subtracted, or `gpsMinusUtc` when given.
UtcTime ToUtc(GpsTime t, std::optional<int> gpsMinusUtc = std::nullopt);
// GPS time of a UTC instant: the leap seconds in force added, or `gpsMinusUtc` when given.
GpsTime FromUtc(UtcTime t, std::optional<int> gpsMinusUtc = std::nullopt);
