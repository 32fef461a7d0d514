#include "tools/dump/median_fix.hpp"

#include <algorithm>

namespace {

// The middle value; with an even count, the mean of the two middle ones.
double MedianOf(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    return (*std::max_element(values.begin(), middle) + *middle) / 2.0;
}

}  // namespace

void MedianFix::Add(const LogEpoch& epoch) {
    if (epochs_++ % stride_ != 0) {
        return;
    }
    const PointFix fix = fixer_.Fix(epoch).fix;
    if (fix.valid) {
        fixes_.push_back(fix.position);
        epochIndex_.push_back(epochs_ - 1);
    }
    if (bound_ == 0 || fixes_.size() < bound_) {
        return;
    }
    stride_ *= 2;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < fixes_.size(); ++k) {
        if (epochIndex_[k] % stride_ == 0) {
            fixes_[kept] = fixes_[k];
            epochIndex_[kept] = epochIndex_[k];
            ++kept;
        }
    }
    fixes_.resize(kept);
    epochIndex_.resize(kept);
}

std::optional<Ecef> MedianFix::Median() const {
    if (fixes_.empty()) {
        return std::nullopt;
    }
    std::vector<double> x, y, z;
    for (const Ecef& f : fixes_) {
        x.push_back(f.x);
        y.push_back(f.y);
        z.push_back(f.z);
    }
    return Ecef{MedianOf(std::move(x)), MedianOf(std::move(y)), MedianOf(std::move(z))};
}
