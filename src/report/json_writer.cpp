// The adjustment as one JSON object, its members as the manual page lists
// them for an answer file and for a field book. Numbers are the shortest
// decimal that reads back to the same double; a value that is not finite, or
// that the adjustment does not have, is null. Angles are decimal in the
// report's unit (gon, or degrees for deg and dms); lengths and coordinates
// are in the job's length unit (length_unit), sigmas of lengths too.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "report/json_text.hpp"
#include "report/number_text.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// Writes angles, converting gon to the report's unit.
struct AngleWriter {
  JsonText& json;
  AngleUnit unit;

  void operator()(double gon) const { json.Number(GonToUnit(gon, unit)); }
  void operator()(const std::optional<double>& gon) const {
    if (gon) {
      (*this)(*gon);
    } else {
      json.Null();
    }
  }
  // The member `key` with its angle.
  template <class Angle>
  void operator()(const char* key, const Angle& gon) const {
    json.Key(key);
    (*this)(gon);
  }
};

// Writes null where `value` is absent, else what `write` makes of it.
template <class T, class Write>
void OrNull(JsonText& json, const std::optional<T>& value, Write write) {
  if (value) {
    write(*value);
  } else {
    json.Null();
  }
}

// Members that are numbers, in order.
void WriteNumbers(JsonText& json,
                  std::initializer_list<std::pair<const char*, std::optional<double>>> members) {
  for (const auto& [key, value] : members) json.Key(key).Number(value);
}

void WriteStrings(JsonText& json, const std::vector<std::string>& texts) {
  json.BeginArray();
  for (const std::string& text : texts) json.String(text);
  json.EndArray();
}

void WriteVerdict(JsonText& json, const Verdict& verdict) {
  json.BeginObject();
  WriteNumbers(json, {{"allowed", verdict.allowed}, {"actual", verdict.actual}});
  json.Key("passed").Bool(verdict.passed);
  json.EndObject();
}

const std::string& StationName(const Job& job, std::size_t i) {
  return job.stations[std::min(i, job.stations.size() - 1)];
}

// The line of value `i` of `values`, with its count of readings and their
// spread in the unit `spreadScale` gives.
void WriteReadings(JsonText& json, const std::vector<MeasuredValue>& values, std::size_t i,
                   double spreadScale) {
  const MeasuredValue value = i < values.size() ? values[i] : MeasuredValue{};
  json.Key("line").Integer(value.line);
  json.Key("readings").Integer(value.readings.count);
  json.Key("spread").Number(value.readings.spread * spreadScale);
}

// Where a traverse comes from a field book (`named`), its rows also name
// their stations, their lines in the book and their readings.
void WriteAngles(JsonText& json, const Job& job, const Adjustment& result, bool named,
                 AngleWriter angle) {
  json.BeginArray();
  for (std::size_t i = 0; i < job.angles.size(); ++i) {
    json.BeginObject();
    json.Key("index").Integer(static_cast<int>(i + 1));
    if (named) {
      json.Key("at").String(StationName(job, i));
      WriteReadings(json, job.angles, i, GonToUnit(1, job.settings.unit));
    }
    angle("measured", job.angles[i].value);
    angle("correction", AngleCorrectionOf(result, i));
    angle("adjusted", i < result.correctedAngles.size()
                          ? std::optional<double>(result.correctedAngles[i])
                          : std::nullopt);
    json.EndObject();
  }
  json.EndArray();
}

void WriteLineOnGrid(JsonText& json, const LineOnGrid& l);

void WriteLegs(JsonText& json, const Job& job, const Adjustment& result, bool named,
               AngleWriter angle, const std::vector<LineOnGrid>* grid) {
  json.BeginArray();
  int index = 0;
  for (const AdjustedLeg& leg : result.legs) {
    const std::size_t i = static_cast<std::size_t>(index);
    json.BeginObject();
    json.Key("index").Integer(++index);
    if (named) {
      json.Key("from").String(StationName(job, i));
      json.Key("to").String(StationName(job, i + 1));
      WriteReadings(json, job.lengths, i, 1);
      if (result.heights && i < result.heights->dh.size())
        json.Key("dh").Number(result.heights->dh[i]);
    }
    angle("bearing", leg.bearing);
    WriteNumbers(json, {{"length", leg.length}, {"dx", leg.dx}, {"dy", leg.dy}, {"cx", leg.cx}, {"cy", leg.cy}});
    if (grid && i < grid->size()) WriteLineOnGrid(json, (*grid)[i]);
    json.EndObject();
  }
  json.EndArray();
}

void WriteLinear(JsonText& json, const LinearMisclosure& linear, AngleWriter angle) {
  json.BeginObject();
  WriteNumbers(json, {{"x", linear.x}, {"y", linear.y}, {"length", linear.length}});
  angle("bearing", linear.bearing);
  WriteNumbers(json, {{"along", linear.along}, {"across", linear.across}});
  json.EndObject();
}

void WritePrecision(JsonText& json, const PointPrecision& p, AngleWriter angle) {
  WriteNumbers(json, {{"sx", p.sx}, {"sy", p.sy}});
  json.Key("ellipse").BeginObject();
  WriteNumbers(json, {{"a", p.a}, {"b", p.b}});
  angle("bearing", p.bearing);
  json.EndObject();
}

// A leg's or a distance's reduction to the grid.
void WriteLineOnGrid(JsonText& json, const LineOnGrid& l) {
  WriteNumbers(json, {{"ground_length", l.ground},
                      {"height_factor", l.heightFactor},
                      {"scale_factor", l.scaleFactor},
                      {"combined_factor", l.Combined()},
                      {"grid_length", l.grid}});
}

// A point on the grid: where it lies (degrees), its ellipsoidal height, the
// point scale factor and the convergence (in the report's unit).
void WriteOnMap(JsonText& json, const std::optional<geodesy::PointFactors>& map,
                const std::optional<double>& h, AngleWriter angle) {
  if (!map) return;
  WriteNumbers(json, {{"lat", map->at.lat}, {"lon", map->at.lon}, {"h", h}, {"k", map->k}});
  angle("convergence", map->convergence * 400 / 360);
}

void WritePoints(JsonText& json, const Job& job, const Adjustment& result, bool named,
                 AngleWriter angle) {
  const std::vector<PointPrecision>* precision =
      result.leastSquares ? &result.leastSquares->precision : nullptr;
  json.BeginArray();
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    json.BeginObject();
    json.Key("number").Integer(static_cast<int>(i + 1));
    if (named) json.Key("name").String(StationName(job, i + 1));
    WriteNumbers(json, {{"x", result.points[i].x}, {"y", result.points[i].y}});
    if (result.heights && i < result.heights->z.size()) json.Key("z").Number(result.heights->z[i]);
    if (precision && i < precision->size()) WritePrecision(json, (*precision)[i], angle);
    json.EndObject();
  }
  json.EndArray();
}

// The member `key` with an observation's value: an angle's or a bearing's in
// the report's unit, a distance's in metres.
void WriteValue(JsonText& json, const char* key, ObservationKind kind, double value,
                AngleWriter angle) {
  json.Key(key);
  if (kind == ObservationKind::Distance || kind == ObservationKind::HeightDifference) {
    json.Number(value);
  } else {
    angle(value);
  }
}

void WriteGlobalTest(JsonText& json, const GlobalTest& test) {
  json.Key("global_test").BeginObject();
  json.Key("passed").Bool(test.passed);
  WriteNumbers(json, {{"lower", test.lower}, {"upper", test.upper}, {"value", test.value}});
  json.EndObject();
}

// The statistics a least-squares adjustment shares with a network's, up to
// its observations' rows: `head` writes what names a row.
template <class Head>
void WriteStatistics(JsonText& json, const AdjustmentStatistics& stats,
                     const std::vector<ObservationReport>& observations, AngleWriter angle, Head head) {
  json.BeginObject();
  json.Key("sigma0").Number(stats.sigma0);
  json.Key("redundancy").Integer(stats.redundancy);
  json.Key("iterations").Integer(stats.iterations);
  json.Key("converged").Bool(stats.converged);
  WriteGlobalTest(json, stats.globalTest);
  json.Key("observations").BeginArray();
  for (const ObservationReport& o : observations) {
    json.BeginObject();
    head(o);
    for (const auto& [name, value] :
         {std::pair{"measured", o.measured}, std::pair{"residual", o.residual},
          std::pair{"sigma", o.sigma}})
      WriteValue(json, name, o.ref.kind, value, angle);
    WriteNumbers(json, {{"w", o.w}, {"redundancy_number", o.redundancyNumber}});
    json.EndObject();
  }
  json.EndArray();
}

// A traverse's observation by its kind and index.
void WriteRef(JsonText& json, const ObservationRef& ref) {
  json.Key("kind").String(ObservationName(ref.kind));
  json.Key("index").Integer(ref.index);
}

// A suspect and its alternatives, each named by `name`.
template <class Name>
void WriteSuspect(JsonText& json, const Suspect& suspect, Name name) {
  json.BeginObject();
  name(suspect.ref);
  json.Key("w").Number(suspect.w);
  json.Key("alternatives").BeginArray();
  for (const ObservationRef& alternative : suspect.alternatives) {
    json.BeginObject();
    name(alternative);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteLeastSquares(JsonText& json, const Job& job, const LeastSquaresResult& ls, bool named,
                       AngleWriter angle) {
  WriteStatistics(json, ls, ls.observations, angle, [&](const ObservationReport& o) {
    WriteRef(json, o.ref);
    if (named) {
      // An angle is read at its station, a length from the station its leg
      // starts at.
      const std::size_t i = static_cast<std::size_t>(o.ref.index - 1);
      const std::vector<MeasuredValue>& values =
          o.ref.kind == ObservationKind::Angle ? job.angles : job.lengths;
      json.Key("at").String(StationName(job, i));
      json.Key("line").Integer(i < values.size() ? values[i].line : 0);
    }
  });
  json.EndObject();
}

void WriteExpected(JsonText& json, const ExpectedMisclosure& expected, AngleWriter angle) {
  json.BeginObject();
  angle("angular", expected.angular);
  WriteNumbers(json, {{"along", expected.along},
                      {"across", expected.across},
                      {"angular_ratio", expected.angularRatio},
                      {"along_ratio", expected.alongRatio},
                      {"across_ratio", expected.acrossRatio}});
  json.EndObject();
}

// The members of one traverse's report, from `kind` on.
void WriteTraverse(JsonText& json, const Job& job, const Adjustment& result, bool named,
                   const BookTraverseResult* onGrid = nullptr) {
  const AngleWriter angle{json, job.settings.unit};
  json.Key("kind").String(KindName(result.kind));
  json.Key("left_angles").Bool(job.leftAngles);
  json.Key("scale").Number(job.settings.scale);
  angle("start_bearing", result.startBearing);
  angle("end_bearing", result.endBearing);
  angle("measured_angle_sum", result.measuredAngleSum);
  angle("required_angle_sum", result.requiredAngleSum);
  angle("angular_misclosure", result.angularMisclosure);
  angle("angle_correction", result.angleCorrection);
  json.Key("angles");
  WriteAngles(json, job, result, named, angle);
  json.Key("legs");
  WriteLegs(json, job, result, named, angle,
            onGrid && !onGrid->gridLegs.empty() ? &onGrid->gridLegs : nullptr);
  if (onGrid && !onGrid->arcToChord.empty()) {
    json.Key("arc_to_chord").BeginArray();
    for (const double c : onGrid->arcToChord) json.Number(GonToUnit(c, job.settings.unit));
    json.EndArray();
  }
  json.Key("linear_misclosure");
  OrNull(json, result.linear, [&](const LinearMisclosure& l) { WriteLinear(json, l, angle); });
  WriteNumbers(json, {{"total_length", result.totalLength}, {"relative_precision", result.relativePrecision}});
  if (result.area) {
    json.Key("area").BeginObject();
    WriteNumbers(json, {{"before", result.area->before}, {"after", result.area->after}});
    json.EndObject();
  }
  json.Key("points");
  WritePoints(json, job, result, named, angle);
  json.Key("tolerance").BeginObject();
  json.Key("angular");
  OrNull(json, result.angularVerdict, [&](const Verdict& v) { WriteVerdict(json, v); });
  json.Key("linear");
  OrNull(json, result.linearVerdict, [&](const Verdict& v) { WriteVerdict(json, v); });
  json.Key("passed").Bool(result.TolerancesPassed());
  json.EndObject();
  json.Key("least_squares");
  OrNull(json, result.leastSquares,
         [&](const LeastSquaresResult& ls) { WriteLeastSquares(json, job, ls, named, angle); });
  json.Key("suspect");
  OrNull(json, result.suspect, [&](const Suspect& suspect) {
    WriteSuspect(json, suspect, [&](const ObservationRef& ref) { WriteRef(json, ref); });
  });
  json.Key("expected_misclosure");
  OrNull(json, result.expected, [&](const ExpectedMisclosure& e) { WriteExpected(json, e, angle); });
  WriteStrings(json.Key("notes"), result.notes);
  if (result.gross) {
    json.Key("gross").BeginObject();
    json.Key("angular").Bool(result.gross->angular);
    json.Key("linear").Bool(result.gross->linear);
    WriteStrings(json.Key("causes"), result.gross->causes);
    json.EndObject();
  }
  if (result.scaleErrorPpm) json.Key("scale_error_ppm").Number(*result.scaleErrorPpm);
}

std::size_t ItemCount(const Adjustment& result) {
  return result.correctedAngles.size() + result.legs.size() + result.points.size() +
         (result.leastSquares ? result.leastSquares->observations.size() : 0);
}

void WriteHeights(JsonText& json, const HeightResult& heights) {
  json.BeginObject();
  WriteNumbers(json, {{"misclosure", heights.misclosure}, {"allowed", heights.allowed}});
  json.Key("passed").Bool(heights.passed);
  json.EndObject();
}

// A network's suspect (the plan's or the heights'), each observation named
// by its kind and line.
void WriteNetworkSuspect(JsonText& json, const std::optional<Suspect>& suspect,
                         const NetworkReport& network) {
  json.Key("suspect");
  OrNull(json, suspect, [&](const Suspect& s) {
    WriteSuspect(json, s, [&](const ObservationRef& ref) {
      const ObservationReport& o = network.observations[ref.observation];
      json.Key("kind").String(RecordName(o.ref.kind));
      json.Key("line").Integer(o.line);
    });
  });
}

void WriteNetwork(JsonText& json, const NetworkReport& network, AngleWriter angle) {
  const auto name = [&](const std::optional<std::string>& n) {
    OrNull(json, n, [&](const std::string& text) { json.String(text); });
  };
  WriteStatistics(json, network, network.observations, angle, [&](const ObservationReport& o) {
    json.Key("kind").String(RecordName(o.ref.kind));
    json.Key("line").Integer(o.line);
    if (o.ref.kind == ObservationKind::Angle) json.Key("at").String(o.at);
    json.Key("from");
    name(o.from);
    json.Key("to");
    name(o.to);
    if (o.ref.kind == ObservationKind::Direction || o.setup > 0) json.Key("setup").Integer(o.setup);
    if (o.ref.kind == ObservationKind::HeightDifference)
      json.Key("source").String(o.levelled ? "levelling" : "trigonometric");
  });
  WriteNetworkSuspect(json, network.suspect, network);
  json.EndObject();
}

// The network of heights: its statistics (its observations are the
// network's of kind "height"), its suspect, and the heights of the points
// that are no new points of the plan.
void WriteHeightNetwork(JsonText& json, const HeightNetworkReport& heights,
                        const NetworkReport& network) {
  json.BeginObject();
  json.Key("sigma0").Number(heights.sigma0);
  json.Key("redundancy").Integer(heights.redundancy);
  WriteGlobalTest(json, heights.globalTest);
  WriteNetworkSuspect(json, heights.suspect, network);
  json.Key("points").BeginArray();
  for (const HeightOnlyPoint& point : heights.heightsOnly) {
    json.BeginObject();
    json.Key("name").String(point.name);
    WriteNumbers(json, {{"z", point.z}, {"sz", point.sigma}});
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

// Each pair's relative precision: its standard ellipse, the sigma of its
// distance, the 95 % figure and its verdict (allowed null without a
// relative tolerance).
void WriteRelative(JsonText& json, const std::vector<RelativeReport>& pairs, AngleWriter angle) {
  json.Key("relative").BeginArray();
  for (const RelativeReport& r : pairs) {
    json.BeginObject();
    json.Key("from").String(r.from);
    json.Key("to").String(r.to);
    if (r.line > 0) json.Key("line").Integer(r.line);
    WriteNumbers(json, {{"distance", r.distance}, {"a", r.ellipse.a}, {"b", r.ellipse.b}});
    angle("bearing", r.ellipse.bearing);
    WriteNumbers(json, {{"sigma_distance", r.sigmaDistance},
                        {"precision_95", r.Precision95()},
                        {"allowed", r.allowed}});
    json.Key("passed").Bool(r.passed);
    json.EndObject();
  }
  json.EndArray();
}

// A text the book may leave out (a code, a description): null where empty.
void TextOrNull(JsonText& json, const std::string& text) {
  if (text.empty()) {
    json.Null();
  } else {
    json.String(text);
  }
}

// A setup reduced: the instrument's errors, the direction's sigma from the
// rounds, each round's largest residual, each face pair and each direction
// with what was read to it; the orientation under least squares.
void WriteSetup(JsonText& json, const SetupResult& result, AngleWriter angle) {
  const BookSetup& setup = result.setup;
  json.BeginObject();
  json.Key("station").String(setup.station);
  json.Key("line").Integer(setup.line);
  json.Key("hi").Number(setup.hi);
  angle("orientation", result.orientation);
  angle("orientation_sigma", result.orientationSigma);
  angle("collimation", setup.collimation);
  angle("index_error", setup.indexError);
  angle("direction_sigma", setup.directionSigma);
  json.Key("degrees_of_freedom").Integer(setup.degreesOfFreedom);
  json.Key("rounds").BeginArray();
  for (const SetupRound& round : setup.rounds) {
    json.BeginObject();
    json.Key("number").Integer(round.number);
    json.Key("first_line").Integer(round.firstLine);
    json.Key("last_line").Integer(round.lastLine);
    angle("largest_residual", round.largestResidual);
    json.Key("flagged").Bool(round.flagged);
    json.EndObject();
  }
  json.EndArray();
  json.Key("pairs").BeginArray();
  for (const FacePair& pair : setup.pairs) {
    json.BeginObject();
    json.Key("target").String(pair.target);
    json.Key("line_i").Integer(pair.lineI);
    json.Key("line_ii").Integer(pair.lineII);
    angle("collimation", pair.collimation);
    angle("index_error", pair.indexError);
    json.EndObject();
  }
  json.EndArray();
  json.Key("directions").BeginArray();
  for (std::size_t i = 0; i < result.setup.directions.size(); ++i) {
    const SetupDirection& d = result.setup.directions[i];
    json.BeginObject();
    json.Key("target").String(d.target);
    json.Key("line").Integer(d.line);
    angle("direction", d.direction);
    angle("spread", d.spread);
    json.Key("rounds").Integer(d.rounds);
    json.Key("one_face").Bool(d.oneFace);
    angle("zenith", d.zenith);
    WriteNumbers(json, {{"slope_distance", d.slope},
                        {"horizontal_distance", d.horizontal},
                        {"target_height", d.ht},
                        {"dh", d.dh}});
    TextOrNull(json.Key("code"), d.code);
    TextOrNull(json.Key("description"), d.description);
    if (i < result.arcToChord.size()) angle("arc_to_chord", result.arcToChord[i]);
    if (i < result.gridLines.size() && result.gridLines[i]) WriteLineOnGrid(json, *result.gridLines[i]);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

// A sideshot: where it was radiated from and to, and its precision under
// least squares (null under compass and transit).
void WriteSideshot(JsonText& json, const Sideshot& shot, AngleWriter angle) {
  json.BeginObject();
  json.Key("name").String(shot.name);
  json.Key("from").String(shot.from);
  json.Key("line").Integer(shot.line);
  json.Key("setup").Integer(shot.setupLine);
  WriteNumbers(json, {{"x", shot.xy.x}, {"y", shot.xy.y}, {"z", shot.z}});
  const std::optional<PointPrecision>& p = shot.precision;
  WriteNumbers(json, {{"sx", p ? std::optional(p->sx) : std::nullopt},
                      {"sy", p ? std::optional(p->sy) : std::nullopt}});
  json.Key("ellipse");
  OrNull(json, p, [&](const PointPrecision& precision) {
    json.BeginObject();
    WriteNumbers(json, {{"a", precision.a}, {"b", precision.b}});
    angle("bearing", precision.bearing);
    json.EndObject();
  });
  TextOrNull(json.Key("code"), shot.code);
  TextOrNull(json.Key("description"), shot.description);
  WriteOnMap(json, shot.map, shot.h, angle);
  json.EndObject();
}

// The report into `json`, but for its closing line feed.
void WriteJsonBody(JsonText& json, const BookResult& book, const ReportOptions& options) {
  const Settings& settings = book.settings;
  const AngleWriter angle{json, settings.unit};
  json.BeginObject();
  json.Key("program").String("traverse");
  json.Key("version").String(options.version);
  json.Key("source").String(book.source);
  if (book.title) json.Key("title").String(*book.title);
  json.Key("unit").String(UnitName(settings.unit));
  // Every length below is in this unit; a job in metres that was never told
  // its unit keeps the report it always had.
  if (settings.length != LengthUnit::Metre || settings.lengthGiven)
    json.Key("length_unit").String(LengthUnitName(settings.length));
  if (book.answerFile) {
    // An answer file's one traverse, its members at the top.
    const BookTraverseResult& traverse = book.traverses.front();
    json.Key("rule").String(RuleName(traverse.result.rule));
    WriteTraverse(json, traverse.job, traverse.result, false);
    json.EndObject();
    return;
  }
  json.Key("rule").String(RuleName(settings.rule));
  json.Key("scale").Number(settings.scale);
  json.Key("traverses").BeginArray();
  for (const BookTraverseResult& traverse : book.traverses) {
    json.BeginObject();
    json.Key("name").String(traverse.name);
    json.Key("line").Integer(traverse.line);
    WriteTraverse(json, traverse.job, traverse.result, true, &traverse);
    json.Key("heights");
    OrNull(json, traverse.result.heights, [&](const HeightResult& h) { WriteHeights(json, h); });
    if (!traverse.fromAbove.empty()) {
      json.Key("known_from_above").BeginObject();
      for (const auto& [point, t] : traverse.fromAbove)
        json.Key(point.name).Integer(static_cast<int>(t + 1));
      json.EndObject();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("points").BeginArray();
  for (const NewPoint& point : book.points) {
    json.BeginObject();
    json.Key("name").String(point.point.name);
    WriteNumbers(json, {{"x", point.point.xy.x}, {"y", point.point.xy.y}});
    if (point.point.z) json.Key("z").Number(*point.point.z);
    if (point.sigmaZ) json.Key("sz").Number(*point.sigmaZ);
    if (point.precision) WritePrecision(json, *point.precision, angle);
    WriteOnMap(json, point.point.map, point.point.h, angle);
    json.EndObject();
  }
  json.EndArray();
  if (book.grid) {
    const GridReport& grid = *book.grid;
    const geodesy::GridDefinition& g = grid.settings.definition;
    json.Key("grid").BeginObject();
    json.Key("name").String(g.name);
    json.Key("epsg");
    if (g.epsg > 0) json.Integer(g.epsg); else json.Null();
    json.Key("ellipsoid").String(g.ellipsoid.name);
    json.Key("mean_combined_factor").Number(grid.meanCombinedFactor);
    json.Key("iterations").Integer(grid.iterations);
    WriteNumbers(json, {{"geoid", grid.settings.geoid}, {"mean_height", grid.settings.meanHeight}});
    json.Key("known").BeginArray();
    for (const NamedPoint& p : book.known) {
      json.BeginObject();
      json.Key("name").String(p.name);
      WriteNumbers(json, {{"x", p.xy.x}, {"y", p.xy.y}, {"z", p.z}});
      WriteOnMap(json, p.map, p.h, angle);
      json.EndObject();
    }
    json.EndArray();
    json.Key("distances").BeginArray();
    for (const LineOnGrid& l : grid.lines) {
      json.BeginObject();
      json.Key("line").Integer(l.line);
      json.Key("from").String(l.from);
      json.Key("to").String(l.to);
      WriteLineOnGrid(json, l);
      json.EndObject();
    }
    json.EndArray();
    json.Key("angles").BeginArray();
    for (const AngleOnGrid& a : grid.angles) {
      json.BeginObject();
      json.Key("line").Integer(a.line);
      json.Key("at").String(a.at);
      json.Key("from").String(a.from);
      json.Key("to").String(a.to);
      angle("arc_to_chord", a.arcToChord);
      json.EndObject();
    }
    json.EndArray();
    WriteStrings(json.Key("notes"), grid.notes);
    json.EndObject();
  }
  json.Key("tolerance").BeginObject();
  json.Key("passed").Bool(book.TolerancesPassed());
  json.EndObject();
  json.Key("network");
  OrNull(json, book.network, [&](const NetworkReport& n) { WriteNetwork(json, n, angle); });
  if (book.network) WriteRelative(json, book.network->relative, angle);
  if (book.heightNetwork) {
    json.Key("height_network");
    WriteHeightNetwork(json, *book.heightNetwork, *book.network);
  }
  json.Key("checks").BeginArray();
  for (const Check& check : book.checks) {
    json.BeginObject();
    json.Key("kind").String(RecordName(check.kind));
    json.Key("line").Integer(check.line);
    if (check.kind == ObservationKind::Angle) json.Key("at").String(check.at);
    json.Key("from").String(check.from);
    json.Key("to").String(check.to);
    for (const auto& [key, value] :
         {std::pair{"measured", check.measured}, {"computed", check.computed},
          {"difference", check.Difference()}})
      WriteValue(json, key, check.kind, value, angle);
    json.EndObject();
  }
  json.EndArray();
  json.Key("setups").BeginArray();
  for (const SetupResult& setup : book.setups) WriteSetup(json, setup, angle);
  json.EndArray();
  json.Key("sideshots").BeginArray();
  for (const Sideshot& shot : book.sideshots) WriteSideshot(json, shot, angle);
  json.EndArray();
  WriteStrings(json.Key("notes"), book.notes);
  json.EndObject();
}

// The room the whole report takes at the most.
std::size_t JsonCapacity(const BookResult& book) {
  // A few hundred bytes per angle, leg, point and observation at the most.
  std::size_t items = book.points.size() +
                      (book.network ? book.network->observations.size() + book.network->relative.size() : 0) +
                      book.sideshots.size() +
                      (book.heightNetwork ? book.heightNetwork->heightsOnly.size() : 0);
  for (const SetupResult& setup : book.setups)
    items += setup.setup.directions.size() + setup.setup.pairs.size() + setup.setup.rounds.size();
  for (const BookTraverseResult& traverse : book.traverses) items += ItemCount(traverse.result);
  return 4096 + 1024 * book.traverses.size() + 640 * items;
}

}  // namespace

std::string FormatJson(const BookResult& book, const ReportOptions& options) {
  JsonText json(JsonCapacity(book));
  WriteJsonBody(json, book, options);
  return json.Finish();
}

void WriteJson(const BookResult& book, const ReportOptions& options, const ReportSink& sink) {
  // A block of a megabyte: few writes, and little held.
  JsonText json(std::size_t{1} << 20, sink);
  WriteJsonBody(json, book, options);
  json.Finish();
}

}  // namespace traverse
