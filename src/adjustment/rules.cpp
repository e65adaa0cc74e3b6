#include "adjustment/rules.hpp"

#include <cmath>
#include <string>

#include "failure/computation_guard.hpp"
#include "adjustment/closure.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/least_squares.hpp"
#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "traverse/angular_closure.hpp"
#include "traverse/grid_bearing.hpp"
#include "traverse/linear_closure.hpp"
#include "traverse/traverse.hpp"

namespace traverse {
namespace {

bool Coincide(const GridPoint& p, const GridPoint& q) {
  return p.x == q.x && p.y == q.y;
}

int NewPointCount(const Job& job) {
  return NewPointCount(job.kind, static_cast<int>(job.angles.size()));
}

// What the computations cannot take, said before they fail on it.
void CheckJob(const Job& job) {
  const std::size_t n = job.angles.size();
  // The dialogue's record has room for far more than its 8-bit count of 255
  // angles: the count is the dialogue's limit, not the computations'.
  if (n < (ClosesOnD(job.kind) ? 2u : 1u) || n >= TableCapacity ||
      static_cast<int>(job.lengths.size()) != LegCount(job.kind, static_cast<int>(n)))
    throw JobError(0, "the numbers of angles and lengths do not fit the kind of traverse");
  if (!(job.settings.scale > 0) || !std::isfinite(job.settings.scale))
    throw JobError(0, "the scale factor must be a positive number");
  if (Coincide(job.a, job.b))
    throw JobError(0, "points A and B coincide: there is no start bearing");
  if (ClosesOnD(job.kind) && Coincide(job.c, job.d))
    throw JobError(0, "points C and D coincide: there is no end bearing");
}

// The dialogue's own computations on the dialogue's record, which this mode
// has to itself: the angles closed on D's bearing where there is one, the
// increments, and the compass rule's corrected increments where there is a C.
void RunCompassRule(const Job& job, TTraverse& t) {
  const int n = static_cast<int>(job.angles.size());
  const int legs = static_cast<int>(job.lengths.size());
  t.XA = job.a.x;
  t.YA = job.a.y;
  t.XB = job.b.x;
  t.YB = job.b.y;
  t.XC = job.c.x;
  t.YC = job.c.y;
  t.XD = job.d.x;
  t.YD = job.d.y;
  t.AngleSide = job.leftAngles ? "left" : "right";

  CoordinateDifferences(t.XA, t.YA, t.XB, t.YB, t.DxAB, t.DyAB);
  t.BearingAB = job.startBearing ? *job.startBearing : GridBearing(t.DxAB, t.DyAB);
  t.MeasuredAngleSum = 0;
  for (int i = 1; i <= n; ++i) {
    t.MeasuredAngle[i] = job.angles[static_cast<std::size_t>(i - 1)].value;
    t.MeasuredAngleSum = RunningSum(t.MeasuredAngleSum, t.MeasuredAngle[i]);
  }
  if (ClosesOnD(job.kind)) {
    CoordinateDifferences(t.XC, t.YC, t.XD, t.YD, t.DxCD, t.DyCD);
    t.BearingCD = job.endBearing ? *job.endBearing : GridBearing(t.DxCD, t.DyCD);
    AdjustAnglesOf(t, n);
  } else {
    // No orientation at C: the angles are used as measured.
    t.TheoreticalAngleSum = 0;
    t.AngularMisclosure = 0;
    t.AngleCorrection = 0;
    PropagateBearings(t, n);
  }

  t.SumLength = 0;
  for (int i = 1; i <= legs; ++i) {
    t.LegLength[i] = StoreReal(Extended(job.lengths[static_cast<std::size_t>(i - 1)].value) *
                               job.settings.scale);
    LegIncrements(t, i);
    t.SumLength = RunningSum(t.SumLength, t.LegLength[i]);
  }

  if (job.kind == TraverseKind::Open) {
    // Nothing to close on: the points follow from the measured values.
    t.PointX[0] = t.XB;
    t.PointY[0] = t.YB;
    for (int i = 1; i <= legs; ++i) {
      t.CorrectedIncrementX[i] = t.IncrementX[i];
      t.CorrectedIncrementY[i] = t.IncrementY[i];
    }
  } else {
    AdjustIncrementsOf(t, legs);
  }
}

// The correction of one axis by the transit rule: -f * |d_i| / sum |d|.
void SpreadByTransit(const double* increments, double* corrected, int legs, double misclosure,
                     char axis) {
  Extended sum = 0;
  for (int i = 1; i <= legs; ++i) sum += std::fabs(increments[i]);
  if (sum == 0 && misclosure != 0)
    throw JobError(0, std::string("the transit rule cannot spread the misclosure in ") + axis +
                          ": no leg has an increment in " + axis);
  for (int i = 1; i <= legs; ++i) {
    const double correction =
        sum == 0 ? 0 : StoreReal(-Extended(misclosure) * std::fabs(increments[i]) / sum);
    corrected[i] = StoreReal(Extended(increments[i]) + correction);
  }
}

void CollectResult(const Job& job, const TTraverse& t, Adjustment& result) {
  const int n = static_cast<int>(job.angles.size());
  const int legs = static_cast<int>(job.lengths.size());
  result.startBearing = t.BearingAB;
  result.measuredAngleSum = t.MeasuredAngleSum;
  if (ClosesOnD(job.kind)) {
    result.endBearing = t.BearingCD;
    result.requiredAngleSum = t.TheoreticalAngleSum;
    result.angularMisclosure = t.AngularMisclosure;
  }
  result.angleCorrection = t.AngleCorrection;
  result.correctedAngles.reserve(static_cast<std::size_t>(n));
  result.legs.reserve(static_cast<std::size_t>(legs));
  result.points.reserve(static_cast<std::size_t>(NewPointCount(job)));
  for (int i = 1; i <= n; ++i) result.correctedAngles.push_back(t.CorrectedAngle[i]);
  for (int i = 1; i <= legs; ++i) {
    AdjustedLeg leg;
    leg.bearing = t.LegBearing[i];
    leg.length = t.LegLength[i];
    leg.dx = t.IncrementX[i];
    leg.dy = t.IncrementY[i];
    leg.cx = static_cast<double>(Extended(t.CorrectedIncrementX[i]) - t.IncrementX[i]);
    leg.cy = static_cast<double>(Extended(t.CorrectedIncrementY[i]) - t.IncrementY[i]);
    result.legs.push_back(leg);
  }
  for (int i = 1; i <= NewPointCount(job); ++i) result.points.push_back({t.PointX[i], t.PointY[i]});
  result.totalLength = t.SumLength;

  if (job.kind == TraverseKind::Open) return;
  LinearMisclosure linear;
  linear.x = t.MisclosureX;
  linear.y = t.MisclosureY;
  linear.length =
      static_cast<double>(std::sqrt(Extended(linear.x) * linear.x + Extended(linear.y) * linear.y));
  if (linear.length > 0) linear.bearing = GridBearing(linear.x, linear.y);
  const Extended lineBC = std::sqrt(Extended(t.DxBC) * t.DxBC + Extended(t.DyBC) * t.DyBC);
  if (lineBC > 0) {
    // Along: on the unit vector from B to C. Across: on that vector turned a
    // quarter turn clockwise, to the right of the direction of travel.
    const Extended ux = t.DxBC / lineBC, uy = t.DyBC / lineBC;
    linear.along = static_cast<double>(linear.x * ux + linear.y * uy);
    linear.across = static_cast<double>(-linear.x * uy + linear.y * ux);
  }
  result.linear = linear;
  if (linear.length > 0)
    result.relativePrecision = static_cast<double>(t.SumLength / Extended(linear.length));
}

// Least squares from the compass points: the rule's own result, or for the
// other rules the blunder search alone.
void RunLeastSquares(const Job& job, Adjustment& result) {
  if (job.kind == TraverseKind::Open) {
    if (job.settings.rule == Rule::LeastSquares) AdjustLeastSquares(job, result.points);  // refuses
    return;
  }
  if (job.settings.rule != Rule::LeastSquares) {
    if (!job.settings.blunderSearch) return;
    // The blunder search only: a traverse it cannot solve still gets its
    // compass or transit report.
    try {
      result.suspect = FindSuspect(AdjustLeastSquares(job, result.points).observations);
    } catch (const JobError& error) {
      result.notes.push_back(std::string("No blunder search: ") + error.what() + ".");
    }
    return;
  }
  LeastSquaresResult ls = AdjustLeastSquares(job, result.points);
  result.suspect = FindSuspect(ls.observations);

  result.points = ls.points;
  for (std::size_t i = 0; i < result.correctedAngles.size(); ++i)
    result.correctedAngles[i] = job.angles[i].value + ls.observations[i].residual;
  // The legs' corrections: the adjusted increments less the raw ones.
  GridPoint from = job.b;
  for (std::size_t i = 0; i < result.legs.size(); ++i) {
    const GridPoint to = i < ls.points.size() ? ls.points[i] : job.c;
    result.legs[i].cx = (to.x - from.x) - result.legs[i].dx;
    result.legs[i].cy = (to.y - from.y) - result.legs[i].dy;
    from = to;
  }
  if (!ls.converged)
    result.notes.push_back("The least-squares iteration did not converge in " +
                           std::to_string(ls.iterations) + " iterations.");
  result.leastSquares = std::move(ls);
}

// A loop's area by the raw increments and by the adjusted points.
LoopArea AreaOfLoop(const GridPoint& first, const Adjustment& result) {
  std::vector<double> dx, dy;
  for (const AdjustedLeg& leg : result.legs) {
    dx.push_back(leg.dx);
    dy.push_back(leg.dy);
  }
  std::vector<GridPoint> adjusted{first};
  adjusted.insert(adjusted.end(), result.points.begin(), result.points.end());
  return {PolygonArea(UnadjustedCorners(first, dx, dy)), PolygonArea(adjusted)};
}

void JudgeTolerances(const Job& job, Adjustment& result) {
  if (job.settings.angularTolerance) {
    if (result.angularMisclosure) {
      const double n = static_cast<double>(job.angles.size());
      Verdict verdict;
      verdict.allowed = job.settings.angularTolerance->base +
                        job.settings.angularTolerance->perAngle * std::sqrt(n);
      verdict.actual = std::fabs(GonToSmallUnit(*result.angularMisclosure, job.settings.unit));
      verdict.passed = verdict.actual <= verdict.allowed;
      result.angularVerdict = verdict;
    } else {
      result.notes.push_back("No angular misclosure: the angular tolerance does not apply.");
    }
  }
  if (job.settings.linearTolerance) {
    if (result.linear) {
      Verdict verdict;
      verdict.allowed = *job.settings.linearTolerance;
      verdict.actual = result.relativePrecision.value_or(0);
      verdict.passed = !result.relativePrecision || verdict.actual >= verdict.allowed;
      result.linearVerdict = verdict;
    } else {
      result.notes.push_back("No linear misclosure: the linear tolerance does not apply.");
    }
  }
}

// The gross-error limits where no tolerance is given: 1 gon (0.9 degrees)
// of angular misclosure, and 1:1000.
constexpr double grossAngleGon = 1;
constexpr double grossPrecision = 1000;

// The angular misclosure, in (-200, 200] gon, that `angles` would leave
// between the known bearings as angles on the side `left`.
double AngularMisclosureOf(const Job& job, const Adjustment& result, double angleFactor, bool left) {
  long double sum = 0;
  for (const MeasuredValue& angle : job.angles)
    sum += angle.value * static_cast<long double>(angleFactor);
  const long double n = static_cast<long double>(job.angles.size());
  const long double out = left ? result.startBearing + sum - 200 * n : result.startBearing - sum + 200 * n;
  long double w = std::fmod(out - *result.endBearing, 400.0L);
  if (w > 200) w -= 400;
  if (w <= -200) w += 400;
  return static_cast<double>(w);
}

// The guard, and the scale error a misclosure along B to C implies.
void GuardAgainstGrossErrors(const Job& job, Adjustment& result) {
  GrossCheck gross;
  const char* side = job.leftAngles ? "right" : "left";
  if (result.angularMisclosure && !job.settings.angularTolerance &&
      std::fabs(*result.angularMisclosure) > grossAngleGon) {
    gross.angular = true;
    if (std::fabs(AngularMisclosureOf(job, result, 1, !job.leftAngles)) <= grossAngleGon)
      gross.causes.push_back(std::string("The side of the angles: as ") + side +
                             " angles they close.");
    const double typedAs = job.settings.unit == AngleUnit::Gon ? 1 / 0.9 : 0.9;
    if (job.settings.unit != AngleUnit::Dms &&
        (std::fabs(AngularMisclosureOf(job, result, typedAs, job.leftAngles)) <= grossAngleGon ||
         std::fabs(AngularMisclosureOf(job, result, typedAs, !job.leftAngles)) <= grossAngleGon))
      gross.causes.push_back(std::string("The angle unit: read as ") +
                             (job.settings.unit == AngleUnit::Gon ? "degrees" : "gon") +
                             " they close.");
    if (gross.causes.empty())
      gross.causes.push_back("The order of the stations, or a blunder in one angle.");
  }
  const std::optional<LinearMisclosure>& linear = result.linear;
  const double lineBC = std::hypot(job.c.x - job.b.x, job.c.y - job.b.y);
  if (linear && linear->along && linear->across && lineBC > 0 && !gross.angular &&
      std::fabs(*linear->across) <= 0.25 * std::fabs(*linear->along) &&
      (!result.expected || !result.expected->alongRatio || std::fabs(*result.expected->alongRatio) > 3))
    result.scaleErrorPpm = *linear->along / lineBC * 1e6;
  if (result.relativePrecision && !job.settings.linearTolerance &&
      *result.relativePrecision < grossPrecision && !gross.angular) {
    gross.linear = true;
    gross.causes.push_back(result.scaleErrorPpm
                               ? "A missing scale factor: the misclosure lies along the line from "
                                 "the first to the last station."
                               : "The order of the stations, a distance at the wrong station, or a "
                                 "blunder in one distance.");
  }
  if (result.scaleErrorPpm)
    result.notes.push_back("The linear misclosure lies along the line from the first to the last "
                           "station: it implies a scale error of " +
                           std::to_string(static_cast<long long>(std::lround(*result.scaleErrorPpm))) +
                           " ppm (is a grid or height scale factor missing?); no one distance "
                           "is suspected.");
  if (result.scaleErrorPpm) result.suspect.reset();
  if (!gross.angular && !gross.linear) return;
  result.notes.push_back(std::string("GROSS: the ") + (gross.angular ? "angular" : "linear") +
                         " misclosure is beyond any survey's (" +
                         (gross.angular ? "1 gon, 0.9 degrees" : "1:1000") +
                         " where no tolerance is given). Likely causes:");
  for (const std::string& cause : gross.causes) result.notes.push_back(cause);
  result.gross = std::move(gross);
}

}  // namespace

Adjustment Adjust(const Job& job) {
  CheckJob(job);
  Adjustment result;
  result.kind = job.kind;
  result.rule = job.settings.rule;

  TTraverse& t = TraverseRecord;
  // The advice holds for the life of the process: a book's traverses need it
  // once, not a system call each.
  [[maybe_unused]] static const bool sparse = (platform::KeepMemorySparse(&t, sizeof t), true);
  {
    FailuresAsExceptions guard;
    try {
      RunCompassRule(job, t);
      const int legs = static_cast<int>(job.lengths.size());
      if (job.settings.rule == Rule::Transit && job.kind != TraverseKind::Open) {
        SpreadByTransit(t.IncrementX, t.CorrectedIncrementX, legs, t.MisclosureX, 'X');
        SpreadByTransit(t.IncrementY, t.CorrectedIncrementY, legs, t.MisclosureY, 'Y');
      }
      for (int i = 1; i <= NewPointCount(job); ++i) NextPoint(t, i);
      CollectResult(job, t, result);
    } catch (const RaisedFailure& failure) {
      throw JobError(0, "the traverse cannot be computed: " + TakeFailureMessage(failure));
    }
  }

  if (job.kind == TraverseKind::Open)
    result.notes.push_back(
        "An open traverse has no check: the points follow from the measured values alone, "
        "and no misclosure can be formed.");
  RunLeastSquares(job, result);
  if (job.kind == TraverseKind::Loop) result.area = AreaOfLoop(job.b, result);
  result.expected = ExpectedMisclosures(job, result);
  JudgeTolerances(job, result);
  GuardAgainstGrossErrors(job, result);
  return result;
}

}  // namespace traverse
