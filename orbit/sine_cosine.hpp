// The sine and cosine of the orbit computation, computed here rather than by the C runtime.
//
// Each runtime has its own: glibc rounds its own polynomial, the 32-bit Windows runtime runs the
// x87 instruction fsincos and rounds its 64-bit result to double, and the two disagree in the
// last bits of about one position in 250 (up to 64 units in the last place of a coordinate). Made
// of double additions and multiplications only, rounded as IEEE 754 prescribes, this one gives
// the same bits on every build, so that every build computes the same satellite positions.
//
// Accuracy: off by less than 0.6 of a unit in the last place for |angle| below 1.6e6 rad (orbit
// angles stay under a few hundred). Beyond that the angle is first reduced by an exact remainder
// of 2 pi rounded to double, the same on every build but less accurate as the angle grows (only a
// corrupt ephemeris gets there). NaN and infinite angles give NaN.
#pragma once

struct SineCosine {
    double sin;
    double cos;
};

SineCosine SinCos(double angle);
