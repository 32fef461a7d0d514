// The ephemerides of a RINEX 2 GPS navigation file as the satellites broadcast them: for every
// PRN the healthy record whose toe is nearest to the time asked for.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/sim/ephemeris_source.hpp"

class NavigationEphemerides : public EphemerisSource {
  public:
    // Reads and parses `path`; on failure returns false with a message naming the file and, for a
    // parse error, the line.
    bool Load(const std::string& path, std::string& error);

    int MaxPrn() const override { return kMaxPrn; }
    std::optional<EphemerisRecord> Ephemeris(int prn, double time) const override;

    // A time inside the file: the median toe of its healthy records.
    double DefaultStart() const;
    std::size_t HealthyRecordCount() const;

    // Records are used up to this far from their toe (the usual four-hour fit interval).
    static constexpr double kMaxAge = 4 * 3600.0;
    static constexpr int kMaxPrn = 32;

  private:
    std::array<std::vector<EphemerisRecord>, kMaxPrn + 1> byPrn_;
};
