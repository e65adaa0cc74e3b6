// Measurements, not tests: how often data snooping names a blunder, and how
// long a 255-angle traverse takes. Disabled; run them by hand, in a release
// build for the timing:
//   adjustment_tests --gtest_also_run_disabled_tests --gtest_filter='*Measure*'
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "adjustment/least_squares.hpp"
#include "laid_out_traverse.hpp"

namespace traverse {
namespace {

using testing::CarryForward;
using testing::gonPerRadian;
using testing::LayOut;

// A connecting traverse of `angles` angles, legs of 100 to 400 m whose
// bearings wander by up to 60 gon, with normal noise of the default sigmas.
Job RandomTraverse(std::mt19937& random, int angles) {
  std::uniform_real_distribution<double> turn(-60, 60), leg(100, 400), circle(0, 400);
  double bearing = circle(random);
  GridPoint at{5000, 5000};
  auto step = [&](GridPoint p, double t, double s) {
    return GridPoint{p.x + s * std::cos(t / gonPerRadian), p.y + s * std::sin(t / gonPerRadian)};
  };
  const GridPoint a = step(at, bearing + 200 + turn(random), 300);
  std::vector<GridPoint> route{at};
  for (int j = 1; j < angles; ++j) {
    bearing += turn(random);
    route.push_back(at = step(at, bearing, leg(random)));
  }
  const GridPoint d = step(at, bearing + turn(random), 300);
  Job job = LayOut(TraverseKind::Connecting, a, route, d);
  std::normal_distribution<double> unit(0, 1);
  for (MeasuredValue& angle : job.angles)
    angle.value += job.settings.sigmas.angleGon * unit(random);
  for (MeasuredValue& length : job.lengths)
    length.value += LengthSigma(job.settings.sigmas, length.value) * unit(random);
  return job;
}

TEST(LeastSquaresMeasure, DISABLED_BlunderDetectionRate) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> count(6, 12);
  std::uniform_real_distribution<double> angleBlunder(0.05, 0.5), lengthBlunder(0.1, 1.0);
  std::bernoulli_distribution negative(0.5);
  constexpr int trials = 5000;
  for (ObservationKind kind : {ObservationKind::Angle, ObservationKind::Distance}) {
    int flagged = 0, named = 0, amongRivals = 0;
    for (int trial = 0; trial < trials; ++trial) {
      Job job = RandomTraverse(random, count(random));
      auto& values = kind == ObservationKind::Angle ? job.angles : job.lengths;
      const int index =
          std::uniform_int_distribution<int>(1, static_cast<int>(values.size()))(random);
      const double size =
          kind == ObservationKind::Angle ? angleBlunder(random) : lengthBlunder(random);
      values[static_cast<std::size_t>(index - 1)].value += negative(random) ? -size : size;
      const std::optional<Suspect> suspect =
          FindSuspect(AdjustLeastSquares(job, CarryForward(job)).observations);
      if (!suspect) continue;
      ++flagged;
      auto blundered = [&](ObservationRef ref) { return ref.kind == kind && ref.index == index; };
      if (blundered(suspect->ref))
        ++named;
      else if (std::any_of(suspect->alternatives.begin(), suspect->alternatives.end(), blundered))
        ++amongRivals;
    }
    std::printf(
        "%s blunders: %d traverses, a suspect in %d, the blunder named %d, among the rivals %d\n",
        kind == ObservationKind::Angle ? "angle" : "length", trials, flagged, named, amongRivals);
  }
}

TEST(LeastSquaresMeasure, DISABLED_Time255Angles) {
  std::mt19937 random(255);
  const Job job = RandomTraverse(random, 255);
  const std::vector<GridPoint> start = CarryForward(job);
  std::vector<double> microseconds;
  LeastSquaresResult result;
  for (int run = 0; run < 200; ++run) {
    const auto begin = std::chrono::steady_clock::now();
    result = AdjustLeastSquares(job, start);
    const auto end = std::chrono::steady_clock::now();
    microseconds.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
  }
  std::sort(microseconds.begin(), microseconds.end());
  std::printf("255 angles, %zu unknowns, %d iterations: median %.0f us, fastest %.0f us\n",
              2 * result.points.size(), result.iterations, microseconds[microseconds.size() / 2],
              microseconds.front());
}

}  // namespace
}  // namespace traverse
