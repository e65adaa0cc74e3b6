#include "adjustment/normal_equations.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <Eigen/Dense>

namespace traverse {
namespace {

// Random rows, each on a window of unknowns no wider than the band, built
// alike into the band and into a dense N: the band's solution and cofactors
// must be the dense ones.
TEST(NormalEquations, BandAgreesWithTheDenseInverse) {
  struct {
    int unknowns, width, rowsPerUnknown;
  } const cases[] = {{1, 5, 3}, {4, 5, 3}, {12, 1, 3}, {30, 5, 2}, {31, 3, 4}};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coefficient(-2, 2);
  for (const auto& kase : cases) {
    NormalEquations normals(kase.unknowns, kase.width);
    Eigen::MatrixXd dense = Eigen::MatrixXd::Zero(kase.unknowns, kase.unknowns);
    Eigen::VectorXd rightHandSide = Eigen::VectorXd::Zero(kase.unknowns);
    for (int pass = 0; pass < 2; ++pass) {  // the second pass must forget the first
      normals.Clear();
      dense.setZero();
      rightHandSide.setZero();
      for (int r = 0; r < kase.rowsPerUnknown * kase.unknowns; ++r) {
        const int first = r % kase.unknowns;
        std::vector<int> unknowns;
        std::vector<double> a;
        for (int k = first; k <= std::min(first + kase.width, kase.unknowns - 1); ++k) {
          unknowns.push_back(k);
          a.push_back(coefficient(random));
        }
        const double l = coefficient(random);
        normals.AddRow(unknowns, a, l);
        for (std::size_t s = 0; s < unknowns.size(); ++s) {
          rightHandSide[unknowns[s]] += a[s] * l;
          for (std::size_t t = 0; t < unknowns.size(); ++t)
            dense(unknowns[s], unknowns[t]) += a[s] * a[t];
        }
      }
    }
    Eigen::VectorXd x;
    ASSERT_TRUE(normals.Solve(x)) << kase.unknowns;
    const Eigen::MatrixXd inverse = dense.inverse();
    EXPECT_LT((x - inverse * rightHandSide).lpNorm<Eigen::Infinity>(), 1e-10) << kase.unknowns;
    normals.ComputeCofactors();
    for (int i = 0; i < kase.unknowns; ++i)
      for (int j = std::max(0, i - kase.width); j <= std::min(kase.unknowns - 1, i + kase.width);
           ++j)
        EXPECT_NEAR(normals.Cofactor(i, j), inverse(i, j), 1e-10 * inverse.cwiseAbs().maxCoeff())
            << kase.unknowns << ": " << i << ", " << j;
    EXPECT_THROW(normals.Cofactor(0, kase.width + 1), std::logic_error);
  }
}

// Unknowns no row reaches, or that rows fix only together, leave N singular.
TEST(NormalEquations, SingularIsRefused) {
  struct {
    std::vector<int> unknowns;
    std::vector<double> a;
  } const cases[] = {{{0, 1}, {1, 0}}, {{0, 1, 2}, {1, 1, 1}}};
  for (const auto& kase : cases) {
    NormalEquations normals(3, 2);
    normals.AddRow(kase.unknowns, kase.a, 1);
    normals.AddRow(kase.unknowns, kase.a, 2);
    Eigen::VectorXd x;
    EXPECT_FALSE(normals.Solve(x));
  }
}

}  // namespace
}  // namespace traverse
