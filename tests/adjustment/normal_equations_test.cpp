#include "network/normal_equations.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <Eigen/Dense>

namespace traverse {
namespace {

// Random rows, each on a window of unknowns no wider than the band, built
// alike into the band and into a dense N: the band's solution and cofactors
// must be the dense ones.
template <int Width>
void AgreesWithTheDenseInverse(int unknowns) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coefficient(-2, 2);
  NormalEquations<Width> normals(unknowns);
  Eigen::MatrixXd dense(unknowns, unknowns);
  Eigen::VectorXd rightHandSide(unknowns);
  for (int pass = 0; pass < 2; ++pass) {  // the second pass must forget the first
    normals.Clear();
    dense.setZero();
    rightHandSide.setZero();
    for (int r = 0; r < 3 * unknowns; ++r) {
      std::vector<int> row;
      typename NormalEquations<Width>::Row a = NormalEquations<Width>::Row::Zero();
      // Windows of every width up to the band's, some cut short by the end.
      const int first = r % unknowns, width = r % (Width + 1);
      for (int k = first; k <= std::min(first + width, unknowns - 1); ++k) {
        a[static_cast<Eigen::Index>(row.size())] = coefficient(random);
        row.push_back(k);
      }
      const double l = coefficient(random);
      normals.AddRow(first, a, l);
      for (std::size_t s = 0; s < row.size(); ++s) {
        const auto as = a[static_cast<Eigen::Index>(s)];
        rightHandSide[row[s]] += as * l;
        for (std::size_t t = 0; t < row.size(); ++t)
          dense(row[s], row[t]) += as * a[static_cast<Eigen::Index>(t)];
      }
    }
  }
  Eigen::VectorXd x;
  ASSERT_TRUE(normals.Solve(x));
  const Eigen::MatrixXd inverse = dense.inverse();
  EXPECT_LT((x - inverse * rightHandSide).lpNorm<Eigen::Infinity>(), 1e-10);
  normals.ComputeCofactors();
  for (int i = 0; i < unknowns; ++i)
    for (int j = std::max(0, i - Width); j <= std::min(unknowns - 1, i + Width); ++j)
      EXPECT_NEAR(normals.Cofactor(i, j), inverse(i, j), 1e-10 * inverse.cwiseAbs().maxCoeff())
          << i << ", " << j;
  EXPECT_THROW(normals.Cofactor(0, Width + 1), std::logic_error);
}

TEST(NormalEquations, BandAgreesWithTheDenseInverse) {
  for (int unknowns : {1, 4, 30}) {
    SCOPED_TRACE(unknowns);
    AgreesWithTheDenseInverse<1>(unknowns);
    AgreesWithTheDenseInverse<3>(unknowns);
    AgreesWithTheDenseInverse<5>(unknowns);
  }
}

// Unknowns no row reaches, or that rows fix only together, leave N singular.
TEST(NormalEquations, SingularIsRefused) {
  using Row = NormalEquations<2>::Row;
  const Row cases[] = {Row(1, 0, 0), Row(1, 1, 1)};
  for (const Row& a : cases) {
    NormalEquations<2> normals(3);
    normals.AddRow(0, a, 1);
    normals.AddRow(0, a, 2);
    Eigen::VectorXd x;
    EXPECT_FALSE(normals.Solve(x));
  }
}

}  // namespace
}  // namespace traverse
