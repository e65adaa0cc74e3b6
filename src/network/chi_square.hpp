// The chi-square distribution, for the global test of an adjustment: the
// regularized lower incomplete gamma function and the quantiles it gives.
#pragma once

namespace traverse {

// P(a, x): the regularized lower incomplete gamma function, a > 0, x >= 0.
double RegularizedLowerGamma(double a, double x);

// The value x with P(chi-square with r degrees of freedom <= x) = probability,
// for 0 < probability < 1 and r >= 1; relative accuracy about 1e-12.
double ChiSquareQuantile(double probability, int degreesOfFreedom);

}  // namespace traverse
