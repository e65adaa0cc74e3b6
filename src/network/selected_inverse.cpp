#include "network/selected_inverse.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace traverse {

SelectedInverse::SelectedInverse(const Eigen::SparseMatrix<double>& l, const Eigen::VectorXd& d)
    : l_(l),
      below_(static_cast<std::size_t>(l.nonZeros())),
      diagonal_(static_cast<std::size_t>(d.size())) {
  // Z = D⁻¹L⁻¹ + (I - Lᵀ)Z, and L⁻¹ is unit lower triangular, so on and
  // below the diagonal
  //   Z(i, j) = -sum_k L(k, j) Z(i, k),  Z(j, j) = 1/d_j - sum_k L(k, j) Z(k, j),
  // k over the rows of column j of L. Both i and k lie in that column, and
  // the rows of column j past k all lie in column k (elimination fills
  // them in), so every Z(i, k) needed is one already worked out in a column
  // to the right: the columns are done from the last to the first.
  const int n = static_cast<int>(d.size());
  const int* start = l.outerIndexPtr();
  const int* row = l.innerIndexPtr();
  const double* value = l.valuePtr();
  // Where each row of the current column sits in it (-1: not in it), and
  // the sums for its entries, scattered densely so that a walk down another
  // column finds its matches without a search.
  std::vector<int> slot(static_cast<std::size_t>(n), -1);
  std::vector<double> sum;
  for (int j = n - 1; j >= 0; --j) {
    const int begin = start[j], end = start[j + 1];
    sum.assign(static_cast<std::size_t>(end - begin), 0.0);
    for (int p = begin; p < end; ++p) slot[static_cast<std::size_t>(row[p])] = p - begin;
    const int last = end > begin ? row[end - 1] : -1;
    for (int p = begin; p < end; ++p) {
      const int k = row[p];
      const double lkj = value[p];
      double& zk = sum[static_cast<std::size_t>(p - begin)];
      zk += lkj * diagonal_[static_cast<std::size_t>(k)];
      // Z(r, k) below the diagonal of column k, for the rows r of column j:
      // it serves Z(r, j) through L(k, j) and Z(k, j) through L(r, j).
      // Where column k holds just the rows of column j past k (consecutive
      // columns of one clique, most of them after AMD), the two run in step.
      if (start[k + 1] - start[k] == end - p - 1) {
        for (int q = start[k], r = p + 1; r < end; ++q, ++r) {
          const double zrk = below_[static_cast<std::size_t>(q)];
          sum[static_cast<std::size_t>(r - begin)] += lkj * zrk;
          zk += value[r] * zrk;
        }
        continue;
      }
      for (int q = start[k]; q < start[k + 1] && row[q] <= last; ++q) {
        const int s = slot[static_cast<std::size_t>(row[q])];
        if (s < 0) continue;
        const double zrk = below_[static_cast<std::size_t>(q)];
        sum[static_cast<std::size_t>(s)] += lkj * zrk;
        zk += value[begin + s] * zrk;
      }
    }
    double diagonalSum = 0;
    for (int p = begin; p < end; ++p) {
      const double z = -sum[static_cast<std::size_t>(p - begin)];
      below_[static_cast<std::size_t>(p)] = z;
      diagonalSum += value[p] * z;
      slot[static_cast<std::size_t>(row[p])] = -1;
    }
    diagonal_[static_cast<std::size_t>(j)] = 1 / d[j] - diagonalSum;
  }
}

bool SelectedInverse::Holds(int i, int j) const {
  if (i == j) return true;
  if (i < j) std::swap(i, j);
  const int* rows = l_.innerIndexPtr();
  const int* begin = rows + l_.outerIndexPtr()[j];
  const int* end = rows + l_.outerIndexPtr()[j + 1];
  const int* at = std::lower_bound(begin, end, i);
  return at != end && *at == i;
}

double SelectedInverse::operator()(int i, int j) const {
  if (i == j) return diagonal_[static_cast<std::size_t>(i)];
  if (i < j) std::swap(i, j);
  const int* rows = l_.innerIndexPtr();
  const int* begin = rows + l_.outerIndexPtr()[j];
  const int* end = rows + l_.outerIndexPtr()[j + 1];
  const int* at = std::lower_bound(begin, end, i);
  if (at == end || *at != i)
    throw std::logic_error("cofactor asked outside the pattern of the factor");
  return below_[static_cast<std::size_t>(at - rows)];
}

}  // namespace traverse
