// The normal equations of an adjustment by observation equations, kept as a
// band: N = AᵀPA and n = AᵀPl from standardised rows (each divided by its
// observation's sigma, so P = I), factored as L D Lᵀ in the natural order of
// the unknowns. A traverse numbers its unknowns along the line, so no
// observation links two unknowns far apart, N is banded, and the factor
// fills nothing outside the band. The cofactors Q_xx = N⁻¹ are had only on
// the band, by Takahashi's recursion: every pair of unknowns that share an
// observation, which is all the error ellipses and the redundancy numbers
// need, without the dense inverse.
#pragma once

#include <span>
#include <stdexcept>
#include <utility>

#include <Eigen/Core>

namespace traverse {

class NormalEquations {
 public:
  // Equations in `unknowns` unknowns, no rows yet; no observation may link
  // two unknowns more than `halfBandwidth` apart.
  NormalEquations(int unknowns, int halfBandwidth);

  // Forgets the rows added so far (a new linearisation).
  void Clear();

  // Adds one standardised observation equation: its coefficients for the
  // listed unknowns (in ascending order, the first and the last no further
  // apart than the band) and its misclosure l = (measured - computed) / sigma.
  void AddRow(std::span<const int> unknowns, std::span<const double> coefficients, double l);

  // Factors N and sets x to the solution of N x = n. False where N is not
  // positive definite (the observations do not fix the unknowns).
  bool Solve(Eigen::VectorXd& x);

  // Computes the cofactors on the band; after a successful Solve.
  void ComputeCofactors();

  // Q_xx(i, j) for unknowns i and j within the band (every pair that shares
  // an observation); after ComputeCofactors.
  double Cofactor(int i, int j) const {
    if (i < j) std::swap(i, j);
    if (i - j > width_) OutsideTheBand();
    return cofactors_(i - j, j);
  }

 private:
  [[noreturn]] static void OutsideTheBand() {
    throw std::logic_error("cofactor asked outside the band of the normal matrix");
  }

  int unknowns_;
  int width_;  // the half-bandwidth
  // Column j holds row j + k of column j in row k, the lower band as LAPACK
  // stores it: N until Solve, then L below the diagonal and D on it.
  Eigen::MatrixXd band_;
  Eigen::VectorXd rightHandSide_;
  Eigen::MatrixXd cofactors_;  // Q_xx on the band, stored like band_
};

}  // namespace traverse
