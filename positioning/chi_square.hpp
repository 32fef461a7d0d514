// The point of the chi-square distribution that the residual test of the fix holds the weighted
// sum of squared residuals to.
#pragma once

// The value that a chi-square variable of `degreesOfFreedom` (1 or more) exceeds with a
// probability of 0.1 %: from the table up to 10 degrees of freedom, beyond by the
// Wilson-Hilferty cube-root approximation (within 0.6 % there).
double ChiSquareLimit(int degreesOfFreedom);
