// The normal equations of an adjustment by observation equations, kept as a
// band: N = AᵀPA and n = AᵀPl from standardised rows (each divided by its
// observation's sigma, so P = I), factored as L D Lᵀ in the natural order of
// the unknowns. A traverse numbers its unknowns along the line, so no
// observation links two unknowns far apart, N is banded, and the factor
// fills nothing outside the band. The cofactors Q_xx = N⁻¹ are had only on
// the band, by Takahashi's recursion: every pair of unknowns that share an
// observation, which is all the error ellipses and the redundancy numbers
// need, without the dense inverse.
//
// The half-bandwidth is a constant of the problem (how far one observation
// reaches along the line), so it is one of the type: every loop over the band
// has a fixed length the compiler unrolls. The band runs on past the last
// unknown by that width, zeros that keep the loops at the end the same as
// everywhere else and leave every figure as it was.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <Eigen/Core>

namespace traverse {

template <int HalfBandwidth>
class NormalEquations {
  static_assert(HalfBandwidth >= 0);
  static constexpr int stride = HalfBandwidth + 1;

 public:
  // Equations in `unknowns` unknowns, no rows yet.
  explicit NormalEquations(int unknowns)
      : unknowns_(unknowns),
        band_(Band::Zero(stride, unknowns + HalfBandwidth)),
        rightHandSide_(Eigen::VectorXd::Zero(unknowns + HalfBandwidth)),
        work_(Eigen::VectorXd::Zero(unknowns + HalfBandwidth)) {}

  // Forgets the rows added so far (a new linearisation).
  void Clear() {
    std::fill_n(band_.data(), band_.size(), 0.0);
    std::fill_n(rightHandSide_.data(), rightHandSide_.size(), 0.0);
  }

  // One observation's coefficients for the unknowns first ... first + the
  // half-bandwidth, zero past the last it observes.
  using Row = Eigen::Matrix<double, HalfBandwidth + 1, 1>;

  // Adds one standardised observation equation: its coefficients `c` from
  // unknown `first` on and its misclosure l = (measured - computed) / sigma.
  // Adding the zeros past the row's end leaves N as it was, and keeps every
  // row the band's full width, a loop of fixed length.
  void AddRow(int first, const Row& c, double l) {
    for (int t = 0; t < stride; ++t) {
      rightHandSide_[first + t] += c[t] * l;
      double* column = band_.data() + (first + t) * stride - t;  // row first + s in its row s - t
      for (int s = t; s < stride; ++s) column[s] += c[s] * c[t];
    }
  }

  // Factors N and sets x to the solution of N x = n. False where N is not
  // positive definite (the observations do not fix the unknowns).
  bool Solve(Eigen::VectorXd& x) {
    // L D Lᵀ column by column: column j's pivot and multipliers, then their
    // share taken off the triangle of the band to its right, which is all
    // they reach. Eliminating a column fills nothing outside the band.
    for (int j = 0; j < unknowns_; ++j) {
      double* column = band_.data() + j * stride;
      const double d = column[0];
      // LDLᵀ takes any nonzero pivot; a normal matrix must have positive ones.
      if (!(d > 0)) return false;
      // Copied out, the column is seen not to change under the updates.
      const Column u = Eigen::Map<const Column>(column);
      for (int k = 1; k <= HalfBandwidth; ++k) {
        const double multiplier = u[k] / d;
        double* right = column + k * stride - k;  // column j + k, row j + i in its row i - k
        for (int i = k; i <= HalfBandwidth; ++i) right[i] -= u[i] * multiplier;
        column[k] = multiplier;
      }
    }
    // L y = n, then D z = y, then Lᵀ x = z, each within the band.
    work_ = rightHandSide_;
    double* solution = work_.data();
    for (int j = 0; j < unknowns_; ++j) {
      const double* column = band_.data() + j * stride;
      for (int k = 1; k <= HalfBandwidth; ++k) solution[j + k] -= column[k] * solution[j];
    }
    for (int j = 0; j < unknowns_; ++j) solution[j] /= band_.data()[j * stride];
    for (int j = unknowns_ - 1; j >= 0; --j) {
      const double* column = band_.data() + j * stride;
      for (int k = 1; k <= HalfBandwidth; ++k) solution[j] -= column[k] * solution[j + k];
    }
    x = work_.head(unknowns_);
    return x.allFinite();
  }

  // Computes the cofactors on the band; after a successful Solve.
  void ComputeCofactors() {
    // Takahashi: Z = N⁻¹ satisfies Z = D⁻¹L⁻¹ + (I - Lᵀ)Z, whose lower
    // triangle is upper triangular in L⁻¹, so column i of Z follows from the
    // columns to its right, read only where column i of L has entries:
    //   Z(j, i) = -sum_k L(k, i) Z(j, k),  Z(i, i) = 1/d_i - sum_k L(k, i) Z(k, i).
    // j and k both lie within the band below i, so Z(j, k) lies within it.
    cofactors_.setZero(stride, unknowns_ + HalfBandwidth);
    for (int i = unknowns_ - 1; i >= 0; --i) {
      const Column l = Eigen::Map<const Column>(band_.data() + i * stride);
      double* z = cofactors_.data() + i * stride;
      for (int p = 1; p <= HalfBandwidth; ++p) {
        // Z(i + p, i + q): below the diagonal in column i + q while q <= p,
        // then, by symmetry, in column i + p.
        double sum = 0;
        for (int q = 1; q <= p; ++q) sum += l[q] * z[q * stride + p - q];
        for (int q = p + 1; q <= HalfBandwidth; ++q) sum += l[q] * z[p * stride + q - p];
        z[p] = -sum;
      }
      double sum = 0;
      for (int q = 1; q <= HalfBandwidth; ++q) sum += l[q] * z[q];
      z[0] = 1 / l[0] - sum;
    }
  }

  // Q_xx(i, j) for unknowns i and j within the band (every pair that shares
  // an observation); after ComputeCofactors.
  double Cofactor(int i, int j) const {
    if (i < j) std::swap(i, j);
    if (i - j > HalfBandwidth)
      throw std::logic_error("cofactor asked outside the band of the normal matrix");
    return cofactors_(i - j, j);
  }

 private:
  // Column j holds row j + k of column j in row k, the lower band as LAPACK
  // stores it: N until Solve, then L below the diagonal and D on it.
  using Band = Eigen::Matrix<double, HalfBandwidth + 1, Eigen::Dynamic>;
  using Column = Eigen::Matrix<double, HalfBandwidth + 1, 1>;

  int unknowns_;
  Band band_;
  Eigen::VectorXd rightHandSide_;
  Eigen::VectorXd work_;  // the solution, run on past the last unknown
  Band cofactors_;        // Q_xx on the band, stored like band_
};

}  // namespace traverse
