// Where the simulated satellites' orbits and clocks come from: the broadcast ephemeris that each
// satellite transmits at a given time.
#pragma once

#include <optional>

#include "orbit/ephemeris_record.hpp"

// Simulation time: seconds since the start of the GPS week in which the run starts; it goes on
// past the end of the week when a run crosses into the next week.
class EphemerisSource {
  public:
    virtual ~EphemerisSource() = default;
    // The highest PRN the source may know; PRNs run from 1.
    virtual int MaxPrn() const = 0;
    // The ephemeris the satellite broadcasts at `time`; empty when it has none (not in the
    // constellation, or no healthy record near that time). The record's prn is the PRN minus one.
    virtual std::optional<EphemerisRecord> Ephemeris(int prn, double time) const = 0;
};
