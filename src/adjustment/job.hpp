// A traverse as plain data: what the surveyor typed and how it is to be
// adjusted. Angles are held in gon whatever unit they were typed in, lengths
// in the job's length unit as typed (the scale factor is applied by the
// rules).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "geodesy/grid.hpp"
#include "network/observations.hpp"

namespace traverse {

// The unit angles are typed and reported in. Dms is typed D-M-S and reported
// as decimal degrees.
enum class AngleUnit { Gon, Degree, Dms };

enum class Rule { Compass, Transit, LeastSquares };

// The unit a job's lengths are typed, adjusted and reported in: metres,
// international feet (0.3048 m) or US survey feet (1200/3937 m).
enum class LengthUnit { Metre, Foot, UsSurveyFoot };

// Metres in one of `unit`.
double MetresPer(LengthUnit unit);

// The unit's short name, as a `length` record, --length-unit and JSON give
// it: "m", "ft" or "usft".
const char* LengthUnitName(LengthUnit unit);

// The unit in words: "metres", "international feet", "US survey feet".
const char* LengthUnitWords(LengthUnit unit);

// Whether the unit is a foot: areas in square feet and acres.
inline bool IsFoot(LengthUnit unit) {
  return unit != LengthUnit::Metre;
}

// Connecting: B oriented on A to C oriented on D. Loop: a connecting traverse
// with C = B and D = A. NoEndOrientation: ends on C with no angle at C.
// Open: no C and no D, so nothing checks it.
enum class TraverseKind { Connecting, Loop, NoEndOrientation, Open };

// The allowed angular misclosure, base + perAngle * sqrt(n), in the small
// unit of the angle unit: cc (0.0001 gon) for gon, arc seconds for degrees.
struct AngularTolerance {
  double base = 0;
  double perAngle = 0;
};

// The allowed 95 % relative positional precision of two points,
// millimetres + ppm times their distance (ALTA/NSPS: 20 mm + 50 ppm).
struct RelativeTolerance {
  double millimetres = 0;
  double ppm = 0;
};

// A-priori standard deviations of the observations, for least squares and the
// expected misclosures. The constant part is metric whatever the job's
// unit; LengthSigma gives it in the job's unit.
struct Sigmas {
  double angleGon = 0.0010;     // 10 cc
  double lengthMetres = 0.003;  // the constant part
  double lengthPpm = 2;         // the part proportional to the length
  bool given = false;           // by the command line, not the defaults
  double metresPerUnit = 1;     // of the job's length unit (Settings::length)
};

// How an angle or a distance was read: the number of readings averaged and
// their spread, largest minus smallest after unwrapping (gon for angles,
// metres for distances; 0 for one reading).
struct ReadingSummary {
  int count = 1;
  double spread = 0;
};

// The projected grid a job's coordinates are on, and the heights its
// observations are reduced from: every distance to the ellipsoid and then to
// the grid, every angle and direction by its lines' arc-to-chord corrections.
struct GridSettings {
  geodesy::GridDefinition definition;
  std::optional<double> geoid;       // N, for the job: h = H + N (grid units)
  std::optional<double> meanHeight;  // H of every point without a height
};

// A network's free points by name and its setups' orientations (gon, by
// the book's setups), from an adjustment before.
struct NetworkStart {
  std::vector<std::pair<std::string, GridPoint>> points;
  std::vector<std::optional<double>> orientations;
};

// How a job is adjusted and reported, apart from what was measured: the
// same for every traverse of a book but the sigmas, which `sigma` records may
// change from one traverse to the next.
struct Settings {
  AngleUnit unit = AngleUnit::Gon;
  LengthUnit length = LengthUnit::Metre;  // set by SetLengthUnit
  bool lengthGiven = false;  // by a `length` record or --length-unit, even in metres
  Rule rule = Rule::Compass;
  double scale = 1;  // combined grid and height scale factor
  std::optional<GridSettings> grid;  // none: a local grid, lengths times `scale`
  std::optional<AngularTolerance> angularTolerance;
  std::optional<double> linearTolerance;  // N of 1:N
  std::optional<double> heightTolerance;  // mm per sqrt(km), field books only
  std::optional<RelativeTolerance> relativeTolerance;  // least squares only
  Sigmas sigmas;
  // Whether the compass and transit rules also look for a blunder by least
  // squares; a network's traverses leave that to the network.
  bool blunderSearch = true;
  // A network's points only placed, not adjusted: the approximate places a
  // grid's reduction starts from.
  bool placeOnly = false;
  // Where a network's adjustment starts, where an adjustment before it has
  // placed its points and oriented its setups (a grid's reduction, from pass
  // to pass); what it does not give is placed from the observations.
  std::shared_ptr<const NetworkStart> startFrom;
};

// The job's length unit, in the settings and in their sigmas, which convert
// the metric constants of sigmas and tolerances by it.
void SetLengthUnit(Settings& settings, LengthUnit unit);

// A metric length (a sigma or a tolerance, millimetres as metres) in the
// job's unit, and a length of the job's unit in metres.
inline double FromMetres(double metres, const Settings& settings) {
  return metres / settings.sigmas.metresPerUnit;
}
inline double ToMetres(double length, const Settings& settings) {
  return length * settings.sigmas.metresPerUnit;
}

// One measured angle (gon, in the order typed) or length (job's unit, as typed,
// before the scale factor), with its input line and how it was read.
struct MeasuredValue {
  MeasuredValue(double measured = 0, int inputLine = 0, ReadingSummary read = {})
      : value(measured), line(inputLine), readings(read) {}
  double value;
  int line;
  ReadingSummary readings;
};

// One traverse to adjust, with the settings it is adjusted by.
struct Job {
  std::string source;  // the input's name, for the report header and messages
  Settings settings;
  TraverseKind kind = TraverseKind::Connecting;  // Loop is detected on reading

  GridPoint a, b, c, d;  // c and d are unused where the kind has none
  bool leftAngles = true;
  std::vector<MeasuredValue> angles, lengths;

  // A grid bearing in place of an orientation point: A to B (the bearing from
  // B to its mark plus half a turn) and C to D, in gon. The rules use these
  // as they are; a and d then hold stand-in marks on those bearings.
  std::optional<double> startBearing, endBearing;

  // Names, for a traverse from a field book: the stations B, the new points
  // and C in order (a loop repeats B), and the marks A and D ("" where a
  // bearing orients). Empty for an answer file, whose points are A, B, 1, 2,
  // ..., C, D.
  std::vector<std::string> stations;
  std::string markA, markD;
};

// A measured length on the grid: times the combined scale factor. The one
// place the scale is applied, but for the compass rule, which applies it in
// the dialogue's own extended precision.
double GridLength(double measured, double scale);

// The a-priori sigma of a grid length: the constant part plus the ppm part,
// in the length's unit.
double LengthSigma(const Sigmas& sigmas, double length);

// Whether the traverse ends with an angle at C towards D: a connecting
// traverse or a loop.
bool ClosesOnD(TraverseKind kind);

// The legs of a traverse of `angles` angles: one fewer where C has its angle,
// else one per angle.
int LegCount(TraverseKind kind, int angles);

// Its new points: the end of every leg but one that ends on C.
int NewPointCount(TraverseKind kind, int angles);

// A stand-in point 1 km from `from` on the grid bearing `gon`, for an
// orientation given as a bearing.
GridPoint PointOnBearing(const GridPoint& from, double gon);

// `gon` reduced to [0, 400).
double NormalisedGon(long double gon);

// Angle conversions between gon and the unit a job reports in.
double GonToUnit(double gon, AngleUnit unit);
double UnitToGon(double value, AngleUnit unit);
// The small unit: cc for gon, arc seconds for degrees, as gon.
double SmallUnitToGon(double value, AngleUnit unit);
double GonToSmallUnit(double gon, AngleUnit unit);

}  // namespace traverse
