#include "adjustment/least_squares.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "adjustment/job_error.hpp"
#include "adjustment/normal_equations.hpp"
#include "adjustment/data_snooping.hpp"
#include "adjustment/precision.hpp"

namespace traverse {
namespace {

constexpr double gonPerRadian = 63.661977236758134308;
constexpr double largestStep = 1e-5;  // 0.01 mm: no coordinate moves more, the iteration stops
constexpr int iterationLimit = 20;
// An angle links three consecutive points, the x of the back point and the y
// of the forward one five unknowns apart; no observation reaches further.
using Normals = NormalEquations<5>;

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
// and its partial derivatives for the x and y of those of its points (back,
// station, forward for an angle; from, to for a length) that are new, in
// that order, so the unknowns ascend.
struct ObservationRow {
  std::array<int, 6> unknown{};
  std::array<double, 6> a{};
  std::size_t count = 0;
  double computed = 0;
  double measured = 0;
  double sigma = 0;

  // The derivatives for a point whose x is unknown `x` (none where -1).
  void Add(int x, double ax, double ay) {
    if (x < 0) return;
    unknown[count] = x;
    unknown[count + 1] = x + 1;
    a[count] = ax;
    a[count + 1] = ay;
    count += 2;
  }
};

// The line from one point of the traverse to the next at the current
// coordinates, with the derivatives of its bearing by the x and y of its end
// point, in gon: d t / d(x, y) = (-dy, dx) / s², and the opposite for its
// start point.
struct Leg {
  double dx = 0, dy = 0;
  double squared = 0;  // dx² + dy²
  double tx = 0, ty = 0;
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

// The angle at point `station` from the legs into and out of it, in gon,
// reduced by whole turns to lie next to the measured value.
ObservationRow AngleRow(const Traverse& traverse, int station, const Leg& in, const Leg& out,
                        double measured, bool left, double sigma) {
  // left: t(k->f) - t(k->b); right: the reverse. Each bearing by its own arc
  // tangent, of k->b = -in and k->f = out, as the figures have always been.
  const double sign = left ? 1 : -1;
  const double angle = -sign * std::atan2(-in.dy, -in.dx) * gonPerRadian +
                       sign * std::atan2(out.dy, out.dx) * gonPerRadian;
  // t(k->b) is the bearing of `in` turned half round: by b, the opposite of
  // `in`'s derivatives by its end point k.
  ObservationRow row;
  const double bx = sign * in.tx, by = sign * in.ty;
  const double fx = sign * out.tx, fy = sign * out.ty;
  row.Add(traverse.Unknown(station - 1), bx, by);
  row.Add(traverse.Unknown(station), -bx - fx, -by - fy);
  row.Add(traverse.Unknown(station + 1), fx, fy);
  row.computed = angle + 400 * std::round((measured - angle) / 400);
  row.measured = measured;
  row.sigma = sigma;
  return row;
}

// The length of the leg from point `from` to the next one, in metres.
ObservationRow LengthRow(const Traverse& traverse, int from, const Leg& leg, double measured,
                         double sigma) {
  const double s = std::hypot(leg.dx, leg.dy);
  ObservationRow row;
  row.Add(traverse.Unknown(from), -leg.dx / s, -leg.dy / s);
  row.Add(traverse.Unknown(from + 1), leg.dx / s, leg.dy / s);
  row.computed = s;
  row.measured = measured;
  row.sigma = sigma;
  return row;
}

// Every observation equation at the traverse's current coordinates: the
// angles in the order typed, then the lengths. Each leg is worked out once
// for the two angles and the length that share it; `legs` and `rows` are
// refilled, their storage kept from one iteration to the next.
void Linearise(const Job& job, const Traverse& traverse, std::vector<Leg>& legs,
               std::vector<ObservationRow>& rows) {
  // Without orientation at C, C to D is no leg of the traverse: D may be C.
  legs.resize(static_cast<std::size_t>(std::max(traverse.angles, traverse.legs) + 1));
  for (std::size_t p = 0; p < legs.size(); ++p) {
    Leg& leg = legs[p];
    leg.dx = traverse.points[p + 1].x - traverse.points[p].x;
    leg.dy = traverse.points[p + 1].y - traverse.points[p].y;
    leg.squared = leg.dx * leg.dx + leg.dy * leg.dy;
    leg.tx = -leg.dy / leg.squared * gonPerRadian;
    leg.ty = leg.dx / leg.squared * gonPerRadian;
  }
  rows.clear();
  for (int i = 0; i < traverse.angles; ++i) {
    const std::size_t station = static_cast<std::size_t>(1 + i);
    rows.push_back(AngleRow(traverse, 1 + i, legs[station - 1], legs[station],
                            job.angles[static_cast<std::size_t>(i)], job.leftAngles,
                            job.sigmas.angleGon));
  }
  for (int j = 0; j < traverse.legs; ++j) {
    const double length = job.lengths[static_cast<std::size_t>(j)] * job.scale;
    const double sigma = job.sigmas.lengthMetres + job.sigmas.lengthPpm * 1e-6 * length;
    rows.push_back(
        LengthRow(traverse, 1 + j, legs[static_cast<std::size_t>(1 + j)], length, sigma));
  }
}

// Fills the normal equations with the standardised rows.
void Accumulate(Normals& normals, const std::vector<ObservationRow>& rows) {
  normals.Clear();
  for (const ObservationRow& row : rows) {
    if (row.count == 0) continue;  // an angle or length between known points
    Normals::Row coefficients = Normals::Row::Zero();
    for (std::size_t s = 0; s < row.count; ++s)
      coefficients[static_cast<Eigen::Index>(s)] = row.a[s] / row.sigma;
    normals.AddRow(row.unknown[0], coefficients,
                   (row.measured - row.computed) / row.sigma);
  }
}

// The global test. Its bounds, two chi-square quantiles, cost more than the
// rest of a traverse's statistics and depend on the redundancy alone, which
// the traverses of a book mostly share: those of the last redundancy are kept.
GlobalTest TestGloballyKeepingBounds(double vTPv, int redundancy) {
  static bool known = false;
  static int knownRedundancy = 0;
  static GlobalTest bounds;
  if (!known || redundancy != knownRedundancy) {
    bounds = TestGlobally(vTPv, redundancy);
    known = true;
    knownRedundancy = redundancy;
    return bounds;
  }
  GlobalTest test = bounds;
  test.value = vTPv;
  test.passed = test.lower <= vTPv && vTPv <= test.upper;
  return test;
}

void Factor(Normals& normals, Eigen::VectorXd& dx) {
  if (!normals.Solve(dx))
    throw JobError(0,
                   "least squares: the observations do not fix the new points "
                   "(the normal equations are singular)");
}

}  // namespace

LeastSquaresResult AdjustLeastSquares(const Job& job, const std::vector<GridPoint>& start) {
  Traverse traverse = LayOut(job, start);
  const int unknowns = 2 * traverse.newPoints;
  Normals normals(unknowns);
  LeastSquaresResult result;

  // Gauss-Newton: linearise at the current coordinates, solve for the
  // corrections, apply them, until no coordinate moves by more than 0.01 mm.
  Eigen::VectorXd dx;
  std::vector<Leg> legs;
  std::vector<ObservationRow> rows;
  rows.reserve(static_cast<std::size_t>(traverse.angles + traverse.legs));
  result.converged = unknowns == 0;
  while (!result.converged && result.iterations < iterationLimit) {
    Linearise(job, traverse, legs, rows);
    Accumulate(normals, rows);
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
  Linearise(job, traverse, legs, rows);
  if (result.iterations == 0) {
    Accumulate(normals, rows);
    Factor(normals, dx);
  }
  normals.ComputeCofactors();

  result.redundancy = static_cast<int>(rows.size()) - unknowns;
  result.observations.reserve(rows.size());
  result.points.reserve(static_cast<std::size_t>(traverse.newPoints));
  result.precision.reserve(static_cast<std::size_t>(traverse.newPoints));
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
    double controlled = 0;  // a Q_xx aᵀ
    for (std::size_t s = 0; s < row.count; ++s)
      for (std::size_t t = 0; t < row.count; ++t)
        controlled += row.a[s] * row.a[t] * normals.Cofactor(row.unknown[s], row.unknown[t]);
    const ObservationTest test = TestObservation(observation.residual, row.sigma, controlled);
    observation.redundancyNumber = test.redundancyNumber;
    observation.w = test.w.value_or(0);
    const double standardised = observation.residual / row.sigma;
    vTPv += standardised * standardised;
    result.observations.push_back(observation);
  }

  result.sigma0 = std::sqrt(vTPv / result.redundancy);
  result.globalTest = TestGloballyKeepingBounds(vTPv, result.redundancy);

  const double variance = result.sigma0 * result.sigma0;
  for (int k = 0; k < traverse.newPoints; ++k) {
    result.points.push_back(traverse.points[static_cast<std::size_t>(Traverse::firstNew + k)]);
    result.precision.push_back(ErrorEllipse(normals.Cofactor(2 * k, 2 * k),
                                            normals.Cofactor(2 * k + 1, 2 * k + 1),
                                            normals.Cofactor(2 * k + 1, 2 * k), variance));
  }
  return result;
}

std::optional<Suspect> FindSuspect(const LeastSquaresResult& result) {
  std::vector<std::optional<double>> w;
  w.reserve(result.observations.size());
  for (const ObservationResult& observation : result.observations) w.push_back(observation.w);
  const std::optional<SuspectIndices> found = FindSuspectAmong(w);
  if (!found) return std::nullopt;
  Suspect suspect{result.observations[found->largest].ref, result.observations[found->largest].w, {}};
  for (std::size_t i : found->alternatives) suspect.alternatives.push_back(result.observations[i].ref);
  return suspect;
}

}  // namespace traverse
