#include "positioning/chi_square.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// 99.9 % points for 1 to 10 degrees of freedom.
constexpr std::array<double, 10> kTable = {10.828, 13.816, 16.266, 18.467, 20.515,
                                           22.458, 24.322, 26.124, 27.877, 29.588};
}  // namespace

double ChiSquareLimit(int degreesOfFreedom) {
    const int k = std::max(degreesOfFreedom, 1);
    if (k <= static_cast<int>(kTable.size())) {
        return kTable[static_cast<std::size_t>(k - 1)];
    }
    // (X / k)^(1/3) is nearly normal with mean 1 - 2 / (9k) and variance 2 / (9k); 3.0902 is the
    // 99.9 % point of the standard normal distribution.
    constexpr double kNormalPoint = 3.090232306;
    const double spread = 2.0 / (9.0 * k);
    const double root = 1.0 - spread + kNormalPoint * std::sqrt(spread);
    return k * root * root * root;
}
