#include "adjustment/precision.hpp"

#include <algorithm>
#include <cmath>

#include "adjustment/chi_square.hpp"

namespace traverse {
namespace {

constexpr double gonPerRadian = 63.661977236758134308;
// Below this redundancy number an observation is uncontrolled: its residual
// is zero whatever its error, and w would be 0/0.
constexpr double uncontrolled = 1e-10;

}  // namespace

PointPrecision ErrorEllipse(double qxx, double qyy, double qxy, double variance) {
  PointPrecision precision;
  precision.sx = std::sqrt(std::max(0.0, variance * qxx));
  precision.sy = std::sqrt(std::max(0.0, variance * qyy));
  const double mean = (qxx + qyy) / 2;
  const double radius = std::hypot((qxx - qyy) / 2, qxy);
  precision.a = std::sqrt(std::max(0.0, variance * (mean + radius)));
  precision.b = std::sqrt(std::max(0.0, variance * (mean - radius)));
  // The major axis makes 2 phi = atan2(2 qxy, qxx - qyy) with +X, clockwise
  // towards +Y as bearings run.
  double bearing = std::atan2(2 * qxy, qxx - qyy) / 2 * gonPerRadian;
  if (bearing < 0) bearing += 200;
  if (bearing >= 200) bearing -= 200;
  precision.bearing = bearing;
  return precision;
}

ObservationTest TestObservation(double residual, double sigma, double aQa) {
  // (A Q Aᵀ)_ii is the part of the observation the others determine; its
  // complement is the share of an error in it that its residual shows.
  ObservationTest test;
  const double redundancyNumber = 1 - aQa / (sigma * sigma);
  const double standardised = residual / sigma;
  if (redundancyNumber > uncontrolled) {
    test.redundancyNumber = redundancyNumber;
    test.w = standardised / std::sqrt(redundancyNumber);
  }
  return test;
}

GlobalTest TestGlobally(double vTPv, int redundancy) {
  GlobalTest test;
  test.value = vTPv;
  test.lower = ChiSquareQuantile(0.025, redundancy);
  test.upper = ChiSquareQuantile(0.975, redundancy);
  test.passed = test.lower <= vTPv && vTPv <= test.upper;
  return test;
}

}  // namespace traverse
