#include "adjustment/normal_equations.hpp"

#include <algorithm>

namespace traverse {

NormalEquations::NormalEquations(int unknowns, int halfBandwidth)
    : unknowns_(unknowns),
      width_(halfBandwidth),
      band_(Eigen::MatrixXd::Zero(halfBandwidth + 1, unknowns)),
      rightHandSide_(Eigen::VectorXd::Zero(unknowns)) {}

void NormalEquations::Clear() {
  band_.setZero();
  rightHandSide_.setZero();
}

void NormalEquations::AddRow(std::span<const int> unknowns, std::span<const double> coefficients,
                             double l) {
  if (unknowns.empty()) return;
  if (unknowns.back() - unknowns.front() > width_)
    throw std::logic_error("an observation links unknowns outside the band");
  const Eigen::Index stride = band_.rows();
  for (std::size_t t = 0; t < unknowns.size(); ++t) {
    const int j = unknowns[t];
    rightHandSide_[j] += coefficients[t] * l;
    // Column j of the band, row i of N in its row i - j.
    double* column = band_.data() + j * stride - j;
    for (std::size_t s = t; s < unknowns.size(); ++s)
      column[unknowns[s]] += coefficients[s] * coefficients[t];
  }
}

bool NormalEquations::Solve(Eigen::VectorXd& x) {
  // L D Lᵀ column by column: column j's pivot and multipliers, then their
  // share taken off the triangle of the band to its right, which is all they
  // reach. Eliminating a column fills nothing outside the band.
  for (int j = 0; j < unknowns_; ++j) {
    const double d = band_(0, j);
    // LDLᵀ takes any nonzero pivot; a normal matrix must have positive ones.
    if (!(d > 0)) return false;
    const int last = std::min(width_, unknowns_ - 1 - j);
    for (int k = 1; k <= last; ++k) {
      const double multiplier = band_(k, j) / d;
      for (int i = k; i <= last; ++i) band_(i - k, j + k) -= band_(i, j) * multiplier;
      band_(k, j) = multiplier;
    }
  }
  // L y = n, then D z = y, then Lᵀ x = z, each within the band.
  x = rightHandSide_;
  for (int j = 0; j < unknowns_; ++j) {
    const int last = std::min(width_, unknowns_ - 1 - j);
    for (int k = 1; k <= last; ++k) x[j + k] -= band_(k, j) * x[j];
  }
  for (int j = 0; j < unknowns_; ++j) x[j] /= band_(0, j);
  for (int j = unknowns_ - 1; j >= 0; --j) {
    const int last = std::min(width_, unknowns_ - 1 - j);
    for (int k = 1; k <= last; ++k) x[j] -= band_(k, j) * x[j + k];
  }
  return x.allFinite();
}

void NormalEquations::ComputeCofactors() {
  // Takahashi: Z = N⁻¹ satisfies Z = D⁻¹L⁻¹ + (I - Lᵀ)Z, whose lower triangle
  // is upper triangular in L⁻¹, so column i of Z follows from the columns to
  // its right, read only where column i of L has entries:
  //   Z(j, i) = -sum_k L(k, i) Z(j, k),  Z(i, i) = 1/d_i - sum_k L(k, i) Z(k, i).
  // j and k both lie within the band below i, so Z(j, k) lies within the band.
  cofactors_.setZero(width_ + 1, unknowns_);
  auto z = [&](int j, int k) { return j >= k ? cofactors_(j - k, k) : cofactors_(k - j, j); };
  for (int i = unknowns_ - 1; i >= 0; --i) {
    const int last = std::min(width_, unknowns_ - 1 - i);
    for (int p = 1; p <= last; ++p) {
      double sum = 0;
      for (int q = 1; q <= last; ++q) sum += band_(q, i) * z(i + p, i + q);
      cofactors_(p, i) = -sum;
    }
    double sum = 0;
    for (int q = 1; q <= last; ++q) sum += band_(q, i) * cofactors_(q, i);
    cofactors_(0, i) = 1 / band_(0, i) - sum;
  }
}

}  // namespace traverse
