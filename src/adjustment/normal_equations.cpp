#include "adjustment/normal_equations.hpp"

#include <algorithm>
#include <stdexcept>

namespace traverse {

NormalEquations::NormalEquations(int unknowns)
    : unknowns_(unknowns),
      rightHandSide_(Eigen::VectorXd::Zero(unknowns)),
      normalMatrix_(unknowns, unknowns) {}

void NormalEquations::Clear() {
  entries_.clear();
  if (patternAnalysed_) normalMatrix_.coeffs().setZero();
  rightHandSide_.setZero();
}

void NormalEquations::AddRow(std::span<const int> unknowns, std::span<const double> coefficients,
                             double l) {
  for (std::size_t s = 0; s < unknowns.size(); ++s) {
    const int i = unknowns[s];
    rightHandSide_[i] += coefficients[s] * l;
    for (std::size_t t = 0; t < unknowns.size(); ++t) {
      const int j = unknowns[t];
      if (j > i) continue;
      // After the first assembly the pattern is fixed: add into it in place
      // rather than sort the triplets again.
      if (patternAnalysed_)
        normalMatrix_.coeffRef(i, j) += coefficients[s] * coefficients[t];
      else
        entries_.emplace_back(i, j, coefficients[s] * coefficients[t]);
    }
  }
}

bool NormalEquations::Solve(Eigen::VectorXd& x) {
  if (unknowns_ == 0) {
    x.resize(0);
    return true;
  }
  // The pattern is the same for every linearisation of one traverse.
  if (!patternAnalysed_) {
    normalMatrix_.setFromTriplets(entries_.begin(), entries_.end());
    entries_.clear();
    factor_.analyzePattern(normalMatrix_);
    patternAnalysed_ = true;
  }
  factor_.factorize(normalMatrix_);
  if (factor_.info() != Eigen::Success) return false;
  // LDLᵀ takes any nonzero pivot; a normal matrix must have positive ones.
  if ((factor_.vectorD().array() <= 0).any()) return false;
  x = factor_.solve(rightHandSide_);
  return x.allFinite();
}

void NormalEquations::ComputeCofactors() {
  // Takahashi: Z = N⁻¹ satisfies Z = D⁻¹L⁻¹ + (I - Lᵀ)Z, whose lower triangle
  // is upper triangular in L⁻¹, so column i of Z follows from the columns to
  // its right, read only where column i of L has entries:
  //   Z(j, i) = -sum_k L(k, i) Z(j, k),  Z(i, i) = 1/d_i - sum_k L(k, i) Z(k, i).
  // The pairs (j, k) lie on L's pattern because the filled graph is chordal.
  diagonal_.assign(static_cast<std::size_t>(unknowns_), 0);
  if (unknowns_ == 0) return;
  const Eigen::SparseMatrix<double>& lower = factor_.matrixL().nestedExpression();
  const int* outer = lower.outerIndexPtr();
  const int* inner = lower.innerIndexPtr();
  const double* value = lower.valuePtr();
  const Eigen::VectorXd& d = factor_.vectorD();
  offDiagonal_.assign(static_cast<std::size_t>(lower.nonZeros()), 0);
  auto z = [&](int j, int k) {
    if (j == k) return diagonal_[static_cast<std::size_t>(j)];
    return offDiagonal_[static_cast<std::size_t>(Position(std::max(j, k), std::min(j, k)))];
  };
  for (int i = unknowns_ - 1; i >= 0; --i) {
    for (int p = outer[i]; p < outer[i + 1]; ++p) {
      double sum = 0;
      for (int q = outer[i]; q < outer[i + 1]; ++q) sum += value[q] * z(inner[p], inner[q]);
      offDiagonal_[static_cast<std::size_t>(p)] = -sum;
    }
    double sum = 0;
    for (int q = outer[i]; q < outer[i + 1]; ++q)
      sum += value[q] * offDiagonal_[static_cast<std::size_t>(q)];
    diagonal_[static_cast<std::size_t>(i)] = 1 / d[i] - sum;
  }
}

double NormalEquations::Cofactor(int i, int j) const {
  if (i == j) return diagonal_[static_cast<std::size_t>(i)];
  return offDiagonal_[static_cast<std::size_t>(Position(std::max(i, j), std::min(i, j)))];
}

Eigen::Index NormalEquations::Position(int row, int column) const {
  const Eigen::SparseMatrix<double>& lower = factor_.matrixL().nestedExpression();
  const int* begin = lower.innerIndexPtr() + lower.outerIndexPtr()[column];
  const int* end = lower.innerIndexPtr() + lower.outerIndexPtr()[column + 1];
  const int* found = std::lower_bound(begin, end, row);
  if (found == end || *found != row)
    throw std::logic_error("cofactor asked outside the pattern of the normal matrix");
  return found - lower.innerIndexPtr();
}

}  // namespace traverse
