// The ephemerides a navigation message collection holds (such as a day's broadcast file), by
// satellite: for a time, the record a receiver would be using then, the one whose toe is nearest.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "orbit/ephemeris_record.hpp"

class BroadcastEphemerides {
  public:
    static constexpr int kMaxPrn = 32;
    // Records are used up to this far from their toe (the usual four-hour fit interval).
    static constexpr double kMaxAge = 4 * 3600.0;

    // A PRN outside 1..kMaxPrn is ignored.
    void Add(int prn, const EphemerisRecord& record);

    // The record of `prn` whose toe is nearest to `time` (s of the GPS week; toe and time are
    // compared across the week's turn), or nullptr when none lies within kMaxAge. Ties go to the
    // record added first.
    const EphemerisRecord* Nearest(int prn, double time) const;

    std::size_t Count() const;
    // The median toe of every record (0 with none): a time the collection covers.
    double MedianToe() const;

  private:
    std::array<std::vector<EphemerisRecord>, kMaxPrn + 1> byPrn_;
};
