// The orbit code's own sine and cosine: within 0.6 of a unit in the last place of the true value
// over the angles an orbit produces, the hardest ones (next to the multiples of pi/2) included.
#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "orbit/sine_cosine.hpp"

namespace {

// |got - reference| in units in the last place of the double nearest to the reference.
double UlpError(double got, long double reference) {
    const double nearest = static_cast<double>(reference);
    const double ulp = std::nextafter(std::fabs(nearest), INFINITY) - std::fabs(nearest);
    return static_cast<double>(std::fabs((static_cast<long double>(got) - reference) / ulp));
}

TEST(SineCosine, WithinSixTenthsOfAUnitInTheLastPlaceOverOrbitAngles) {
#if !defined(__GLIBC__) || LDBL_MANT_DIG < 64
    // The reference needs a long double sine of 64-bit accuracy after its own argument reduction.
    GTEST_SKIP() << "no accurate long double sine on this build";
#endif
    double worst = 0.0;
    const auto check = [&](double angle) {
        const SineCosine sc = SinCos(angle);
        const long double x = angle;
        worst = std::max({worst, UlpError(sc.sin, std::sin(x)), UlpError(sc.cos, std::cos(x))});
    };
    std::mt19937_64 random(20);
    std::uniform_real_distribution<double> orbitAngle(-400.0, 400.0);
    for (int i = 0; i < 300'000; ++i) {
        check(orbitAngle(random));
    }
    // Next to k pi/2 one of the two is tiny, and only an exact reduction keeps its digits.
    for (int k = -256; k <= 256; ++k) {
        double angle = k * (std::numbers::pi / 2);
        for (int step = 0; step < 40; ++step) {
            check(angle);
            angle = std::nextafter(angle, INFINITY);
        }
    }
    for (double tiny : {1e-300, 1e-20, 1e-9, -3e-5}) {
        check(tiny);
    }
    EXPECT_LT(worst, 0.6);

    for (double bad : {NAN, INFINITY, -INFINITY}) {
        EXPECT_TRUE(std::isnan(SinCos(bad).sin) && std::isnan(SinCos(bad).cos)) << bad;
    }
    const SineCosine huge = SinCos(1e300);  // reduced, not accurately, but on the unit circle
    EXPECT_NEAR(huge.sin * huge.sin + huge.cos * huge.cos, 1.0, 1e-15);
}

}  // namespace
