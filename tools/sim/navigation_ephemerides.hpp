// A RINEX 2 GPS navigation file as the satellites broadcast it: for every PRN the healthy record
// whose toe is nearest to the time asked for, and the ionospheric coefficients of its header.
#pragma once

#include <string>

#include "formats/rinex/navigation_data.hpp"
#include "tools/sim/ephemeris_source.hpp"

class NavigationEphemerides : public EphemerisSource {
  public:
    // Reads and parses `path`; on failure returns false with a message naming the file and, for a
    // parse error, the line.
    bool Load(const std::string& path, std::string& error);

    int MaxPrn() const override { return BroadcastEphemerides::kMaxPrn; }
    std::optional<EphemerisRecord> Ephemeris(int prn, double time) const override;

    // A time inside the file: the median toe of its healthy records.
    double DefaultStart() const { return data_.ephemerides.MedianToe(); }
    // ION ALPHA and ION BETA of the header, when it has both.
    const std::optional<KlobucharParameters>& Ionosphere() const { return data_.ionosphere; }

  private:
    NavigationData data_;
};
