#include "network/statistics.hpp"

#include <algorithm>
#include <cmath>

#include "network/chi_square.hpp"

namespace traverse {
namespace {

// Below this redundancy number an observation is uncontrolled: its residual
// is zero whatever its error, and w would be 0/0.
constexpr double uncontrolled = 1e-10;

}  // namespace

std::optional<Suspect> FindSuspect(const std::vector<ObservationReport>& observations) {
  const ObservationReport* largest = nullptr;
  for (const ObservationReport& o : observations)
    if (o.w && (!largest || std::fabs(*o.w) > std::fabs(*largest->w))) largest = &o;
  if (!largest || !(std::fabs(*largest->w) > CriticalW)) return std::nullopt;
  Suspect suspect{largest->ref, *largest->w, {}};
  // Observations that the network checks alike (two angles at either end of
  // a short leg, say) have near-equal w; the largest alone would be a guess.
  for (const ObservationReport& o : observations)
    if (&o != largest && o.w && std::fabs(*o.w) >= 0.95 * std::fabs(suspect.w))
      suspect.alternatives.push_back(o.ref);
  return suspect;
}

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

void TestObservation(ObservationFigures& o, double aQa) {
  // (A Q Aᵀ)_ii is the part of the observation the others determine; its
  // complement is the share of an error in it that its residual shows.
  const double redundancyNumber = 1 - aQa / (o.sigma * o.sigma);
  o.redundancyNumber = 0;
  o.w.reset();
  if (redundancyNumber > uncontrolled) {
    o.redundancyNumber = redundancyNumber;
    o.w = o.residual / o.sigma / std::sqrt(redundancyNumber);
  }
}

GlobalTest TestGlobally(double vTPv, int redundancy) {
  thread_local int knownRedundancy = 0;  // none yet: a redundancy is at least 1
  thread_local GlobalTest bounds;
  if (redundancy != knownRedundancy) {
    bounds.lower = ChiSquareQuantile(0.025, redundancy);
    bounds.upper = ChiSquareQuantile(0.975, redundancy);
    knownRedundancy = redundancy;
  }
  GlobalTest test = bounds;
  test.value = vTPv;
  test.passed = test.lower <= vTPv && vTPv <= test.upper;
  return test;
}

}  // namespace traverse
