// What an adjustment by observation equations says of its own precision,
// shared by the band least squares of one traverse and the sparse network:
// a point's standard error ellipse from its 2x2 block of cofactors, an
// observation's redundancy number and Baarda's w, and the global test.
#pragma once

#include <optional>

#include "adjustment/adjustment.hpp"

namespace traverse {

// sx, sy and the standard error ellipse of one point from its 2x2 block of
// the cofactors Q_xx, scaled by the variance factor (sigma0² a posteriori).
PointPrecision ErrorEllipse(double qxx, double qyy, double qxy, double variance);

// An observation's share of the redundancy and its test statistic.
struct ObservationTest {
  double redundancyNumber = 0;  // r_i = q_vv / sigma²; 0 where nothing checks it
  std::optional<double> w;      // v / (sigma sqrt(r_i)); none where r_i is 0
};

// r_i = 1 - (a Q_xx aᵀ) / sigma² for the observation's row a of the design
// matrix (unstandardised), and Baarda's w of its residual v with the
// a-priori sigma.
ObservationTest TestObservation(double residual, double sigma, double aQa);

// vTPv against the two-sided 95 % interval of chi-square with `redundancy`
// degrees of freedom (at least 1).
GlobalTest TestGlobally(double vTPv, int redundancy);

}  // namespace traverse
