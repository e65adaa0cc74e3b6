// The normal equations of an adjustment by observation equations, kept
// sparse: N = AᵀPA and n = AᵀPl from standardised rows (each divided by its
// observation's sigma, so P = I), factored as L D Lᵀ in the natural order of
// the unknowns. A traverse numbers its unknowns along the line, so that order
// keeps N banded and the factor fills nothing outside the band. The cofactors
// Q_xx = N⁻¹ are had only on the factor's pattern, by Takahashi's recursion:
// every pair of unknowns that share an observation, which is all the error
// ellipses and the redundancy numbers need, without the dense inverse.
#pragma once

#include <span>
#include <vector>

#include <Eigen/Core>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

namespace traverse {

class NormalEquations {
 public:
  // Equations in `unknowns` unknowns, no rows yet.
  explicit NormalEquations(int unknowns);

  // Forgets the rows added so far (a new linearisation); the pattern is kept.
  void Clear();

  // Adds one standardised observation equation: its coefficients for the
  // listed unknowns (no unknown twice) and its misclosure l = (measured -
  // computed) / sigma. Every pair of the listed unknowns enters N's pattern,
  // zero coefficients included, so the pattern does not depend on the values.
  void AddRow(std::span<const int> unknowns, std::span<const double> coefficients, double l);

  // Factors N and sets x to the solution of N x = n. False where N is not
  // positive definite (the observations do not fix the unknowns).
  bool Solve(Eigen::VectorXd& x);

  // Computes the cofactors on the factor's pattern; after a successful Solve.
  void ComputeCofactors();

  // Q_xx(i, j) for unknowns i and j that share an observation (or i = j);
  // after ComputeCofactors.
  double Cofactor(int i, int j) const;

 private:
  using Factor =
      Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::NaturalOrdering<int>>;

  // The position of L(row, column), row > column, in the factor's value array.
  Eigen::Index Position(int row, int column) const;

  int unknowns_;
  std::vector<Eigen::Triplet<double>> entries_;  // the first assembly of N's lower triangle
  Eigen::VectorXd rightHandSide_;
  Eigen::SparseMatrix<double> normalMatrix_;
  Factor factor_;
  bool patternAnalysed_ = false;
  std::vector<double> offDiagonal_;  // Q_xx on L's strictly lower pattern, L's order
  std::vector<double> diagonal_;     // Q_xx(i, i)
};

}  // namespace traverse
