// The adjustment as one JSON object. Numbers are the shortest decimal that
// reads back to the same double; a value that is not finite, or that the
// adjustment does not have, is null. Angles are decimal in the report's unit
// (gon, or degrees for deg and dms); lengths and coordinates are metres.
//
//   program             "traverse"
//   version             the program's version
//   source              the input's name
//   unit                "gon" or "deg"
//   rule                "compass", "transit" or "least-squares"
//   kind                "connecting", "loop", "no-end-orientation" or "open"
//   left_angles         true when the angles were measured on the left
//   scale               the combined scale factor applied to the lengths
//   start_bearing       A to B
//   end_bearing         C to D; null without orientation at C
//   measured_angle_sum  the sum of the measured angles
//   required_angle_sum  what they should sum to; null without orientation at C
//   angular_misclosure  f_beta; null without orientation at C
//   angle_correction    added to every angle by the compass and transit rules
//   angles[]            index (1-based), measured, correction, adjusted; the
//                       correction is the residual where least squares ran
//   legs[]              index, bearing, length (scaled), dx, dy (raw
//                       increments), cx, cy (their corrections)
//   linear_misclosure   x, y (fX, fY), length (fL), bearing, along, across (on
//                       and across B to C; null where B to C has no direction);
//                       null for an open traverse
//   total_length        the sum of the leg lengths
//   relative_precision  N of 1:N; null where fL is 0 or nothing checks it
//   points[]            number, x, y of the new points in order; where least
//                       squares ran also sx, sy and ellipse {a, b, bearing},
//                       the standard error ellipse with the bearing of a
//   tolerance           angular {allowed, actual, passed} in cc or arc seconds
//                       (null without an angular tolerance or a check),
//                       linear {allowed, actual, passed} as N of 1:N (likewise
//                       null), passed: both held
//   least_squares       null unless least squares ran; sigma0, redundancy,
//                       iterations, converged, global_test {passed, lower,
//                       upper, value} (value vTPv, bounds the 2.5 % and 97.5 %
//                       chi-square quantiles), observations[] {kind ("angle"
//                       or "length"), index, measured, residual, sigma, w,
//                       redundancy_number}
//   suspect             null or {kind, index, w, alternatives[] {kind, index}}:
//                       the observation data snooping points at, and those it
//                       cannot be told apart from
//   expected_misclosure null or the standard deviations to be expected from the
//                       a-priori sigmas, angular, along, across, and the actual
//                       misclosures divided by them, angular_ratio,
//                       along_ratio, across_ratio (each null where absent)
//   notes[]             plain sentences for the reader
//   gross               where the gross-error guard tripped only: {angular,
//                       linear (which misclosure), causes[] (likely causes)}
//   scale_error_ppm     where the linear misclosure lies along the line from
//                       the first to the last station only: the scale error
//                       it implies
//
// A field book's report has program, version, source, title (where the book has
// one), unit, rule and scale,
// then traverses[] (one object per traverse in book order: name, line, the
// members above from kind on, heights: null or {misclosure, allowed,
// passed} in metres, and known_from_above where it starts, ends or is oriented
// on points of traverses above: {name: that traverse's number}), points[] (every new point in the order computed: name,
// x, y, z where heights are carried, sx, sy and ellipse under least squares)
// and tolerance {passed} over every traverse. Inside a traverse, points[]
// also carry name and z, angles[] at, line, readings and spread (in the
// report's unit), legs[] from, to, line, readings, spread (metres) and dh,
// and least_squares.observations[] at and line. Under compass and transit,
// checks[] holds each free record against the adjusted points: kind, line,
// at (angles only), from, to, measured, computed and difference (measured
// less computed), distances times the scale factor.
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

void WriteStrings(JsonText& json, const std::vector<std::string>& texts) {
  json.BeginArray();
  for (const std::string& text : texts) json.String(text);
  json.EndArray();
}

void WriteVerdict(JsonText& json, const Verdict& verdict) {
  json.BeginObject();
  json.Key("allowed").Number(verdict.allowed);
  json.Key("actual").Number(verdict.actual);
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

void WriteLegs(JsonText& json, const Job& job, const Adjustment& result, bool named,
               AngleWriter angle) {
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
    json.Key("length").Number(leg.length);
    json.Key("dx").Number(leg.dx);
    json.Key("dy").Number(leg.dy);
    json.Key("cx").Number(leg.cx);
    json.Key("cy").Number(leg.cy);
    json.EndObject();
  }
  json.EndArray();
}

void WriteLinear(JsonText& json, const LinearMisclosure& linear, AngleWriter angle) {
  json.BeginObject();
  json.Key("x").Number(linear.x);
  json.Key("y").Number(linear.y);
  json.Key("length").Number(linear.length);
  angle("bearing", linear.bearing);
  json.Key("along").Number(linear.along);
  json.Key("across").Number(linear.across);
  json.EndObject();
}

void WritePrecision(JsonText& json, const PointPrecision& p, AngleWriter angle) {
  json.Key("sx").Number(p.sx);
  json.Key("sy").Number(p.sy);
  json.Key("ellipse").BeginObject();
  json.Key("a").Number(p.a);
  json.Key("b").Number(p.b);
  angle("bearing", p.bearing);
  json.EndObject();
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
    json.Key("x").Number(result.points[i].x);
    json.Key("y").Number(result.points[i].y);
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
  if (kind == ObservationKind::Distance) {
    json.Number(value);
  } else {
    angle(value);
  }
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
  json.Key("global_test").BeginObject();
  json.Key("passed").Bool(stats.globalTest.passed);
  json.Key("lower").Number(stats.globalTest.lower);
  json.Key("upper").Number(stats.globalTest.upper);
  json.Key("value").Number(stats.globalTest.value);
  json.EndObject();
  json.Key("observations").BeginArray();
  for (const ObservationReport& o : observations) {
    json.BeginObject();
    head(o);
    for (const auto& [name, value] :
         {std::pair{"measured", o.measured}, std::pair{"residual", o.residual},
          std::pair{"sigma", o.sigma}})
      WriteValue(json, name, o.ref.kind, value, angle);
    json.Key("w").Number(o.w);
    json.Key("redundancy_number").Number(o.redundancyNumber);
    json.EndObject();
  }
  json.EndArray();
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
    json.Key("kind").String(ObservationName(o.ref.kind));
    json.Key("index").Integer(o.ref.index);
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
  json.Key("along").Number(expected.along);
  json.Key("across").Number(expected.across);
  json.Key("angular_ratio").Number(expected.angularRatio);
  json.Key("along_ratio").Number(expected.alongRatio);
  json.Key("across_ratio").Number(expected.acrossRatio);
  json.EndObject();
}

// The members of one traverse's report, from `kind` on.
void WriteTraverse(JsonText& json, const Job& job, const Adjustment& result, bool named) {
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
  WriteLegs(json, job, result, named, angle);
  json.Key("linear_misclosure");
  OrNull(json, result.linear, [&](const LinearMisclosure& l) { WriteLinear(json, l, angle); });
  json.Key("total_length").Number(result.totalLength);
  json.Key("relative_precision").Number(result.relativePrecision);
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
    WriteSuspect(json, suspect, [&](const ObservationRef& ref) {
      json.Key("kind").String(ObservationName(ref.kind));
      json.Key("index").Integer(ref.index);
    });
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
  json.Key("misclosure").Number(heights.misclosure);
  json.Key("allowed").Number(heights.allowed);
  json.Key("passed").Bool(heights.passed);
  json.EndObject();
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
  });
  json.Key("suspect");
  OrNull(json, network.suspect, [&](const Suspect& suspect) {
    WriteSuspect(json, suspect, [&](const ObservationRef& ref) {
      const ObservationReport& o = network.observations[ref.observation];
      json.Key("kind").String(RecordName(o.ref.kind));
      json.Key("line").Integer(o.line);
    });
  });
  json.EndObject();
}

}  // namespace

std::string FormatJson(const BookResult& book, const ReportOptions& options) {
  // A few hundred bytes per angle, leg, point and observation at the most.
  std::size_t items = book.points.size() + (book.network ? book.network->observations.size() : 0);
  for (const BookTraverseResult& traverse : book.traverses) items += ItemCount(traverse.result);
  JsonText json(4096 + 1024 * book.traverses.size() + 640 * items);
  const Settings& settings = book.settings;
  const AngleWriter angle{json, settings.unit};
  json.BeginObject();
  json.Key("program").String("traverse");
  json.Key("version").String(options.version);
  json.Key("source").String(book.source);
  if (book.title) json.Key("title").String(*book.title);
  json.Key("unit").String(UnitName(settings.unit));
  if (book.answerFile) {
    // An answer file's one traverse, its members at the top.
    const BookTraverseResult& traverse = book.traverses.front();
    json.Key("rule").String(RuleName(traverse.result.rule));
    WriteTraverse(json, traverse.job, traverse.result, false);
    json.EndObject();
    return json.Finish();
  }
  json.Key("rule").String(RuleName(settings.rule));
  json.Key("scale").Number(settings.scale);
  json.Key("traverses").BeginArray();
  for (const BookTraverseResult& traverse : book.traverses) {
    json.BeginObject();
    json.Key("name").String(traverse.name);
    json.Key("line").Integer(traverse.line);
    WriteTraverse(json, traverse.job, traverse.result, true);
    json.Key("heights");
    OrNull(json, traverse.result.heights, [&](const HeightResult& h) { WriteHeights(json, h); });
    if (!traverse.fromAbove.empty()) {
      json.Key("known_from_above").BeginObject();
      for (const auto& [name, t] : traverse.fromAbove) json.Key(name).Integer(static_cast<int>(t + 1));
      json.EndObject();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("points").BeginArray();
  for (const NewPoint& point : book.points) {
    json.BeginObject();
    json.Key("name").String(point.point.name);
    json.Key("x").Number(point.point.xy.x);
    json.Key("y").Number(point.point.xy.y);
    if (point.point.z) json.Key("z").Number(*point.point.z);
    if (point.precision) WritePrecision(json, *point.precision, angle);
    json.EndObject();
  }
  json.EndArray();
  json.Key("tolerance").BeginObject();
  json.Key("passed").Bool(book.TolerancesPassed());
  json.EndObject();
  json.Key("network");
  OrNull(json, book.network, [&](const NetworkReport& n) { WriteNetwork(json, n, angle); });
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
  WriteStrings(json.Key("notes"), book.notes);
  json.EndObject();
  return json.Finish();
}

}  // namespace traverse
