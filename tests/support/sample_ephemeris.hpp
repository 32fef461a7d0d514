// A plausible ephemeris of satellite `prn` (a GPS orbit about 26,560 km from the earth's centre),
// for tests and benchmarks that need records of several satellites but no particular day.
#pragma once

#include <cstdint>

#include "orbit/ephemeris_record.hpp"

inline EphemerisRecord SampleEphemeris(int prn) {
    EphemerisRecord e{};
    e.prn = static_cast<std::int8_t>(prn - 1);
    e.rootA = 5153.7;
    e.e = 0.01;
    e.i0 = 0.3;
    e.omega0 = 0.1 * prn;
    e.m0 = 0.05 * prn;
    e.toe = 345600;
    e.toc = 345600;
    return e;
}
