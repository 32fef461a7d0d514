// How far a pseudorange may stray from the model of the fix, as a variance per satellite: the
// weights of the least squares and the scale of its residual test.
//
// The sum of independent errors of zero mean that a single-frequency code range keeps after the
// fix's corrections, in metres, E the elevation:
//   receiver noise and multipath   0.3 + 0.3 / sin E (grows towards the horizon)
//   broadcast orbit and clock      0.7
//   troposphere left over          0.12 / sin E, 5 % of the standard atmosphere's delay
//   ionosphere left over           with the broadcast model, 30 % of its delay; without it,
//                                  1.5 m at the zenith times the model's slant factor
//                                  1 + 16 (0.53 - E)^3
// The ionosphere's error is larger than that, but much of it is common to the satellites of an
// epoch (a smooth layer), and the fix takes the common part into its clock and height; what the
// residuals see is the part that differs between satellites. Station 0759's hour gives test
// statistics of a few percent of the 99.9 % limit with and without the model, while a range 30 m
// off stands out even near the mask.
#pragma once

// Variance in m^2 of a range at the elevation whose sine is given, with the ionospheric delay
// the broadcast model gave it (m) when `ionosphereModelled`.
double RangeVariance(double sinElevation, double ionosphericDelay, bool ionosphereModelled);
