#include "orbit/sine_cosine.hpp"

#include <cfloat>
#include <cmath>
#include <limits>

// The error-free transformations below hold only when every operation is rounded to double once:
// no extended precision, and no fused multiply-add (the library is built with -ffp-contract=off).
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must round to double (use SSE2 on x86)");

namespace {

// pi/2 in four parts: the first three of 33 significant bits each, so that k times any of them is
// exact for |k| < 2^20, and the rest rounded to double. Together they carry pi/2 to 2^-150.
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// Adding and subtracting it rounds a double below 2^51 in magnitude to the nearest integer.
constexpr double kRoundToInteger = 0x1.8p52;
// Below this many quarter turns the products k * kHalfPi1..3 stay exact.
constexpr double kQuarterTurnLimit = 0x1p20;
// 2 pi rounded to double, for the remainder of angles beyond that.
constexpr double kTwoPi = 0x1.921fb54442d18p+2;

// A double-double: the unevaluated sum hi + lo, |lo| at most half a unit in the last place of hi.
struct DoubleDouble {
    double hi;
    double lo;
};

DoubleDouble TwoSum(double a, double b) {
    const double s = a + b;
    const double bVirtual = s - a;
    const double aVirtual = s - bVirtual;
    return {s, (a - aVirtual) + (b - bVirtual)};
}

DoubleDouble FastTwoSum(double a, double b) {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, by Veltkamp's split of each into two halves of 26 bits (Dekker's product).
DoubleDouble TwoProduct(double a, double b) {
    constexpr double kSplitter = 0x1p27 + 1.0;
    const double ta = kSplitter * a;
    const double aHigh = ta - (ta - a);
    const double aLow = a - aHigh;
    const double tb = kSplitter * b;
    const double bHigh = tb - (tb - b);
    const double bLow = b - bHigh;
    const double product = a * b;
    return {product, ((aHigh * bHigh - product) + aHigh * bLow + aLow * bHigh) + aLow * bLow};
}

// Taylor coefficients (-1)^n / (2n+1)! and (-1)^n / (2n)!. On |r| <= pi/4 the first term left out
// is below 2^-58 of the result.
constexpr double kSin3 = -0x1.5555555555555p-3;
constexpr double kSin5 = 0x1.1111111111111p-7;
constexpr double kSin7 = -0x1.a01a01a01a01ap-13;
constexpr double kSin9 = 0x1.71de3a556c734p-19;
constexpr double kSin11 = -0x1.ae64567f544e4p-26;
constexpr double kSin13 = 0x1.6124613a86d09p-33;
constexpr double kSin15 = -0x1.ae7f3e733b81fp-41;
constexpr double kSin17 = 0x1.952c77030ad4ap-49;
constexpr double kCos4 = 0x1.5555555555555p-5;
constexpr double kCos6 = -0x1.6c16c16c16c17p-10;
constexpr double kCos8 = 0x1.a01a01a01a01ap-16;
constexpr double kCos10 = -0x1.27e4fb7789f5cp-22;
constexpr double kCos12 = 0x1.1eed8eff8d898p-29;
constexpr double kCos14 = -0x1.93974a8c07c9dp-37;
constexpr double kCos16 = 0x1.ae7f3e733b81fp-45;

// sin and cos of r = hi + lo, |r| <= pi/4 (a little more when the quarter turn was rounded the
// other way). The leading terms are formed exactly and added last, so that the result is off by
// little more than its final rounding.
SineCosine KernelSinCos(DoubleDouble r) {
    const DoubleDouble z = TwoProduct(r.hi, r.hi);

    // sin r = r.hi - r.hi^3/6 + r.hi^5 (...) + r.lo cos r.hi, r.hi^3 being cubeHead + cubeTail.
    const DoubleDouble cubeHead = TwoProduct(r.hi, z.hi);
    const double cubeTail = cubeHead.lo + r.hi * z.lo;
    const DoubleDouble third = TwoProduct(kSin3, cubeHead.hi);
    const DoubleDouble head = FastTwoSum(r.hi, third.hi);
    const double sinTail =
        kSin5 +
        z.hi *
            (kSin7 +
             z.hi * (kSin9 + z.hi * (kSin11 + z.hi * (kSin13 + z.hi * (kSin15 + z.hi * kSin17)))));
    const double sine =
        head.hi + (head.lo + ((third.lo + kSin3 * cubeTail) +
                              (cubeHead.hi * z.hi * sinTail + r.lo * (1.0 - 0.5 * z.hi))));

    // cos r = 1 - z/2 + z^2 (...) - r.hi r.lo, with the rounding error of 1 - z/2 kept.
    const double cosTail =
        kCos4 +
        z.hi *
            (kCos6 +
             z.hi * (kCos8 + z.hi * (kCos10 + z.hi * (kCos12 + z.hi * (kCos14 + z.hi * kCos16)))));
    const double halfZ = 0.5 * z.hi;
    const double w = 1.0 - halfZ;
    const double cosine =
        w + ((((1.0 - w) - halfZ) - 0.5 * z.lo) + (z.hi * z.hi * cosTail - r.hi * r.lo));
    return {sine, cosine};
}

}  // namespace

SineCosine SinCos(double angle) {
    if (!std::isfinite(angle)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    if (!(std::fabs(angle) * kTwoOverPi < kQuarterTurnLimit)) {
        angle = std::fmod(angle, kTwoPi);  // exact on every IEEE 754 runtime
    }
    // k quarter turns (the nearest integer to angle / (pi/2)), and r = angle - k pi/2 in double-
    // double: angle - k kHalfPi1 is exact, the rest is summed with its rounding errors kept.
    const double k = (angle * kTwoOverPi + kRoundToInteger) - kRoundToInteger;
    const double first = angle - k * kHalfPi1;
    const DoubleDouble second = TwoSum(first, -(k * kHalfPi2));
    const DoubleDouble third = TwoSum(second.hi, -(k * kHalfPi3));
    const double rest = (second.lo + third.lo) - k * kHalfPi4;
    const SineCosine r = KernelSinCos(FastTwoSum(third.hi, rest));

    switch (static_cast<long>(k) & 3) {
        case 0:
            return {r.sin, r.cos};
        case 1:
            return {r.cos, -r.sin};
        case 2:
            return {-r.sin, -r.cos};
        default:
            return {-r.cos, r.sin};
    }
}
