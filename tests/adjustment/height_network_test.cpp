#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <Eigen/Dense>

#include "network/network.hpp"

namespace traverse {
namespace {

// Two benchmarks and five new marks: a loop of levelling lines round the
// junction marks 3 and 4, spurs of trigonometric differences (short sigmas
// of a millimetre or two, longer of several) and a line between the
// benchmarks.
const std::vector<double> trueZ = {100.000, 112.345, 103.210, 98.765, 107.004, 121.5, 95.25};
const std::vector<bool> known = {true, true, false, false, false, false, false};
struct Line {
  int from, to;
  double sigma;  // metres
};
const std::vector<Line> lines = {
    {0, 2, 0.0010}, {2, 3, 0.0012}, {3, 1, 0.0014}, {1, 4, 0.0011}, {4, 3, 0.0009},
    {0, 1, 0.0020}, {2, 4, 0.0030}, {4, 5, 0.0060}, {5, 1, 0.0055}, {3, 6, 0.0045},
    {6, 0, 0.0050}, {5, 4, 0.0070}};

struct Heights {
  std::vector<HeightPoint> points;
  std::vector<Observation> observations;
};

// The network measured on the true heights, line i off by errors[i] of its
// sigma; new marks start from zero.
Heights Measure(const std::vector<double>& errors) {
  Heights h;
  for (std::size_t p = 0; p < trueZ.size(); ++p) h.points.push_back({known[p] ? trueZ[p] : 0.0, known[p]});
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    const double dh = trueZ[static_cast<std::size_t>(l.to)] - trueZ[static_cast<std::size_t>(l.from)];
    h.observations.push_back({ObservationKind::HeightDifference, -1, l.from, l.to,
                              dh + (i < errors.size() ? errors[i] : 0.0) * l.sigma, l.sigma});
  }
  return h;
}

TEST(HeightNetwork, GivesBackTrueHeightsAndDenseSigmas) {
  const Heights exact = Measure({});
  const HeightNetworkResult truth = AdjustHeights(exact.points, exact.observations);
  for (std::size_t p = 0; p < trueZ.size(); ++p) EXPECT_NEAR(truth.heights[p], trueZ[p], 1e-6) << p;
  EXPECT_EQ(truth.redundancy, 7);

  // With errors: heights and sigmas as the dense normal equations give them.
  const std::vector<double> errors = {0.8, -1.3, 0.4, 1.9, -0.6, -1.1, 0.2, 1.4, -2.0, 0.5, -0.3, 1.0};
  const Heights noisy = Measure(errors);
  const HeightNetworkResult result = AdjustHeights(noisy.points, noisy.observations);
  const int n = 5;  // the new marks 2..6
  Eigen::MatrixXd normal = Eigen::MatrixXd::Zero(n, n);
  Eigen::VectorXd rhs = Eigen::VectorXd::Zero(n);
  double vTPv = 0;
  for (const Observation& o : noisy.observations) {
    Eigen::VectorXd a = Eigen::VectorXd::Zero(n);
    double l = o.value;
    for (const auto& [p, sign] : {std::pair{o.from, -1.0}, {o.to, 1.0}}) {
      if (known[static_cast<std::size_t>(p)])
        l -= sign * trueZ[static_cast<std::size_t>(p)];
      else
        a[p - 2] = sign;
    }
    normal += a * a.transpose() / (o.sigma * o.sigma);
    rhs += a * l / (o.sigma * o.sigma);
  }
  const Eigen::MatrixXd q = normal.inverse();
  const Eigen::VectorXd z = q * rhs;
  for (const Observation& o : noisy.observations) {
    const auto height = [&](int p) {
      return known[static_cast<std::size_t>(p)] ? trueZ[static_cast<std::size_t>(p)] : z[p - 2];
    };
    const double v = (height(o.to) - height(o.from) - o.value) / o.sigma;
    vTPv += v * v;
  }
  const double sigma0 = std::sqrt(vTPv / 7);
  EXPECT_NEAR(result.sigma0, sigma0, 1e-9);
  EXPECT_NEAR(result.globalTest.value, vTPv, 1e-7);
  for (int p = 0; p < n; ++p) {
    EXPECT_NEAR(result.heights[static_cast<std::size_t>(p + 2)], z[p], 1e-9) << p;
    EXPECT_NEAR(*result.sigma[static_cast<std::size_t>(p + 2)], sigma0 * std::sqrt(q(p, p)), 1e-10) << p;
  }
  EXPECT_FALSE(result.sigma[0].has_value());
}

// A blunder of twelve sigmas in one line: its w is the largest by far.
TEST(HeightNetwork, BlunderHasTheLargestW) {
  for (const std::size_t blundered : {std::size_t{1}, std::size_t{7}}) {
    std::vector<double> errors(lines.size(), 0.0);
    errors[blundered] = 12;
    const Heights h = Measure(errors);
    const HeightNetworkResult result = AdjustHeights(h.points, h.observations);
    std::size_t largest = 0;
    for (std::size_t i = 1; i < result.observations.size(); ++i)
      if (std::fabs(result.observations[i].w.value_or(0)) >
          std::fabs(result.observations[largest].w.value_or(0)))
        largest = i;
    EXPECT_EQ(largest, blundered);
    EXPECT_GT(std::fabs(*result.observations[largest].w), CriticalW);
  }
}

TEST(HeightNetwork, RefusesWhatFixesNoHeight) {
  Heights h = Measure({});
  // No known height at all.
  Heights free = h;
  for (HeightPoint& p : free.points) p.fixed = false;
  EXPECT_THROW(AdjustHeights(free.points, free.observations), NetworkError);
  // A pair of marks joined to each other alone: the first of them is named.
  h.points.push_back({});
  h.points.push_back({});
  h.observations.push_back({ObservationKind::HeightDifference, -1, 7, 8, 1.0, 0.001});
  try {
    AdjustHeights(h.points, h.observations);
    FAIL() << "no error";
  } catch (const NetworkError& error) {
    EXPECT_TRUE(error.point() == 7 || error.point() == 8) << error.what();
  }
  // Without redundancy the heights follow, with their a-priori sigmas.
  const HeightNetworkResult spur = AdjustHeights(
      {{50, true}, {0, false}}, {{ObservationKind::HeightDifference, -1, 0, 1, 2.5, 0.003}});
  EXPECT_DOUBLE_EQ(spur.heights[1], 52.5);
  EXPECT_DOUBLE_EQ(*spur.sigma[1], 0.003);
  EXPECT_EQ(spur.redundancy, 0);
}

}  // namespace
}  // namespace traverse
