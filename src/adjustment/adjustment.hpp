// The outcome of adjusting a Job: every figure the report shows, as plain
// data. The writers format it and compute nothing. Angles and bearings are in
// gon, lengths and coordinates in metres.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adjustment/job.hpp"
#include "network/statistics.hpp"

namespace traverse {

struct AdjustedLeg {
  double bearing = 0;      // adjusted grid bearing, gon (unreduced as propagated)
  double length = 0;       // measured length times the scale factor
  double dx = 0, dy = 0;   // raw increments
  double cx = 0, cy = 0;   // corrections of the increments
};

struct LinearMisclosure {
  double x = 0, y = 0;    // fX = sum dX - (XC - XB), likewise fY
  double length = 0;      // fL
  double bearing = 0;     // of the vector (fX, fY), gon; 0 when fL is 0
  std::optional<double> along;   // on the unit vector from B towards C
  std::optional<double> across;  // on that vector turned a quarter turn clockwise
};

// The area a closed loop encloses, m², by the coordinates: its corners as
// the raw increments place them, and as adjusted.
struct LoopArea {
  double before = 0;
  double after = 0;
};

struct Verdict {
  double allowed = 0;  // cc or arc seconds (angular), N of 1:N (linear)
  double actual = 0;   // likewise
  bool passed = true;
};

// One traverse's least squares: its statistics, its angles then its lengths,
// and its new points.
struct LeastSquaresResult : AdjustmentStatistics {
  std::vector<ObservationReport> observations;  // the angles, then the lengths
  std::vector<PointPrecision> precision;        // one per new point
  std::vector<GridPoint> points;                // adjusted coordinates of the new points
};

// Standard deviations of the misclosures to be expected from the a-priori
// sigmas, and each actual misclosure divided by its own.
struct ExpectedMisclosure {
  std::optional<double> angular;  // gon; none without end orientation
  std::optional<double> along;    // metres; none where B to C is undefined
  std::optional<double> across;
  std::optional<double> angularRatio;
  std::optional<double> alongRatio;
  std::optional<double> acrossRatio;
};

// Heights carried along a traverse by trigonometric levelling, where its
// first station has a height and every leg a slope distance and a zenith
// angle. Metres.
struct HeightResult {
  std::vector<double> dh;           // per leg, as reduced, before any correction
  std::vector<double> corrections;  // per leg: -fH in proportion to the leg
  std::vector<double> z;            // the new points' heights, in order
  double lastZ = 0;                 // carried to the last station, corrected
  std::optional<double> misclosure;  // fH; none where the last station has no height
  std::optional<double> allowed;     // by the height tolerance; none without one
  bool passed = true;
};

// The gross-error guard, always on: where a misclosure is beyond what any
// survey gives (limits of its own where no tolerance is given), the verdict
// is GROSS, with the likely causes that fit the figures.
struct GrossCheck {
  bool angular = false, linear = false;  // which misclosure tripped it
  std::vector<std::string> causes;       // plain sentences
};

struct Adjustment {
  TraverseKind kind = TraverseKind::Connecting;
  Rule rule = Rule::Compass;

  double startBearing = 0;               // A to B, gon
  std::optional<double> endBearing;      // C to D, gon; none without orientation at C
  double measuredAngleSum = 0;           // gon
  std::optional<double> requiredAngleSum;     // after the reduction by whole turns
  std::optional<double> angularMisclosure;    // f_beta, gon
  double angleCorrection = 0;                 // gon, added to every angle
  std::vector<double> correctedAngles;        // gon

  std::vector<AdjustedLeg> legs;
  std::optional<LinearMisclosure> linear;     // none for an open traverse
  double totalLength = 0;
  std::optional<double> relativePrecision;    // N of 1:N; none where fL is 0 or no check
  std::optional<LoopArea> area;               // a closed loop's only

  std::optional<Verdict> angularVerdict;
  std::optional<Verdict> linearVerdict;

  std::vector<GridPoint> points;  // adjusted coordinates of the new points, in order

  std::optional<LeastSquaresResult> leastSquares;
  std::optional<ExpectedMisclosure> expected;
  std::optional<Suspect> suspect;  // only where least squares could run
  std::vector<std::string> notes;  // plain sentences for the report (no check, no convergence, ...)
  std::optional<HeightResult> heights;  // where the traverse carries heights
  std::optional<GrossCheck> gross;       // where the guard tripped
  // The scale error the linear misclosure implies, ppm, where it lies along
  // the line from the first to the last station.
  std::optional<double> scaleErrorPpm;

  // Under least squares, whether vTPv kept within the global test's upper
  // bound; true under the other rules.
  bool GlobalTestPassed() const { return !leastSquares || !leastSquares->globalTest.Exceeded(); }

  // Every tolerance given held, the gross-error guard did not trip, and a
  // least-squares adjustment passed its global test.
  bool TolerancesPassed() const {
    return (!angularVerdict || angularVerdict->passed) &&
           (!linearVerdict || linearVerdict->passed) && (!heights || heights->passed) && !gross &&
           GlobalTestPassed();
  }
};

}  // namespace traverse
