// The cofactors Q = N⁻¹ of a sparse normal matrix inside the pattern of its
// factor, by Takahashi's recursion: every pair of unknowns that share an
// observation lies in that pattern, which is all the error ellipses and the
// redundancy numbers need, at the cost of about one more factorisation
// instead of the dense inverse or a solve per column.
#pragma once

#include <vector>

#include <Eigen/SparseCore>

namespace traverse {

class SelectedInverse {
 public:
  // From the factor P N Pᵀ = L D Lᵀ: L unit lower triangular, held without
  // its diagonal column by column with the rows of each column ascending (as
  // Eigen's SimplicialLDLT keeps it), and D. `l` must outlive this object:
  // its pattern is the index of the cofactors.
  SelectedInverse(const Eigen::SparseMatrix<double>& l, const Eigen::VectorXd& d);

  // Z(i, j) of Z = (P N Pᵀ)⁻¹, in the factor's order, for i = j or (i, j)
  // within the pattern of L + Lᵀ; throws std::logic_error elsewhere.
  double operator()(int i, int j) const;

  // Whether Z(i, j) is held: i = j, or (i, j) within the pattern.
  bool Holds(int i, int j) const;

 private:
  const Eigen::SparseMatrix<double>& l_;
  std::vector<double> below_;  // Z below the diagonal, entry by entry as in L
  std::vector<double> diagonal_;
};

}  // namespace traverse
