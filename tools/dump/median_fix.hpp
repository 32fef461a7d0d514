// One position that stands for a whole log: the component-wise median of its epochs' fixes, which
// a few bad epochs do not pull away. With a bound, only the fixes of at most that many epochs
// spread evenly over the log are kept (every stride-th epoch, the stride doubling whenever they
// fill up): the median at a small part of the cost of fixing every epoch.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rawlog/log_epochs.hpp"
#include "gnss/coordinates.hpp"

class MedianFix {
  public:
    // `bound` 0: every epoch's fix is kept. The fixes are those of `fixer` (with --nav, its
    // ionosphere and ephemerides).
    explicit MedianFix(std::size_t bound = 0, EpochFixer fixer = EpochFixer())
        : bound_(bound), fixer_(fixer) {}

    // Fixes `epoch` (with the default mask) when it is one of those kept.
    void Add(const LogEpoch& epoch);
    // The fixes kept, in log order.
    const std::vector<Ecef>& Fixes() const { return fixes_; }
    // Nothing when no epoch kept had a fix.
    std::optional<Ecef> Median() const;

  private:
    std::size_t bound_;
    EpochFixer fixer_;
    std::vector<Ecef> fixes_;
    std::vector<std::size_t> epochIndex_;  // of each fix among all epochs
    std::size_t epochs_ = 0;
    std::size_t stride_ = 1;
};
