#include "adjustment/least_squares.hpp"

#include <stdexcept>
#include <utility>

#include "adjustment/job_error.hpp"
#include "network/gauss_newton.hpp"
#include "network/normal_equations.hpp"

namespace traverse {
namespace {

// An angle links three consecutive points, the x of the back point and the y
// of the forward one five unknowns apart; no observation reaches further.
using Normals = NormalEquations<5>;

[[noreturn]] void Singular() {
  throw JobError(0,
                 "least squares: the observations do not fix the new points "
                 "(the normal equations are singular)");
}

// One traverse as observation equations on the band: its points in order,
// A, B, the new points, C, D (in a loop C and D are B and A again, known all
// the same), the new points' x and y the unknowns in that order; the angles
// in the order typed, then the lengths. The System of AdjustByGaussNewton.
class Band {
 public:
  Band(const Job& job, const std::vector<GridPoint>& start)
      : normals_(2 * static_cast<int>(start.size())) {
    if (job.kind == TraverseKind::Open)
      throw JobError(0,
                     "least squares needs a traverse that ends on a known point: "
                     "an open traverse has no redundancy");
    const int angles = static_cast<int>(job.angles.size());
    const int legs = LegCount(job.kind, angles);
    const int newPoints = NewPointCount(job.kind, angles);
    if (newPoints < 0 || static_cast<int>(job.lengths.size()) != legs ||
        static_cast<int>(start.size()) != newPoints)
      throw std::invalid_argument(
          "least squares: the counts of angles, lengths and points disagree");
    const bool loop = job.kind == TraverseKind::Loop;
    points_.reserve(start.size() + 4);
    points_ = {job.a, job.b};
    points_.insert(points_.end(), start.begin(), start.end());
    points_.push_back(loop ? job.b : job.c);
    points_.push_back(loop ? job.a : job.d);
    index_ = UnknownIndex(points_.size());
    index_.Reserve(2 * start.size());
    for (int k = 0; k < newPoints; ++k) {
      index_.Add(firstNew + k, Unknown::X);
      index_.Add(firstNew + k, Unknown::Y);
    }
    observations_.reserve(static_cast<std::size_t>(angles + legs));
    for (int i = 0; i < angles; ++i) {
      observations_.push_back(TraverseAngle(i, i + 1, i + 2, job.leftAngles,
                                            job.angles[static_cast<std::size_t>(i)].value,
                                            job.settings.sigmas.angleGon));
      observations_.back().behind = i;
    }
    for (int j = 0; j < legs; ++j) {
      const double length =
          GridLength(job.lengths[static_cast<std::size_t>(j)].value, job.settings.scale);
      const double sigma = LengthSigma(job.settings.sigmas, length);
      observations_.push_back({ObservationKind::Distance, -1, j + 1, j + 2, length, sigma});
    }
    rows_.resize(observations_.size());
  }

  static constexpr int firstNew = 2;  // after A and B

  int Unknowns() const { return index_.size(); }
  int Redundancy() const { return static_cast<int>(observations_.size()) - Unknowns(); }
  std::size_t Observations() const { return observations_.size(); }
  const GridPoint& Point(int p) const { return points_[static_cast<std::size_t>(p)]; }

  void Linearise() {
    try {
      // The terms in the order of the unknowns, as the band takes them; the
      // sums over a row then run as they always have, to the last bit.
      for (std::size_t i = 0; i < observations_.size(); ++i) {
        Equation& row = rows_[i];
        traverse::Linearise(observations_[i], points_, index_, row);
        // At most three pairs, all but in order: insertion beats a general sort.
        for (std::size_t s = 1; s < row.count; ++s)
          for (std::size_t t = s; t > 0 && row.terms[t].unknown < row.terms[t - 1].unknown; --t)
            std::swap(row.terms[t], row.terms[t - 1]);
      }
    } catch (const PointsInOnePlace&) {
      Singular();
    }
  }

  void Solve(Eigen::VectorXd& dx) {
    normals_.Clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      const Equation& row = rows_[i];
      if (row.count == 0) continue;  // an angle or length between known points
      const double sigma = observations_[i].sigma;
      const int first = row.terms[0].unknown;
      Normals::Row coefficients = Normals::Row::Zero();
      for (std::size_t s = 0; s < row.count; ++s)
        coefficients[row.terms[s].unknown - first] = row.terms[s].a / sigma;
      normals_.AddRow(first, coefficients, (observations_[i].value - row.computed) / sigma);
    }
    if (!normals_.Solve(dx)) Singular();
    factored_ = true;
  }

  double Move(const Eigen::VectorXd& dx) {
    for (int u = 0; u < Unknowns(); ++u) {
      GridPoint& point = points_[static_cast<std::size_t>(index_.Owner(u))];
      (index_.Kind(u) == Unknown::X ? point.x : point.y) += dx[u];
    }
    return dx.lpNorm<Eigen::Infinity>();
  }

  void ComputeCofactors() {
    if (!factored_) {
      Eigen::VectorXd dx;
      Solve(dx);
    }
    normals_.ComputeCofactors();
  }

  const Term* RowBegin(std::size_t i) const { return rows_[i].terms.data(); }
  const Term* RowEnd(std::size_t i) const { return rows_[i].terms.data() + rows_[i].count; }
  double Computed(std::size_t i) const { return rows_[i].computed; }
  double Measured(std::size_t i) const { return observations_[i].value; }
  double Sigma(std::size_t i) const { return observations_[i].sigma; }
  double Cofactor(int u, int v) const { return normals_.Cofactor(u, v); }

 private:
  std::vector<GridPoint> points_;
  UnknownIndex index_;
  std::vector<Observation> observations_;
  std::vector<Equation> rows_;
  Normals normals_;  // the x and y of each new point
  bool factored_ = false;
};

}  // namespace

LeastSquaresResult AdjustLeastSquares(const Job& job, const std::vector<GridPoint>& start) {
  Band band(job, start);
  LeastSquaresResult result;
  static_cast<AdjustmentStatistics&>(result) = AdjustByGaussNewton(band, result.observations);
  const std::size_t angles = job.angles.size();
  for (std::size_t i = 0; i < result.observations.size(); ++i) {
    ObservationRef& ref = result.observations[i].ref;
    ref.observation = i;
    ref.kind = i < angles ? ObservationKind::Angle : ObservationKind::Distance;
    ref.index = static_cast<int>(i < angles ? i + 1 : i - angles + 1);
  }
  const double variance = result.sigma0 * result.sigma0;
  const int newPoints = band.Unknowns() / 2;
  result.points.reserve(static_cast<std::size_t>(newPoints));
  result.precision.reserve(static_cast<std::size_t>(newPoints));
  for (int k = 0; k < newPoints; ++k) {
    result.points.push_back(band.Point(Band::firstNew + k));
    result.precision.push_back(ErrorEllipse(band.Cofactor(2 * k, 2 * k),
                                            band.Cofactor(2 * k + 1, 2 * k + 1),
                                            band.Cofactor(2 * k + 1, 2 * k), variance));
  }
  return result;
}

}  // namespace traverse
