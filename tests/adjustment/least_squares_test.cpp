#include "adjustment/least_squares.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "network/chi_square.hpp"
#include "adjustment/job_error.hpp"
#include "laid_out_traverse.hpp"

namespace traverse {
namespace {

using testing::CarryForward;
using testing::LayOut;

// Quantiles as printed in the usual chi-square tables, to half a unit in the
// last printed figure.
TEST(ChiSquareQuantile, MatchesPublishedTables) {
  struct {
    int r;
    double lower, upper;  // 2.5 % and 97.5 %
    double lowerUnit, upperUnit;
  } const table[] = {
      {1, 0.000982, 5.024, 1e-6, 1e-3}, {2, 0.0506, 7.378, 1e-4, 1e-3},
      {3, 0.2158, 9.348, 1e-4, 1e-3},   {10, 3.247, 20.483, 1e-3, 1e-3},
      {30, 16.791, 46.979, 1e-3, 1e-3}, {100, 74.222, 129.561, 1e-3, 1e-3},
  };
  for (const auto& row : table) {
    EXPECT_NEAR(ChiSquareQuantile(0.025, row.r), row.lower, row.lowerUnit / 2) << row.r;
    EXPECT_NEAR(ChiSquareQuantile(0.975, row.r), row.upper, row.upperUnit / 2) << row.r;
  }
  // Far beyond the tables: the quantile must still invert the distribution.
  const double x = ChiSquareQuantile(0.975, 500);
  EXPECT_NEAR(RegularizedLowerGamma(250, x / 2), 0.975, 1e-12);
}

// A bent line of five new points: no two legs parallel, legs 120 to 310 m.
const std::vector<GridPoint> route = {{1000, 2000}, {1180, 2110}, {1230, 2400}, {1480, 2460},
                                      {1540, 2700}, {1790, 2690}, {1850, 2900}};
const GridPoint a{900, 1700}, d{2100, 3000};

struct KindCase {
  TraverseKind kind;
  bool left;
  int redundancy;
};

class ErrorFree : public ::testing::TestWithParam<KindCase> {};

// Observations without error: the start is already the answer, every
// residual and sigma0 are zero, and the redundancy numbers add up to r.
TEST_P(ErrorFree, ReproducesTheTruth) {
  const KindCase& kase = GetParam();
  std::vector<GridPoint> line = route;
  if (kase.kind == TraverseKind::Loop) line.push_back(route.front());
  const Job job = LayOut(kase.kind, a, line, kase.kind == TraverseKind::Loop ? a : d, kase.left);
  std::vector<GridPoint> start = CarryForward(job);
  for (GridPoint& p : start) p.x += 0.5, p.y -= 0.3;  // a poor start, to make it iterate

  const LeastSquaresResult result = AdjustLeastSquares(job, start);
  ASSERT_TRUE(result.converged);
  EXPECT_EQ(result.redundancy, kase.redundancy);
  ASSERT_EQ(result.points.size(), start.size());
  for (std::size_t k = 0; k < result.points.size(); ++k) {
    EXPECT_NEAR(result.points[k].x, line[k + 1].x, 1e-7);
    EXPECT_NEAR(result.points[k].y, line[k + 1].y, 1e-7);
  }
  EXPECT_NEAR(result.sigma0, 0, 1e-6);
  EXPECT_FALSE(result.globalTest.passed);  // vTPv = 0 is too good to be true
  double sum = 0;
  for (const ObservationReport& o : result.observations) {
    EXPECT_NEAR(o.residual, 0, 1e-8);
    sum += o.redundancyNumber;
  }
  EXPECT_NEAR(sum, kase.redundancy, 1e-9);  // trace of Q_vv P = n - u
  EXPECT_EQ(result.observations.front().ref.kind, ObservationKind::Angle);
  EXPECT_EQ(result.observations.back().ref.kind, ObservationKind::Distance);
  EXPECT_EQ(result.observations.back().ref.index, static_cast<int>(job.lengths.size()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ErrorFree,
                         ::testing::Values(KindCase{TraverseKind::Connecting, true, 3},
                                           KindCase{TraverseKind::Connecting, false, 3},
                                           KindCase{TraverseKind::Loop, true, 3},
                                           KindCase{TraverseKind::NoEndOrientation, false, 2}));

// One new point P halfway along a straight line A-B-P-C-D of 100 m legs,
// turned to bearing theta. Lengths fix P along the line, N = 2/sigma_s², and
// angles across it: d(angle)/d(across) is 1, -2, 1 times rho/100 m at B, P, C,
// so N = 6 (rho/100)²/sigma_beta². BP measured 3 mm long shares out as
// v = -1.5 mm on both lengths; the angles stay exact. So vTPv = 2 (1.5/sigma_s)²,
// r = 3, and the ellipse has a = sigma0 sigma_s/sqrt 2 along the line.
TEST(AdjustLeastSquares, OnePointByHand) {
  for (double theta : {0.0, 50.0, 150.0, 330.0}) {
    const double c = std::cos(theta / testing::gonPerRadian),
                 s = std::sin(theta / testing::gonPerRadian);
    auto at = [&](double along) { return GridPoint{1000 + along * c, 2000 + along * s}; };
    Job job = LayOut(TraverseKind::Connecting, at(-100), {at(0), at(100), at(200)}, at(300));
    job.lengths[0].value += 0.003;
    job.settings.sigmas.lengthPpm = 0;  // equal weights for the two lengths, exactly
    const LeastSquaresResult result = AdjustLeastSquares(job, CarryForward(job));

    const double sigmaS = 0.003;
    const double across = 0.001 / testing::gonPerRadian * 100 / std::sqrt(6.0);
    const double sigma0 = std::sqrt(2 * std::pow(0.0015 / sigmaS, 2) / 3);
    EXPECT_NEAR(result.sigma0, sigma0, 1e-6);
    EXPECT_NEAR(result.points[0].x, at(100.0015).x, 1e-8);
    EXPECT_NEAR(result.points[0].y, at(100.0015).y, 1e-8);
    const PointPrecision& p = result.precision[0];
    EXPECT_NEAR(p.a, sigma0 * sigmaS / std::sqrt(2.0), 1e-8);
    EXPECT_NEAR(p.b, sigma0 * across, 1e-8);
    EXPECT_NEAR(std::hypot(p.sx, p.sy), std::hypot(p.a, p.b), 1e-12);
    EXPECT_NEAR(p.bearing, std::fmod(theta, 200.0), 1e-6) << theta;

    // B, P, C, BP, PC; P sits 1.5 mm off the middle, which moves them by 5e-6.
    const double redundancy[] = {5.0 / 6, 1.0 / 3, 5.0 / 6, 0.5, 0.5};
    for (std::size_t i = 0; i < 5; ++i)
      EXPECT_NEAR(result.observations[i].redundancyNumber, redundancy[i], 1e-5) << i;
    EXPECT_NEAR(result.observations[3].residual, -0.0015, 1e-9);
    EXPECT_NEAR(*result.observations[3].w, -0.0015 / sigmaS / std::sqrt(0.5), 1e-5);
  }
}

TEST(AdjustLeastSquares, RefusesAnOpenTraverse) {
  Job job = LayOut(TraverseKind::Connecting, a, route, d);
  job.kind = TraverseKind::Open;
  EXPECT_THROW(AdjustLeastSquares(job, CarryForward(job)), JobError);
}

// B straight to C: no new point, nothing to solve, yet three checks.
TEST(AdjustLeastSquares, NoNewPoint) {
  Job job = LayOut(TraverseKind::Connecting, a, {route.front(), route[1]}, d);
  job.angles[0].value += 0.002;
  const LeastSquaresResult result = AdjustLeastSquares(job, {});
  EXPECT_EQ(result.redundancy, 3);
  EXPECT_NEAR(result.observations[0].residual, -0.002, 1e-12);
  EXPECT_NEAR(*result.observations[0].w, -2, 1e-9);  // nothing adjusted: w = v / sigma
}

// One blunder among noise-free observations: data snooping must name it.
TEST(AdjustLeastSquares, BlunderIsTheSuspect) {
  struct {
    ObservationKind kind;
    int index;  // 1-based
    double blunder;
  } const cases[] = {{ObservationKind::Angle, 3, 0.1},
                     {ObservationKind::Angle, 7, -0.05},
                     {ObservationKind::Distance, 2, 0.25},
                     {ObservationKind::Distance, 6, -0.1}};
  for (const auto& kase : cases) {
    Job job = LayOut(TraverseKind::Connecting, a, route, d);
    auto& values = kase.kind == ObservationKind::Angle ? job.angles : job.lengths;
    values[static_cast<std::size_t>(kase.index - 1)].value += kase.blunder;
    const LeastSquaresResult result = AdjustLeastSquares(job, CarryForward(job));
    EXPECT_FALSE(result.globalTest.passed);
    const std::optional<Suspect> suspect = FindSuspect(result.observations);
    ASSERT_TRUE(suspect) << kase.index;
    EXPECT_EQ(suspect->ref.kind, kase.kind);
    EXPECT_EQ(suspect->ref.index, kase.index);
  }
}

TEST(FindSuspect, LargestAboveCriticalWithNearRivals) {
  LeastSquaresResult result;
  for (double w : {1.0, -5.0, 4.8, 4.7, 3.0}) {
    ObservationReport& o = result.observations.emplace_back();
    o.ref = {result.observations.size() - 1, ObservationKind::Angle,
             static_cast<int>(result.observations.size())};
    o.w = w;
  }
  const std::optional<Suspect> suspect = FindSuspect(result.observations);
  ASSERT_TRUE(suspect);
  EXPECT_EQ(suspect->ref.index, 2);
  EXPECT_EQ(suspect->w, -5.0);
  ASSERT_EQ(suspect->alternatives.size(), 1u);  // 4.8 >= 0.95 * 5; 4.7 is not
  EXPECT_EQ(suspect->alternatives[0].index, 3);

  result.observations.resize(1);
  result.observations[0].w = 3.29;
  EXPECT_FALSE(FindSuspect(result.observations));
}

// A straight traverse along +X, four angles of 200 gon, three legs of 100 m:
// lengths move C along the line only, angles across it only. Across, angle k
// swings the legs after it less the share j/4 of leg j it gets back from the
// spread misclosure: 100 m * (1.5, 0.5, -0.5, -1.5), so
// sigma_across = sigma_beta[rad] * 100 m * sqrt(5); without end orientation
// (three angles, three legs) 100 m * (3, 2, 1): sigma_beta[rad] * 100 m * sqrt(14).
TEST(ExpectedMisclosures, StraightTraverseByHand) {
  const double radian = 0.001 / testing::gonPerRadian;  // 10 cc
  const double length = 0.003 + 2e-6 * 100;
  Adjustment adjusted;
  adjusted.angularMisclosure = 0.004;
  adjusted.linear = LinearMisclosure{};
  adjusted.linear->along = 2 * std::sqrt(3.0) * length;
  adjusted.linear->across = -0.01;

  const Job connecting =
      LayOut(TraverseKind::Connecting, {-100, 0}, {{0, 0}, {100, 0}, {200, 0}, {300, 0}}, {400, 0});
  const std::optional<ExpectedMisclosure> e = ExpectedMisclosures(connecting, adjusted);
  ASSERT_TRUE(e && e->angular && e->along && e->across);
  EXPECT_NEAR(*e->angular, 0.002, 1e-15);
  EXPECT_NEAR(*e->along, std::sqrt(3.0) * length, 1e-12);
  EXPECT_NEAR(*e->across, radian * 100 * std::sqrt(5.0), 1e-12);
  EXPECT_NEAR(*e->angularRatio, 2, 1e-12);
  EXPECT_NEAR(*e->alongRatio, 2, 1e-9);
  EXPECT_NEAR(*e->acrossRatio, -0.01 / *e->across, 1e-12);

  Job noEnd = LayOut(TraverseKind::NoEndOrientation, {-100, 0},
                     {{0, 0}, {100, 0}, {200, 0}, {300, 0}}, {400, 0}, false);
  const std::optional<ExpectedMisclosure> f = ExpectedMisclosures(noEnd, adjusted);
  ASSERT_TRUE(f && f->across);
  EXPECT_FALSE(f->angular || f->angularRatio);
  EXPECT_NEAR(*f->across, radian * 100 * std::sqrt(14.0), 1e-12);

  noEnd.kind = TraverseKind::Open;
  EXPECT_FALSE(ExpectedMisclosures(noEnd, adjusted));
}

TEST(ExpectedMisclosures, LoopHasNoLineFromBToC) {
  std::vector<GridPoint> loop = route;
  loop.push_back(route.front());
  const std::optional<ExpectedMisclosure> e =
      ExpectedMisclosures(LayOut(TraverseKind::Loop, a, loop, a), Adjustment{});
  ASSERT_TRUE(e && e->angular);
  EXPECT_FALSE(e->along || e->across || e->alongRatio || e->angularRatio);
}

}  // namespace
}  // namespace traverse
