#include "network/network.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>

#include "adjustment/least_squares.hpp"
#include "network/selected_inverse.hpp"
#include "laid_out_traverse.hpp"

namespace traverse {
namespace {

using testing::gonPerRadian;
using Kind = ObservationKind;

struct Network {
  std::vector<NetworkPoint> points;
  std::vector<Observation> observations;
  std::vector<NetworkSetup> setups;
};

// The observations of `plan` measured on the true coordinates (directions
// with the setups' true `orientations`), observation i off by errors[i] of
// its sigmas; the free points start a few decimetres off.
Network Survey(const std::vector<GridPoint>& truth, const std::vector<int>& fixed,
               std::vector<Observation> plan, const std::vector<double>& errors,
               const std::vector<double>& orientations = {}) {
  Network network;
  for (std::size_t p = 0; p < truth.size(); ++p) {
    const bool held = std::count(fixed.begin(), fixed.end(), static_cast<int>(p)) > 0;
    const double off = held ? 0 : 0.1 * static_cast<double>(p % 5) - 0.25;
    network.points.push_back({{truth[p].x + off, truth[p].y - 0.7 * off}, held});
  }
  for (std::size_t i = 0; i < plan.size(); ++i) {
    Observation& o = plan[i];
    auto at = [&](int p) { return truth[static_cast<std::size_t>(p)]; };
    const GridPoint from = at(o.kind == Kind::Angle ? o.at : o.from), to = at(o.to);
    if (o.kind == Kind::Distance) o.value = std::hypot(to.x - from.x, to.y - from.y);
    if (o.kind == Kind::Bearing) o.value = WithinTurn(testing::TrueBearing(from, to));
    if (o.kind == Kind::Direction)
      o.value = WithinTurn(testing::TrueBearing(from, to) -
                           orientations[static_cast<std::size_t>(o.setup)]);
    if (o.kind == Kind::Angle)
      o.value = WithinTurn(testing::TrueBearing(from, to) - testing::TrueBearing(from, at(o.from)));
    o.value += errors[i % errors.size()] * o.sigma;
    network.observations.push_back(o);
  }
  return network;
}

const std::vector<double> someErrors = {0.8, -1.3, 0.4, 1.9, -0.6, -1.1, 0.2, 1.4, -2.0};

// Two traverses M1-F1-P1-P2-J and M2-F2-P3-J meeting at J, with a distance
// P1-P3, an angle at F2 from M2 to J and a bearing P2-P3 besides: 14
// observations (7 angles, 6 distances, the bearing), 8 unknowns.
Network Junction(const std::vector<double>& errors = someErrors) {
  const std::vector<GridPoint> truth = {{1000, 1000}, {1200, 1100}, {1020, 1900}, {1180, 1760},
                                        {1310, 1250}, {1390, 1430}, {1450, 1590}, {1320, 1690}};
  std::vector<Observation> plan;
  for (auto [at, from, to] :
       {std::array{1, 0, 4}, {4, 1, 5}, {5, 4, 6}, {6, 5, 7}, {7, 6, 3}, {3, 7, 2}, {3, 2, 6}})
    plan.push_back({Kind::Angle, at, from, to, 0, 0.001});
  for (auto [from, to] : {std::pair{1, 4}, {4, 5}, {5, 6}, {3, 7}, {7, 6}, {4, 7}})
    plan.push_back({Kind::Distance, -1, from, to, 0, from == 4 && to == 7 ? 0.0039 : 0.0034});
  plan.push_back({Kind::Bearing, -1, 5, 7, 0, 0.003});
  return Survey(truth, {0, 1, 2, 3}, plan, errors);
}

// One fixed point F and three new points, oriented by bearings held fixed
// between the given pairs of points: 8 observations and those, 6 unknowns.
Network HeldBearing(const std::vector<std::pair<int, int>>& held) {
  const std::vector<GridPoint> truth = {{1000, 1000}, {1040, 1310}, {1290, 1280}, {1270, 1010}};
  std::vector<Observation> plan = {
      {Kind::Distance, -1, 0, 1, 0, 0.004}, {Kind::Distance, -1, 1, 2, 0, 0.004},
      {Kind::Distance, -1, 2, 3, 0, 0.004}, {Kind::Distance, -1, 3, 0, 0, 0.004},
      {Kind::Distance, -1, 0, 2, 0, 0.004}, {Kind::Angle, 0, 1, 3, 0, 0.0015},
      {Kind::Angle, 2, 3, 1, 0, 0.0015},    {Kind::Angle, 1, 0, 2, 0, 0.0015}};
  for (auto [from, to] : held) plan.push_back({Kind::Bearing, -1, from, to, 0, 0});
  return Survey(truth, {0}, plan, someErrors);
}

// The textbook figures with dense matrices: A, P, N = AᵀPA, a bearing held
// fixed as a condition C dx = c with a Lagrange multiplier, the cofactors
// the upper left block of the inverse of [N Cᵀ; C 0] of the last iteration.
struct Dense {
  std::vector<GridPoint> points;
  Eigen::MatrixXd q;
  std::vector<int> unknownOf;  // per point, its x; -1 where fixed
  std::vector<double> v, r;
  double sigma0 = 0;
  int iterations = 0;
};

Dense AdjustDensely(const Network& network) {
  Dense dense;
  int u = 0;
  for (const NetworkPoint& p : network.points) {
    dense.points.push_back(p.approximate);
    dense.unknownOf.push_back(p.fixed ? -1 : u);
    if (!p.fixed) u += 2;
  }
  // The computed value of o, reduced next to the measured one, and a = d(value)/d(x).
  auto equation = [&](const Observation& o, Eigen::RowVectorXd& a) {
    a.setZero(u);
    auto add = [&](int p, double ax, double ay) {
      const int x = dense.unknownOf[static_cast<std::size_t>(p)];
      if (x >= 0) a(x) += ax, a(x + 1) += ay;
    };
    auto bearing = [&](int p, int q, double sign) {  // sign * t(p->q), in gon
      const GridPoint &from = dense.points[static_cast<std::size_t>(p)],
                      &to = dense.points[static_cast<std::size_t>(q)];
      const double t = std::atan2(to.y - from.y, to.x - from.x);
      const double s = std::hypot(to.y - from.y, to.x - from.x);
      add(q, -sign * std::sin(t) / s * gonPerRadian, sign * std::cos(t) / s * gonPerRadian);
      add(p, sign * std::sin(t) / s * gonPerRadian, -sign * std::cos(t) / s * gonPerRadian);
      return sign * t * gonPerRadian;
    };
    if (o.kind == Kind::Distance) {
      const GridPoint &from = dense.points[static_cast<std::size_t>(o.from)],
                      &to = dense.points[static_cast<std::size_t>(o.to)];
      const double t = std::atan2(to.y - from.y, to.x - from.x);
      add(o.to, std::cos(t), std::sin(t));
      add(o.from, -std::cos(t), -std::sin(t));
      return std::hypot(to.y - from.y, to.x - from.x);
    }
    const double value = o.kind == Kind::Bearing
                             ? bearing(o.from, o.to, 1)
                             : bearing(o.at, o.to, 1) + bearing(o.at, o.from, -1);
    return value + 400 * std::round((o.value - value) / 400);
  };
  const std::size_t n = network.observations.size();
  int held = 0;
  for (const Observation& o : network.observations) held += o.sigma == 0;
  Eigen::MatrixXd system(u + held, u + held);
  Eigen::RowVectorXd a;
  for (dense.iterations = 1;; ++dense.iterations) {
    system.setZero();
    Eigen::VectorXd rightHandSide = Eigen::VectorXd::Zero(u + held);
    int c = u;
    for (const Observation& o : network.observations) {
      const double l = o.value - equation(o, a);
      if (o.sigma == 0) {
        system.row(c).head(u) = a, system.col(c).head(u) = a.transpose();
        rightHandSide(c++) = l;
      } else {
        system.topLeftCorner(u, u) += a.transpose() * a / (o.sigma * o.sigma);
        rightHandSide.head(u) += a.transpose() * l / (o.sigma * o.sigma);
      }
    }
    const Eigen::VectorXd dx = system.fullPivLu().solve(rightHandSide).head(u);
    for (std::size_t p = 0; p < dense.points.size(); ++p)
      if (const int x = dense.unknownOf[p]; x >= 0)
        dense.points[p].x += dx(x), dense.points[p].y += dx(x + 1);
    if (dx.lpNorm<Eigen::Infinity>() <= 1e-5 || dense.iterations == 20) break;
  }
  dense.q = system.inverse().topLeftCorner(u, u);
  double vTPv = 0;
  for (const Observation& o : network.observations) {
    dense.v.push_back(equation(o, a) - o.value);
    if (o.sigma == 0) {
      dense.r.push_back(0);
      continue;
    }
    dense.r.push_back(1 - (a * dense.q * a.transpose())(0, 0) / (o.sigma * o.sigma));
    vTPv += std::pow(dense.v.back() / o.sigma, 2);
  }
  dense.sigma0 = std::sqrt(vTPv / static_cast<double>(static_cast<int>(n) - u));
  return dense;
}

// Agreement to 1e-9 of `scale`: the figure itself, or its sigma for a residual.
void ExpectClose(double actual, double expected, double scale, const std::string& what) {
  EXPECT_NEAR(actual, expected, 1e-9 * std::fabs(scale)) << what;
}

// The sparse engine against the dense textbook computation, a bearing held
// fixed from a fixed point and between two new points among them.
// Whole turns off, exactly, and into [0, 400) whatever the magnitude (a
// reading of 5e51 found by fuzzing left a quotient's rounding behind).
TEST(WithinTurn, EveryValueLandsInOneTurn) {
  const struct {
    double gon, within;
  } cases[] = {{0, 0}, {399.5, 399.5}, {400, 0}, {-1e-17, 0}, {-100, 300}, {812.25, 12.25},
               {-812.25, 387.75}};
  for (const auto& c : cases) EXPECT_EQ(WithinTurn(c.gon), c.within) << c.gon;
  for (const double huge : {5e51, -5e51, 1.7e308, -1.7e308}) {
    const double within = WithinTurn(huge);
    EXPECT_TRUE(within >= 0 && within < 400) << huge << " gave " << within;
  }
}

TEST(AdjustNetwork, AgreesWithTheDenseComputation) {
  const struct {
    const char* name;
    Network network;
  } cases[] = {{"junction", Junction()},
               {"held from the fixed point", HeldBearing({{0, 1}})},
               {"held between new points", HeldBearing({{1, 2}})},
               {"held one after the other", HeldBearing({{0, 1}, {1, 2}})}};
  for (const auto& kase : cases) {
    SCOPED_TRACE(kase.name);
    const NetworkResult result = AdjustNetwork(kase.network.points, kase.network.observations);
    const Dense dense = AdjustDensely(kase.network);
    ASSERT_TRUE(result.converged);
    EXPECT_EQ(result.iterations, dense.iterations);
    const std::size_t n = kase.network.observations.size();
    EXPECT_EQ(result.redundancy, static_cast<int>(n) - static_cast<int>(dense.q.rows()));
    ExpectClose(result.sigma0, dense.sigma0, dense.sigma0, "sigma0");
    for (std::size_t p = 0; p < dense.points.size(); ++p) {
      EXPECT_NEAR(result.points[p].x, dense.points[p].x, 1e-9) << p;
      EXPECT_NEAR(result.points[p].y, dense.points[p].y, 1e-9) << p;
      const int x = dense.unknownOf[p];
      ASSERT_EQ(result.precision[p].has_value(), x >= 0) << p;
      if (x < 0) continue;
      const double variance = dense.sigma0 * dense.sigma0;
      const double sx = std::sqrt(variance * dense.q(x, x)),
                   sy = std::sqrt(variance * dense.q(x + 1, x + 1));
      ExpectClose(result.precision[p]->sx, sx, sx, "sx");
      ExpectClose(result.precision[p]->sy, sy, sy, "sy");
    }
    for (std::size_t i = 0; i < n; ++i) {
      const ObservationFigures& o = result.observations[i];
      EXPECT_NEAR(o.redundancyNumber, dense.r[i], 1e-9) << i;
      if (kase.network.observations[i].sigma == 0) {
        EXPECT_LT(std::fabs(o.residual), 1e-9) << "a bearing held fixed is held";
        EXPECT_FALSE(o.w) << i;
        continue;
      }
      ASSERT_TRUE(o.w) << i;
      ExpectClose(o.residual, dense.v[i], o.sigma, "v");
      ExpectClose(*o.w, dense.v[i] / o.sigma / std::sqrt(dense.r[i]), 1, "w");
    }
  }
}

// Every pair's relative ellipse and sigma of distance against the dense
// cofactors: observed pairs from the factor's pattern, the others by a
// solve, pairs with a fixed point and with a bearing held fixed among them.
TEST(AdjustNetwork, RelativePrecisionAgreesWithTheDenseComputation) {
  // A traverse of six new points between two pairs of fixed ones: its ends
  // lie far outside each other's rows of the factor.
  std::vector<GridPoint> route;
  for (int k = 0; k < 10; ++k) route.push_back({1000.0 + 110 * k, 1000.0 + 70 * (k % 2) + 5 * k});
  std::vector<Observation> chain;
  for (int k = 1; k <= 8; ++k) chain.push_back({Kind::Angle, k, k - 1, k + 1, 0, 0.001});
  for (int k = 1; k <= 7; ++k) chain.push_back({Kind::Distance, -1, k, k + 1, 0, 0.003});
  for (const Network& network :
       {Junction(), HeldBearing({{1, 2}}), Survey(route, {0, 1, 8, 9}, chain, someErrors)}) {
    const int n = static_cast<int>(network.points.size());
    std::vector<PointPair> pairs;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        if (i != j) pairs.push_back({i, j});
    const NetworkResult result =
        AdjustNetwork(network.points, network.observations, {}, pairs);
    const Dense dense = AdjustDensely(network);
    ASSERT_EQ(result.relative.size(), pairs.size());
    const double variance = dense.sigma0 * dense.sigma0;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      const auto [i, j] = pairs[k];
      // (dX, dY) = c x for c with +1 at the x, y of j and -1 at those of i.
      Eigen::MatrixXd c = Eigen::MatrixXd::Zero(2, dense.q.rows());
      for (const auto& [p, sign] : {std::pair{j, 1.0}, std::pair{i, -1.0}})
        if (const int x = dense.unknownOf[static_cast<std::size_t>(p)]; x >= 0)
          c(0, x) = sign, c(1, x + 1) = sign;
      const Eigen::Matrix2d q = c * dense.q * c.transpose() * variance;
      const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> axes(q);
      const GridPoint &from = dense.points[static_cast<std::size_t>(i)],
                      &to = dense.points[static_cast<std::size_t>(j)];
      const double s = std::hypot(to.x - from.x, to.y - from.y);
      const Eigen::Vector2d u((to.x - from.x) / s, (to.y - from.y) / s);
      const RelativePrecision& r = result.relative[k];
      const std::string what = std::to_string(i) + "-" + std::to_string(j);
      EXPECT_NEAR(r.ellipse.a, std::sqrt(std::max(0.0, axes.eigenvalues()(1))), 1e-9) << what;
      EXPECT_NEAR(r.ellipse.b, std::sqrt(std::max(0.0, axes.eigenvalues()(0))), 1e-9) << what;
      EXPECT_NEAR(r.sigmaDistance, std::sqrt(u.dot(q * u)), 1e-9) << what;
      EXPECT_NEAR(r.distance, s, 1e-9) << what;
      if (r.ellipse.a - r.ellipse.b > 1e-6) {
        // The major axis's bearing, either end of it.
        const Eigen::Vector2d major = axes.eigenvectors().col(1);
        double bearing = std::atan2(major(1), major(0)) * gonPerRadian;
        bearing = std::fmod(bearing + 400, 200);
        EXPECT_NEAR(std::remainder(r.ellipse.bearing - bearing, 200), 0, 1e-6) << what;
      }
    }
  }
}

// Takahashi's cofactors against the dense inverse, everywhere in the factor's
// pattern: on the networks' own normal matrices and on a random sparse one
// of 60 unknowns that fills in deeply.
TEST(SelectedInverse, AgreesWithTheDenseInverse) {
  auto normals = [](const Network& network) {
    NetworkNormals n = NormalsOfNetwork(network.points, network.observations);
    return Eigen::SparseMatrix<double>(Eigen::Map<const Eigen::SparseMatrix<double>>(
        n.unknowns, n.unknowns, static_cast<Eigen::Index>(n.values.size()), n.columnStarts.data(),
        n.rows.data(), n.values.data()));
  };
  std::mt19937 random(5);
  std::uniform_int_distribution<int> index(0, 59);
  Eigen::MatrixXd randomDense = Eigen::MatrixXd::Identity(60, 60);
  for (int k = 0; k < 90; ++k) {  // sums of rank-one terms on 2 or 3 unknowns
    Eigen::VectorXd a = Eigen::VectorXd::Zero(60);
    for (int t = 0; t < 2 + k % 2; ++t)
      a(index(random)) = std::uniform_real_distribution<double>(-3, 3)(random);
    randomDense += a * a.transpose();
  }
  const Eigen::SparseMatrix<double> matrices[] = {
      normals(Junction()), normals(HeldBearing({{1, 2}})),
      randomDense.triangularView<Eigen::Lower>().toDenseMatrix().sparseView()};
  for (const Eigen::SparseMatrix<double>& n : matrices) {
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>>
        factor(n);
    ASSERT_EQ(factor.info(), Eigen::Success);
    const Eigen::SparseMatrix<double>& l = factor.matrixL().nestedExpression();
    const SelectedInverse z(l, factor.vectorD());
    const Eigen::MatrixXd lower(n);
    const Eigen::MatrixXd full = lower.selfadjointView<Eigen::Lower>();
    const Eigen::MatrixXd p = factor.permutationP().toDenseMatrix().cast<double>();
    const Eigen::MatrixXd inverse = (p * full * p.transpose()).inverse();
    const double scale = inverse.cwiseAbs().maxCoeff();
    for (int j = 0; j < l.outerSize(); ++j) {
      EXPECT_NEAR(z(j, j), inverse(j, j), 1e-12 * scale) << j;
      for (Eigen::SparseMatrix<double>::InnerIterator it(l, j); it; ++it) {
        EXPECT_NEAR(z(static_cast<int>(it.row()), j), inverse(it.row(), j), 1e-12 * scale);
        EXPECT_EQ(z(j, static_cast<int>(it.row())), z(static_cast<int>(it.row()), j));
      }
    }
  }
}

// A connecting traverse given as a network is the single traverse's least
// squares, to the last figures the convergence leaves.
TEST(AdjustNetwork, ReproducesOneTraverse) {
  const std::vector<GridPoint> route = {{1000, 2000}, {1180, 2110}, {1230, 2400}, {1480, 2460},
                                        {1540, 2700}, {1790, 2690}, {1850, 2900}};
  for (bool left : {true, false}) {
    Job job = testing::LayOut(TraverseKind::Connecting, {900, 1700}, route, {2100, 3000}, left);
    for (std::size_t k = 0; k < job.angles.size(); ++k)
      job.angles[k].value += 0.001 * someErrors[k];
    for (std::size_t k = 0; k < job.lengths.size(); ++k)
      job.lengths[k].value -= 0.004 * someErrors[k + 2];
    const std::vector<GridPoint> start = testing::CarryForward(job);
    const LeastSquaresResult single = AdjustLeastSquares(job, start);

    // A, B, the new points, C, D; the angles as typed, then the lengths.
    Network network;
    network.points = {{job.a, true}, {job.b, true}};
    for (const GridPoint& p : start) network.points.push_back({p, false});
    network.points.push_back({job.c, true});
    network.points.push_back({job.d, true});
    for (int k = 1; k <= static_cast<int>(job.angles.size()); ++k)
      network.observations.push_back({Kind::Angle, k, left ? k - 1 : k + 1, left ? k + 1 : k - 1,
                                      job.angles[static_cast<std::size_t>(k - 1)].value,
                                      job.settings.sigmas.angleGon});
    for (int k = 1; k <= static_cast<int>(job.lengths.size()); ++k) {
      const double length = job.lengths[static_cast<std::size_t>(k - 1)].value;
      network.observations.push_back(
          {Kind::Distance, -1, k, k + 1, length,
           job.settings.sigmas.lengthMetres + job.settings.sigmas.lengthPpm * 1e-6 * length});
    }
    const NetworkResult result = AdjustNetwork(network.points, network.observations);

    EXPECT_EQ(result.redundancy, single.redundancy);
    EXPECT_EQ(result.iterations, single.iterations);
    ExpectClose(result.sigma0, single.sigma0, single.sigma0, "sigma0");
    for (std::size_t k = 0; k < single.points.size(); ++k) {
      EXPECT_NEAR(result.points[k + 2].x, single.points[k].x, 1e-9);
      EXPECT_NEAR(result.points[k + 2].y, single.points[k].y, 1e-9);
      const PointPrecision &p = *result.precision[k + 2], &e = single.precision[k];
      for (auto [actual, expected] :
           {std::pair{p.sx, e.sx}, {p.sy, e.sy}, {p.a, e.a}, {p.b, e.b}, {p.bearing, e.bearing}})
        ExpectClose(actual, expected, expected, "precision of point " + std::to_string(k));
    }
    for (std::size_t i = 0; i < single.observations.size(); ++i) {
      const ObservationReport& e = single.observations[i];
      ExpectClose(result.observations[i].residual, e.residual, e.sigma, "v");
      ExpectClose(*result.observations[i].w, *e.w, 1, "w");
      EXPECT_NEAR(result.observations[i].redundancyNumber, single.observations[i].redundancyNumber,
                  1e-9);
    }
  }
}

// One blunder in error-free observations: its w is the largest.
TEST(AdjustNetwork, BlunderHasTheLargestW) {
  const struct {
    std::size_t observation;
    double blunder;                                               // in sigmas
  } cases[] = {{1, 25}, {4, -30}, {9, 30}, {12, -25}, {13, 20}};  // angles, distances, the bearing
  for (const auto& kase : cases) {
    std::vector<double> errors(14, 0.0);
    errors[kase.observation] = kase.blunder;
    const Network network = Junction(errors);
    const NetworkResult result = AdjustNetwork(network.points, network.observations);
    EXPECT_FALSE(result.globalTest.passed);
    const auto largest = std::max_element(
        result.observations.begin(), result.observations.end(),
        [](const auto& a, const auto& b) { return std::fabs(*a.w) < std::fabs(*b.w); });
    EXPECT_EQ(static_cast<std::size_t>(largest - result.observations.begin()), kase.observation);
  }
}

// Two known points K1, K2 and four free stations, an instrument on each of
// the six with directions and distances to its neighbours, the circles
// turned anyhow (two of them next to 0 and 400 gon), the approximate
// orientations a few hundredths of a gon off.
const std::vector<GridPoint> setupTruth = {{2000, 1000}, {2150, 1650}, {1700, 1250},
                                           {1850, 1480}, {1620, 1600}, {1900, 1900}};
const std::vector<double> trueOrientations = {123.4567, 399.9876, 0.0123, 250.5, 77.7, 310.2};

Network SetupNetwork(const std::vector<double>& errors) {
  const std::vector<std::vector<int>> targets = {{1, 2, 3},    {0, 3, 5}, {0, 3, 4},
                                                 {0, 1, 2, 5}, {2, 5, 3}, {1, 3, 4}};
  std::vector<Observation> plan;
  for (int s = 0; s < 6; ++s)
    for (int t : targets[static_cast<std::size_t>(s)]) {
      plan.push_back({Kind::Direction, -1, s, t, 0, 0.0005});
      plan.back().setup = s;
      plan.push_back({Kind::Distance, -1, s, t, 0, 0.002});
    }
  Network network = Survey(setupTruth, {0, 1}, plan, errors, trueOrientations);
  for (int s = 0; s < 6; ++s)
    network.setups.push_back({s, trueOrientations[static_cast<std::size_t>(s)] + 0.03 - 0.01 * s});
  return network;
}

// Error-free directions and distances give back the truth; with errors, each
// setup's orientation sigma and its covariance with its station are the
// dense propagation σ0² (AᵀPA)⁻¹ at the adjusted figures.
TEST(AdjustNetwork, DirectionsOfSetups) {
  const Network exact = SetupNetwork({0.0});
  const NetworkResult truth = AdjustNetwork(exact.points, exact.observations, exact.setups);
  ASSERT_TRUE(truth.converged);
  for (std::size_t p = 0; p < setupTruth.size(); ++p) {
    EXPECT_NEAR(truth.points[p].x, setupTruth[p].x, 1e-6) << p;
    EXPECT_NEAR(truth.points[p].y, setupTruth[p].y, 1e-6) << p;
    const double o = truth.setups[p]->orientation;
    EXPECT_TRUE(o >= 0 && o < 400) << o;
    EXPECT_NEAR(NextTo(o, trueOrientations[p]), trueOrientations[p], 1e-7) << p;
  }

  const Network noisy = SetupNetwork(someErrors);
  const NetworkResult result = AdjustNetwork(noisy.points, noisy.observations, noisy.setups);
  ASSERT_TRUE(result.converged);
  UnknownIndex index(noisy.points.size());
  for (int p = 2; p < 6; ++p) index.Add(p, Unknown::X), index.Add(p, Unknown::Y);
  for (int s = 0; s < 6; ++s) index.Add(6 + s, Unknown::Orientation);
  std::vector<double> orientations;
  for (const auto& setup : result.setups) orientations.push_back(setup->orientation);
  Eigen::MatrixXd n = Eigen::MatrixXd::Zero(index.size(), index.size());
  double vTPv = 0;
  for (const Observation& o : noisy.observations) {
    Equation e;
    Linearise(o, result.points, index, e, orientations);
    Eigen::RowVectorXd a = Eigen::RowVectorXd::Zero(index.size());
    for (std::size_t t = 0; t < e.count; ++t) a(e.terms[t].unknown) += e.terms[t].a / o.sigma;
    n += a.transpose() * a;
    vTPv += std::pow((e.computed - o.value) / o.sigma, 2);
  }
  const Eigen::MatrixXd q = n.inverse() * vTPv / result.redundancy;
  for (int s = 0; s < 6; ++s) {
    const SetupFigures& figures = *result.setups[static_cast<std::size_t>(s)];
    const int u[] = {index.Of(s, Unknown::X), index.Of(s, Unknown::Y),
                     index.Of(6 + s, Unknown::Orientation)};
    ExpectClose(figures.sigma, std::sqrt(q(u[2], u[2])), figures.sigma, "orientation sigma");
    for (std::size_t i = 0; i < 3; ++i)
      for (std::size_t j = 0; j < 3; ++j)
        ExpectClose(figures.covariance[i][j], u[i] < 0 || u[j] < 0 ? 0 : q(u[i], u[j]),
                    u[i] < 0 || u[j] < 0 ? 1 : std::sqrt(q(u[i], u[i]) * q(u[j], u[j])),
                    "covariance of setup " + std::to_string(s));
  }
}

TEST(AdjustNetwork, RefusesWhatCannotBeAdjusted) {
  Network floating = HeldBearing({{0, 1}});
  floating.points[0].fixed = false;
  Network unoriented = HeldBearing({{0, 1}});
  unoriented.observations.pop_back();
  const Network heldTwice = HeldBearing({{0, 1}, {1, 0}});
  Network dangling = Junction();  // point 8 hangs on P1 by one distance
  dangling.points.push_back({{1250, 1300}, false});
  dangling.observations.push_back({Kind::Distance, -1, 4, 8, 78, 0.003});
  // A free station with one direction and one distance to K1 may swing round it.
  Network swinging = SetupNetwork({0.0});
  swinging.points.push_back({{1800, 800}, false});
  swinging.setups.push_back({6, 10});
  swinging.observations.push_back({Kind::Distance, -1, 6, 0, 283, 0.002});
  swinging.observations.push_back({Kind::Direction, -1, 6, 0, 40, 0.0005});
  swinging.observations.back().setup = 6;
  const struct {
    Network network;
    std::string message;
    int singularPoint;  // -1 for a refusal before the factorisation
    int singularSetup = -1;
  } cases[] = {{floating, "no datum: no known point, so its position is free", -1},
               {unoriented, "no datum: one known point and no bearing or second known point, so "
                            "its rotation is free; add a bearing", -1},
               {heldTwice, "fixed already", -1},
               {dangling, "point #8", 8},
               {swinging, "the orientation of setup #6", -1, 6}};
  for (const auto& kase : cases) {
    try {
      AdjustNetwork(kase.network.points, kase.network.observations, kase.network.setups);
      ADD_FAILURE() << "adjusted: " << kase.message;
    } catch (const NetworkError& error) {
      EXPECT_NE(std::string(error.what()).find(kase.message), std::string::npos) << error.what();
      EXPECT_EQ(error.point(), kase.singularPoint);
      EXPECT_EQ(error.setup(), kase.singularSetup);
    }
  }
}

}  // namespace
}  // namespace traverse
