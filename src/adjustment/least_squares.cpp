#include "adjustment/least_squares.hpp"

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "adjustment/chi_square.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/normal_equations.hpp"

namespace traverse {
namespace {

constexpr double gonPerRadian = 63.661977236758134308;
constexpr double largestStep = 1e-5;  // 0.01 mm: no coordinate moves more, the iteration stops
constexpr int iterationLimit = 20;
// Baarda's critical value: two-sided, 0.1 % for one observation.
constexpr double criticalW = 3.29;
// Below this redundancy number an observation is uncontrolled: its residual
// is zero whatever its error, and w would be 0/0.
constexpr double uncontrolled = 1e-10;
// An angle links three consecutive points, the x of the back point and the y
// of the forward one five unknowns apart; no observation reaches further.
constexpr int halfBandwidth = 5;

// The points of a traverse in order, A, B, the new points, C, D, with the
// new points' coordinates as the unknowns: x of new point k is unknown 2k,
// y is 2k + 1. In a loop C and D are B and A again, known all the same.
struct Traverse {
  std::vector<GridPoint> points;
  int newPoints = 0;
  int angles = 0;
  int legs = 0;

  static constexpr int firstNew = 2;  // after A and B
  int Unknown(int point) const {
    return point >= firstNew && point < firstNew + newPoints ? 2 * (point - firstNew) : -1;
  }
};

// One observation equation at the current coordinates: the computed value
// and its partial derivatives for the x and y of up to three points (back,
// station, forward for an angle; from, to for a length).
struct ObservationRow {
  std::array<int, 6> unknown{-1, -1, -1, -1, -1, -1};
  std::array<double, 6> a{};
  double computed = 0;
  double measured = 0;
  double sigma = 0;
};

Traverse LayOut(const Job& job, const std::vector<GridPoint>& start) {
  if (job.kind == TraverseKind::Open)
    throw JobError(0,
                   "least squares needs a traverse that ends on a known point: "
                   "an open traverse has no redundancy");
  Traverse traverse;
  traverse.angles = static_cast<int>(job.angles.size());
  traverse.legs = LegCount(job.kind, traverse.angles);
  traverse.newPoints = NewPointCount(job.kind, traverse.angles);
  if (traverse.newPoints < 0 || static_cast<int>(job.lengths.size()) != traverse.legs ||
      static_cast<int>(start.size()) != traverse.newPoints)
    throw std::invalid_argument("least squares: the counts of angles, lengths and points disagree");
  traverse.points.push_back(job.a);
  traverse.points.push_back(job.b);
  traverse.points.insert(traverse.points.end(), start.begin(), start.end());
  traverse.points.push_back(job.kind == TraverseKind::Loop ? job.b : job.c);
  traverse.points.push_back(job.kind == TraverseKind::Loop ? job.a : job.d);
  return traverse;
}

// Sets slots `at` and `at + 1` of the row to the unknowns of point `point`.
void Name(ObservationRow& row, const Traverse& traverse, std::size_t at, int point) {
  const int unknown = traverse.Unknown(point);
  row.unknown[at] = unknown;
  row.unknown[at + 1] = unknown < 0 ? -1 : unknown + 1;
}

// The angle at point `station` (back point before it, forward point after),
// in gon, reduced by whole turns to lie next to the measured value.
ObservationRow AngleRow(const Traverse& traverse, int station, double measured, bool left,
                        double sigma) {
  ObservationRow row;
  Name(row, traverse, 0, station - 1);
  Name(row, traverse, 2, station);
  Name(row, traverse, 4, station + 1);
  const GridPoint& k = traverse.points[static_cast<std::size_t>(station)];
  const double sign = left ? 1 : -1;  // left: t(k->f) - t(k->b); right: the reverse
  double angle = 0;
  // d t(k->p) / d(xp, yp) = (-dy, dx) / s², and the opposite for k; in gon.
  for (int side = 0; side < 2; ++side) {
    const GridPoint& p = traverse.points[static_cast<std::size_t>(station + (side ? 1 : -1))];
    const double dx = p.x - k.x, dy = p.y - k.y;
    const double s2 = dx * dx + dy * dy;
    const double towards = side ? sign : -sign;  // + for the forward bearing
    angle += towards * std::atan2(dy, dx) * gonPerRadian;
    const std::size_t at = side ? 4 : 0;
    row.a[at] += towards * -dy / s2 * gonPerRadian;
    row.a[at + 1] += towards * dx / s2 * gonPerRadian;
    row.a[2] -= towards * -dy / s2 * gonPerRadian;
    row.a[3] -= towards * dx / s2 * gonPerRadian;
  }
  row.computed = angle + 400 * std::round((measured - angle) / 400);
  row.measured = measured;
  row.sigma = sigma;
  return row;
}

// The length from point `from` to the next one, in metres.
ObservationRow LengthRow(const Traverse& traverse, int from, double measured, double sigma) {
  ObservationRow row;
  Name(row, traverse, 0, from);
  Name(row, traverse, 2, from + 1);
  const GridPoint& p = traverse.points[static_cast<std::size_t>(from)];
  const GridPoint& q = traverse.points[static_cast<std::size_t>(from + 1)];
  const double dx = q.x - p.x, dy = q.y - p.y;
  const double s = std::hypot(dx, dy);
  row.a = {-dx / s, -dy / s, dx / s, dy / s, 0, 0};
  row.computed = s;
  row.measured = measured;
  row.sigma = sigma;
  return row;
}

// Every observation equation at the traverse's current coordinates: the
// angles in the order typed, then the lengths.
std::vector<ObservationRow> Linearise(const Job& job, const Traverse& traverse) {
  std::vector<ObservationRow> rows;
  rows.reserve(static_cast<std::size_t>(traverse.angles + traverse.legs));
  for (int i = 0; i < traverse.angles; ++i)
    rows.push_back(AngleRow(traverse, 1 + i, job.angles[static_cast<std::size_t>(i)],
                            job.leftAngles, job.sigmas.angleGon));
  for (int j = 0; j < traverse.legs; ++j) {
    const double length = job.lengths[static_cast<std::size_t>(j)] * job.scale;
    const double sigma = job.sigmas.lengthMetres + job.sigmas.lengthPpm * 1e-6 * length;
    rows.push_back(LengthRow(traverse, 1 + j, length, sigma));
  }
  return rows;
}

// Fills the normal equations with the standardised rows.
void Accumulate(NormalEquations& normals, const std::vector<ObservationRow>& rows) {
  normals.Clear();
  for (const ObservationRow& row : rows) {
    std::array<int, 6> unknowns{};
    std::array<double, 6> coefficients{};
    std::size_t count = 0;
    for (std::size_t s = 0; s < row.unknown.size(); ++s)
      if (row.unknown[s] >= 0) {
        unknowns[count] = row.unknown[s];
        coefficients[count++] = row.a[s] / row.sigma;
      }
    normals.AddRow(std::span(unknowns.data(), count), std::span(coefficients.data(), count),
                   (row.measured - row.computed) / row.sigma);
  }
}

void Factor(NormalEquations& normals, Eigen::VectorXd& dx) {
  if (!normals.Solve(dx))
    throw JobError(0,
                   "least squares: the observations do not fix the new points "
                   "(the normal equations are singular)");
}

// sx, sy and the standard error ellipse of one new point from its 2x2 block
// of the cofactors, scaled by the a-posteriori variance factor.
PointPrecision Precision(double qxx, double qyy, double qxy, double variance) {
  PointPrecision precision;
  precision.sx = std::sqrt(std::max(0.0, variance * qxx));
  precision.sy = std::sqrt(std::max(0.0, variance * qyy));
  const double mean = (qxx + qyy) / 2;
  const double radius = std::hypot((qxx - qyy) / 2, qxy);
  precision.a = std::sqrt(std::max(0.0, variance * (mean + radius)));
  precision.b = std::sqrt(std::max(0.0, variance * (mean - radius)));
  // The major axis makes 2 phi = atan2(2 qxy, qxx - qyy) with +X, clockwise
  // towards +Y as bearings run.
  double bearing = std::atan2(2 * qxy, qxx - qyy) / 2 * gonPerRadian;
  if (bearing < 0) bearing += 200;
  if (bearing >= 200) bearing -= 200;
  precision.bearing = bearing;
  return precision;
}

}  // namespace

LeastSquaresResult AdjustLeastSquares(const Job& job, const std::vector<GridPoint>& start) {
  Traverse traverse = LayOut(job, start);
  const int unknowns = 2 * traverse.newPoints;
  NormalEquations normals(unknowns, halfBandwidth);
  LeastSquaresResult result;

  // Gauss-Newton: linearise at the current coordinates, solve for the
  // corrections, apply them, until no coordinate moves by more than 0.01 mm.
  Eigen::VectorXd dx;
  result.converged = unknowns == 0;
  while (!result.converged && result.iterations < iterationLimit) {
    Accumulate(normals, Linearise(job, traverse));
    Factor(normals, dx);
    for (int k = 0; k < traverse.newPoints; ++k) {
      GridPoint& point = traverse.points[static_cast<std::size_t>(Traverse::firstNew + k)];
      point.x += dx[2 * k];
      point.y += dx[2 * k + 1];
    }
    ++result.iterations;
    result.converged = dx.lpNorm<Eigen::Infinity>() <= largestStep;
  }

  // The residuals at the final coordinates themselves; the cofactors from the
  // last factor, linearised at most 0.01 mm away, as good to many figures.
  const std::vector<ObservationRow> rows = Linearise(job, traverse);
  if (result.iterations == 0) {
    Accumulate(normals, rows);
    Factor(normals, dx);
  }
  normals.ComputeCofactors();

  result.redundancy = static_cast<int>(rows.size()) - unknowns;
  double vTPv = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ObservationRow& row = rows[i];
    ObservationResult observation;
    const bool angle = i < static_cast<std::size_t>(traverse.angles);
    observation.ref.kind = angle ? ObservationKind::Angle : ObservationKind::Length;
    observation.ref.index =
        angle ? static_cast<int>(i) + 1 : static_cast<int>(i) - traverse.angles + 1;
    observation.measured = row.measured;
    observation.residual = row.computed - row.measured;
    observation.sigma = row.sigma;
    // (A N⁻¹ Aᵀ)_ii of the standardised row; its complement is the redundancy
    // number, the share of an error in this observation its residual shows.
    double controlled = 0;
    for (std::size_t s = 0; s < row.unknown.size(); ++s)
      for (std::size_t t = 0; t < row.unknown.size(); ++t)
        if (row.unknown[s] >= 0 && row.unknown[t] >= 0)
          controlled += row.a[s] * row.a[t] * normals.Cofactor(row.unknown[s], row.unknown[t]);
    const double redundancyNumber = 1 - controlled / (row.sigma * row.sigma);
    const double standardised = observation.residual / row.sigma;
    if (redundancyNumber > uncontrolled) {
      observation.redundancyNumber = redundancyNumber;
      observation.w = standardised / std::sqrt(redundancyNumber);
    }
    vTPv += standardised * standardised;
    result.observations.push_back(observation);
  }

  result.sigma0 = std::sqrt(vTPv / result.redundancy);
  result.globalTest.value = vTPv;
  result.globalTest.lower = ChiSquareQuantile(0.025, result.redundancy);
  result.globalTest.upper = ChiSquareQuantile(0.975, result.redundancy);
  result.globalTest.passed = result.globalTest.lower <= vTPv && vTPv <= result.globalTest.upper;

  const double variance = result.sigma0 * result.sigma0;
  for (int k = 0; k < traverse.newPoints; ++k) {
    result.points.push_back(traverse.points[static_cast<std::size_t>(Traverse::firstNew + k)]);
    result.precision.push_back(Precision(normals.Cofactor(2 * k, 2 * k),
                                         normals.Cofactor(2 * k + 1, 2 * k + 1),
                                         normals.Cofactor(2 * k + 1, 2 * k), variance));
  }
  return result;
}

std::optional<Suspect> FindSuspect(const LeastSquaresResult& result) {
  const ObservationResult* largest = nullptr;
  for (const ObservationResult& observation : result.observations)
    if (!largest || std::fabs(observation.w) > std::fabs(largest->w)) largest = &observation;
  if (!largest || !(std::fabs(largest->w) > criticalW)) return std::nullopt;
  Suspect suspect{largest->ref, largest->w, {}};
  // Observations that the traverse checks alike (two angles at either end of
  // a short leg, say) have near-equal w; the largest alone would be a guess.
  for (const ObservationResult& observation : result.observations)
    if (&observation != largest && std::fabs(observation.w) >= 0.95 * std::fabs(largest->w))
      suspect.alternatives.push_back(observation.ref);
  return suspect;
}

}  // namespace traverse
