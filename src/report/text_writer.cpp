// The adjustment report a surveyor prints and files. Plain text in LF lines;
// ASCII except what the input's name brings, so the columns line up on any
// printer. Tables are sized to their widest cell, so a huge value widens its
// column instead of breaking the alignment.
#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "adjustment/closure.hpp"
#include "adjustment/name_index.hpp"
#include "report/document.hpp"
#include "report/number_text.hpp"
#include "report/plan_model.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {


// How a report writes angles: a field book in D-M-S in D-M-S, else decimal
// in the report's unit; small ones (corrections, spreads, sigmas) in cc or
// arc seconds.
struct AngleFormat {
  AngleUnit unit;
  bool dms;

  std::string Angle(double gon) const { return dms ? DmsText(gon) : AngleText(gon, unit); }
  std::string Unit() const { return dms ? "d-m-s" : UnitName(unit); }
  std::string Small(double gon) const { return SmallAngleText(gon, unit); }
  std::string UnitHeading(std::string_view name) const {
    return std::string(name) + " [" + Unit() + "]";
  }
  std::string SmallHeading(std::string_view name) const {
    return std::string(name) + " [" + SmallUnitName(unit) + "]";
  }
};

// How a report writes lengths: in the job's unit, headed [m], [ft] or
// [usft]; sigmas, residuals and corrections in millimetres whatever the unit.
struct LengthFormat {
  LengthUnit unit;

  const char* Name() const { return LengthUnitName(unit); }
  std::string Heading(std::string_view name) const {
    return std::string(name) + " [" + Name() + "]";
  }
  std::string Millimetres(double length) const {
    return FixedText(length * MetresPer(unit) * 1000, 1);
  }
};

LengthFormat LengthsOf(const BookResult& book) {
  return {book.settings.length};
}

// Everything the sections share: the traverse, the book it is part of and
// how to write them.
struct Context {
  const BookResult& book;
  const BookTraverseResult& traverse;
  int decimals;  // of coordinates and lengths
  const NameIndex<std::optional<double>>& heights;  // of the known points, by name
  bool quadrant = false;  // bearings as N 45-30-00 E
  const Job& job = traverse.job;
  const Adjustment& result = traverse.result;

  // A field book in D-M-S is reported in D-M-S; an answer file keeps its
  // decimal degrees.
  bool Dms() const { return !book.answerFile && job.settings.unit == AngleUnit::Dms; }
  AngleFormat Angles() const { return {job.settings.unit, Dms()}; }
  std::string Angle(double gon) const { return Angles().Angle(gon); }
  // A grid bearing, by quadrant where the report asks for it.
  std::string Bearing(double gon) const {
    if (!quadrant) return Angle(gon);
    const QuadrantBearing q = QuadrantOf(gon);
    return std::string(q.north ? "N " : "S ") + Angle(q.angle) + (q.east ? " E" : " W");
  }
  std::string Unit() const { return Angles().Unit(); }
  std::string Small(double gon) const { return Angles().Small(gon); }
  std::string SmallWithUnit(double gon) const {
    return Small(gon) + ' ' + SmallUnitName(job.settings.unit);
  }
  std::string Metres(double x) const { return FixedText(x, decimals); }
  // Misclosures are a tenth of the coordinates' last place and finer.
  std::string Misclosure(double x) const { return FixedText(x, decimals + 1); }
  // Sigmas, residuals and corrections in millimetres, whatever the unit.
  std::string Millimetres(double length) const { return Lengths().Millimetres(length); }
  LengthFormat Lengths() const { return LengthsOf(book); }
  std::string LengthHeading(std::string_view name) const { return Lengths().Heading(name); }
  const char* LengthName() const { return Lengths().Name(); }
  std::string UnitHeading(std::string_view name) const { return Angles().UnitHeading(name); }
  std::string SmallHeading(std::string_view name) const { return Angles().SmallHeading(name); }
  // Station i of the traverse, the first = 0.
  std::string Station(std::size_t i) const {
    return ValidUtf8(job.stations[std::min(i, job.stations.size() - 1)]);
  }
  // A field book's tables show its readings and lines; an answer file's
  // report keeps its own layout.
  bool Book() const { return !book.answerFile; }
};

// A relative precision 1:N; beyond 1:1000000 the digits of N say nothing
// but how closely the last bits happened to agree.
std::string PrecisionText(double n) {
  return n > 1e6 ? "better than 1:1000000" : "1:" + FixedText(n, 0);
}

// The kind of a traverse from its first station oriented on its mark to its
// last; an answer file's by the dialogue's letters.
std::string KindSentence(const Job& job, TraverseKind kind, bool letters) {
  const auto name = [&](const std::string& text) { return text.empty() ? "a bearing" : ValidUtf8(text); };
  const std::string first = letters ? "B" : name(job.stations.front());
  const std::string last = letters ? "C" : name(job.stations.back());
  const std::string from = " from " + first + " oriented on " + (letters ? "A" : name(job.markA));
  const char* comma = letters ? "," : "";
  switch (kind) {
    case TraverseKind::Connecting:
      return "connecting traverse" + (comma + from) + " to " + last + " oriented on " +
             (letters ? "D" : name(job.markD));
    case TraverseKind::Loop:
      return "closed loop" + (comma + from) + " back to " + first + (letters ? " (C = B, D = A)" : "");
    case TraverseKind::NoEndOrientation:
      return "connecting traverse" + from + " to " + last + ", with no orientation at " + last;
    case TraverseKind::Open:
      return "open traverse" + from + ": it has no check";
  }
  return "";
}

// The report's title and what it was computed from and judged by.
void HeaderSection(const BookResult& book, const ReportOptions& options, Document& d) {
  const Settings& settings = book.settings;
  std::string title = "traverse";
  if (!options.version.empty()) title += ' ' + options.version;
  title += book.answerFile ? " - traverse adjustment" : " - field book adjustment";
  d.Title(title);
  if (book.title) {
    d.Line(ValidUtf8(*book.title));
    d.Blank();
  }

  Fields fields;
  fields.Add("Input", "", ValidUtf8(book.source));
  const std::string small = SmallUnitName(settings.unit);
  if (book.answerFile) {
    const Adjustment& result = book.traverses.front().result;
    fields.Add("Traverse", "", KindSentence(book.traverses.front().job, result.kind, true));
    fields.Add("Rule", "", RuleName(result.rule));
    fields.Add("Angle unit", "",
               std::string(UnitName(settings.unit)) + ", angles measured on the " +
                   (book.traverses.front().job.leftAngles ? "left" : "right") +
                   "; corrections in " + small);
  } else {
    fields.Add("Traverses", IntegerText(static_cast<int>(book.traverses.size())));
    if (!book.setups.empty()) fields.Add("Setups", IntegerText(static_cast<int>(book.setups.size())));
    if (!book.sideshots.empty())
      fields.Add("Sideshots", IntegerText(static_cast<int>(book.sideshots.size())));
    fields.Add("Rule", "", RuleName(settings.rule));
    fields.Add("Angle unit", "",
               std::string(settings.unit == AngleUnit::Dms ? "d-m-s" : UnitName(settings.unit)) +
                   "; corrections in " + small);
    fields.Add("Left angles", "",
               "clockwise from the station behind to the station ahead (US: angle right); "
               "a right angle is a full turn less a left one");
  }
  // A job in feet says so; one in metres keeps the report as it always was.
  if (settings.length != LengthUnit::Metre)
    fields.Add("Length unit", "",
               std::string(LengthUnitWords(settings.length)) + " (" + LengthUnitName(settings.length) +
                   ", " + (settings.length == LengthUnit::Foot ? "0.3048 m" : "1200/3937 m") +
                   "); sigmas, residuals and corrections in mm");
  if (book.grid) {
    const geodesy::GridDefinition& g = book.grid->settings.definition;
    fields.Add("Grid", "",
               ValidUtf8(g.name) + (g.epsg > 0 ? " (EPSG:" + IntegerText(g.epsg) + ")" : "") +
                   ", ellipsoid " + g.ellipsoid.name);
    fields.Add("Mean combined factor", FixedText(book.grid->meanCombinedFactor, 9),
               "ground to grid, every distance reduced by its own");
  } else {
    fields.Add("Scale factor", "", ShortestText(settings.scale));
  }
  fields.Add("Angular tolerance", "",
             settings.angularTolerance
                 ? FixedText(settings.angularTolerance->base, 1) + ' ' + small + " + " +
                       FixedText(settings.angularTolerance->perAngle, 1) + ' ' + small +
                       " * sqrt(n)"
                 : "none");
  fields.Add("Linear tolerance", "",
             settings.linearTolerance ? "1:" + FixedText(*settings.linearTolerance, 0) : "none");
  if (!book.answerFile) {
    fields.Add("Height tolerance", "",
               settings.heightTolerance ? FixedText(*settings.heightTolerance, 1) + " mm * sqrt(km)"
                                        : "none");
    fields.Add("Refraction k", "", ShortestText(book.refraction));
  }
  const bool leastSquares = book.answerFile ? book.traverses.front().result.leastSquares.has_value()
                                            : settings.rule == Rule::LeastSquares;
  if (leastSquares) {
    const Sigmas& run = settings.sigmas;
    std::string sigmas = "angle " + SmallAngleText(run.angleGon, settings.unit) + ' ' + small +
                         ", length " + FixedText(run.lengthMetres * 1000, 1) + " mm + " +
                         FixedText(run.lengthPpm, 1) + " ppm";
    if (!book.answerFile) {
      // A book's `sigma` records override the run's sigmas from their line on.
      std::string records;
      for (const auto& [text, line] : book.sigmaRecords)
        records +=
            (records.empty() ? "" : ", ") + ValidUtf8(text) + " (line " + IntegerText(line) + ")";
      sigmas += run.given ? " (from the command line)" : " (defaults)";
      if (!records.empty()) sigmas = records + "; above them " + sigmas;
    }
    fields.Add("A-priori sigmas", "", sigmas);
  }
  d.Add(std::move(fields), false);
}

// The stations at the ends and the marks, a field book's by name (a mark
// given as a bearing has no coordinates), an answer file's by letter.
void KnownPointsSection(const Context& c, Document& d) {
  const Job& job = c.job;
  const TraverseKind kind = c.result.kind;
  const bool book = c.Book();
  const auto heightOf = [&](const std::string& name) -> std::optional<double> {
    if (const std::optional<double>* z = c.heights.Find(name)) return *z;
    for (const auto& [point, t] : c.traverse.fromAbove)
      if (point.name == name) return point.z;
    return std::nullopt;
  };
  bool anyHeight = false;
  for (const std::string* name : {&job.markA, &job.stations.front(), &job.stations.back(), &job.markD})
    anyHeight = anyHeight || (book && heightOf(*name).has_value());
  Table table(anyHeight ? std::vector<Table::Column>{{"point", true}, {c.LengthHeading("X")}, {c.LengthHeading("Y")}, {c.LengthHeading("H")}}
                        : std::vector<Table::Column>{{"point", true}, {c.LengthHeading("X")}, {c.LengthHeading("Y")}});
  // A book's point is listed once, though it be both a mark and a station
  // (a traverse from A oriented on B to B oriented on A).
  std::vector<const std::string*> listed;
  const auto add = [&](bool shown, const std::string& name, const char* letter, const GridPoint& p) {
    if (!shown) return;
    if (book) {
      if (std::any_of(listed.begin(), listed.end(), [&](const std::string* n) { return *n == name; }))
        return;
      listed.push_back(&name);
    }
    std::string label = book ? ValidUtf8(name) : letter;
    for (const auto& [above, t] : c.traverse.fromAbove)
      if (above.name == name) label += " (from traverse " + IntegerText(static_cast<int>(t + 1)) + ")";
    std::vector<std::string> row = {std::move(label), c.Metres(p.x), c.Metres(p.y)};
    if (anyHeight) {
      const std::optional<double> z = heightOf(name);
      row.push_back(z ? c.Metres(*z) : "");
    }
    table.Add(std::move(row));
  };
  const bool toC = kind == TraverseKind::Connecting || kind == TraverseKind::NoEndOrientation;
  add(!book || !job.markA.empty(), job.markA, "A", job.a);
  add(true, job.stations.front(), "B", job.b);
  add(toC && (!book || job.stations.back() != job.stations.front()), job.stations.back(), "C", job.c);
  add(book ? ClosesOnD(kind) && !job.markD.empty() && job.markD != job.markA
           : kind == TraverseKind::Connecting,
      job.markD, "D", job.d);
  d.Heading("Known points");
  d.Add(std::move(table));
  if (!book) return;
  if (job.markA.empty() && c.traverse.startMarkBearing)
    d.Line("Start orientation: bearing " + c.Bearing(*c.traverse.startMarkBearing) + ' ' + c.Unit() +
               " from " + ValidUtf8(job.stations.front()) + " to its mark",
           true);
  if (job.markD.empty() && c.traverse.endMarkBearing && ClosesOnD(kind))
    d.Line("End orientation: bearing " + c.Bearing(*c.traverse.endMarkBearing) + ' ' + c.Unit() +
               " from " + ValidUtf8(job.stations.back()) + " to its mark",
           true);
}

void AnglesSection(const Context& c, Document& d) {
  std::vector<Table::Column> columns = {{"no."},
                                        {"at", true},
                                        {c.UnitHeading("measured")},
                                        {c.SmallHeading("correction")},
                                        {c.UnitHeading("adjusted")}};
  if (c.Book()) {
    columns.push_back({"readings"});
    columns.push_back({c.SmallHeading("spread")});
    columns.push_back({"line"});
  }
  Table table(std::move(columns));
  for (std::size_t i = 0; i < c.job.angles.size(); ++i) {
    const std::optional<double> correction = AngleCorrectionOf(c.result, i);
    std::vector<std::string> row = {
        IntegerText(static_cast<int>(i + 1)), c.Station(i), c.Angle(c.job.angles[i].value),
        correction ? c.Small(*correction) : "",
        i < c.result.correctedAngles.size() ? c.Angle(c.result.correctedAngles[i]) : ""};
    if (c.Book()) {
      const MeasuredValue& angle = c.job.angles[i];
      row.push_back(IntegerText(angle.readings.count));
      row.push_back(c.Small(angle.readings.spread));
      row.push_back(IntegerText(angle.line));
    }
    table.Add(std::move(row));
  }
  d.Heading("Angles");
  d.Add(std::move(table));
}

// Columns of `picks` that any of `items` has a value in: their headings
// go to `columns`, their numbers are returned.
template <class Item, class Pick>
std::vector<std::size_t> ShownColumns(const std::vector<Item>& items,
                                      const std::vector<std::pair<std::string, Pick>>& picks,
                                      std::vector<Table::Column>& columns) {
  std::vector<std::size_t> shown;
  for (std::size_t k = 0; k < picks.size(); ++k)
    if (std::any_of(items.begin(), items.end(),
                    [&](const Item& item) { return picks[k].second(item).has_value(); })) {
      shown.push_back(k);
      columns.push_back({picks[k].first});
    }
  return shown;
}

void LegsSection(const Context& c, Document& d) {
  std::vector<Table::Column> columns = {{"leg"},         {"from", true}, {"to", true},
                                        {c.UnitHeading("bearing")},
                                        {c.LengthHeading("length")},  {c.LengthHeading("dX")},     {c.LengthHeading("dY")},
                                        {"cX [mm]"},     {"cY [mm]"}};
  // What a field book measured, in the columns where any leg has it: the
  // mean slope distance and face-one zenith, hi and ht, the index error.
  const std::vector<BookLeg>& measured = c.traverse.legs;
  using Pick = std::optional<double> (*)(const BookLeg&);
  const std::vector<std::pair<std::string, Pick>> raw = {
      {c.LengthHeading("slope"), [](const BookLeg& l) { return l.slopeMean; }},
      {c.UnitHeading("zenith"), [](const BookLeg& l) { return l.zenithMean; }},
      {c.LengthHeading("hi"), [](const BookLeg& l) { return l.hi; }},
      {c.LengthHeading("ht"), [](const BookLeg& l) { return l.ht; }},
      {c.SmallHeading("index error"), [](const BookLeg& l) { return l.indexError; }}};
  const std::vector<std::size_t> shown = ShownColumns(measured, raw, columns);
  for (const char* heading : {"readings", "spread [mm]", "line"})
    columns.push_back({c.Book() ? heading : ""});
  Table table(std::move(columns));
  for (std::size_t i = 0; i < c.result.legs.size(); ++i) {
    const AdjustedLeg& leg = c.result.legs[i];
    std::vector<std::string> row = {IntegerText(static_cast<int>(i + 1)), c.Station(i),
                                    c.Station(i + 1), c.Bearing(NormalisedGon(leg.bearing)),
                                    c.Metres(leg.length),
                                    c.Metres(leg.dx), c.Metres(leg.dy),
                                    c.Millimetres(leg.cx), c.Millimetres(leg.cy)};
    for (std::size_t k : shown) {
      const std::optional<double> value = i < measured.size() ? raw[k].second(measured[i]) : std::nullopt;
      row.push_back(!value ? ""
                    : k == 1 ? c.Angle(*value)
                    : k == 4 ? c.Small(*value)
                             : c.Metres(*value));
    }
    if (c.Book() && i < c.job.lengths.size()) {
      const MeasuredValue& length = c.job.lengths[i];
      row.push_back(IntegerText(length.readings.count));
      row.push_back(c.Millimetres(length.readings.spread));
      row.push_back(IntegerText(length.line));
    }
    table.Add(std::move(row));
  }
  d.Heading("Legs (lengths times the scale factor)");
  d.Add(std::move(table));
}

void PointsSection(const Context& c, Document& d) {
  std::vector<Table::Column> columns = {{"point", c.Book()}, {c.LengthHeading("X")}, {c.LengthHeading("Y")}};
  const LeastSquaresResult* ls = c.result.leastSquares ? &*c.result.leastSquares : nullptr;
  if (ls) {
    for (const char* heading : {"sX [mm]", "sY [mm]", "a [mm]", "b [mm]"}) {
      columns.push_back({heading});
    }
    columns.push_back({c.UnitHeading("bearing of a")});
  }
  Table table(std::move(columns));
  for (std::size_t i = 0; i < c.result.points.size(); ++i) {
    const GridPoint& point = c.result.points[i];
    std::vector<std::string> row = {c.Station(i + 1), c.Metres(point.x), c.Metres(point.y)};
    if (ls && i < ls->precision.size()) {
      const PointPrecision& p = ls->precision[i];
      for (double metres : {p.sx, p.sy, p.a, p.b}) row.push_back(c.Millimetres(metres));
      row.push_back(FixedText(GonToUnit(p.bearing, c.job.settings.unit), 1));
    }
    table.Add(std::move(row));
  }
  d.Heading("New points");
  if (c.result.points.empty()) {
    d.Line("none", true);
    return;
  }
  d.Add(std::move(table));
  if (ls) d.Line("a, b: semi-axes of the standard error ellipse", true);
}

void MisclosureSection(const Context& c, Document& d) {
  const Adjustment& r = c.result;
  Fields fields;
  const std::string unit = c.Unit(), small = SmallUnitName(c.job.settings.unit);
  // A field book's by its stations' names, each bearing from the station to
  // its mark; an answer file's by the dialogue's letters.
  const std::string dash = "\xE2\x80\x93";  // an en dash: names may hold hyphens
  const std::string first = c.Station(0), last = c.Station(c.job.stations.size() - 1);
  const auto towards = [&](const std::string& station, const std::string& mark) {
    return mark.empty() ? station + " to its mark" : station + dash + ValidUtf8(mark);
  };
  const std::string along = c.Book() ? first + dash + last : "B-C";
  if (c.Book()) {
    fields.Add("Start bearing " + towards(first, c.job.markA),
               c.Bearing(c.traverse.startMarkBearing.value_or(0)), unit);
  } else {
    fields.Add("Start bearing A-B", c.Bearing(r.startBearing), unit);
  }
  const std::string end = c.Book() ? "End bearing " + towards(last, c.job.markD) : "End bearing C-D";
  if (r.endBearing) {
    fields.Add(end, c.Bearing(*r.endBearing), unit);
  } else {
    fields.Add(c.Book() ? "End bearing" : end, "", "none");
  }
  fields.Add("Sum of angles", c.Angle(r.measuredAngleSum), unit);
  if (r.requiredAngleSum) fields.Add("Required sum", c.Angle(*r.requiredAngleSum), unit);
  if (r.angularMisclosure) {
    fields.Add("Angular misclosure fb", c.Small(*r.angularMisclosure), small);
    if (!r.leastSquares) fields.Add("Correction per angle", c.Small(r.angleCorrection), small);
  } else {
    fields.Add("Angular misclosure fb", "", "none: no orientation at " + (c.Book() ? last : "C"));
  }
  if (r.linear) {
    const LinearMisclosure& f = *r.linear;
    fields.Add("fX", c.Misclosure(f.x), c.LengthName());
    fields.Add("fY", c.Misclosure(f.y), c.LengthName());
    fields.Add("fL", c.Misclosure(f.length), c.LengthName());
    fields.Add("Bearing of fL", c.Bearing(f.bearing), unit);
    for (const auto& [label, value] :
         {std::pair{"Along " + along, f.along}, std::pair{"Across " + along, f.across}}) {
      if (value) {
        fields.Add(label, c.Misclosure(*value), c.LengthName());
      } else {
        fields.Add(label, "", "none");
      }
    }
  } else {
    fields.Add("Linear misclosure", "", "none: the traverse has no check");
  }
  if (r.scaleErrorPpm)
    fields.Add("Scale error", FixedText(*r.scaleErrorPpm, 0),
               "ppm: the misclosure lies along the line; a grid or scale factor missing?");
  fields.Add("Total length", c.Metres(r.totalLength), c.LengthName());
  if (r.relativePrecision) {
    fields.Add("Relative precision", PrecisionText(*r.relativePrecision));
  } else {
    fields.Add("Relative precision", "", "none");
  }
  if (const std::optional<LoopArea>& area = r.area) {
    // In square metres and hectares, or square feet and acres (43,560
    // square feet of the job's foot).
    const bool feet = IsFoot(c.job.settings.length);
    const auto add = [&](const char* label, double value) {
      fields.Add(label, FixedText(value, 2),
                 feet ? std::string(c.LengthName()) + "2 = " + FixedText(value / 43560, 4) + " acres"
                      : "m2 = " + FixedText(value / 10000, 4) + " ha");
    };
    add("Area before adjustment", area->before);
    add("Area after adjustment", area->after);
  }
  d.Heading("Misclosures");
  d.Add(std::move(fields), true);
}

void ToleranceSection(const Context& c, Document& d) {
  const Adjustment& r = c.result;
  d.Heading("Tolerances");
  // The gross-error guard, on whether or not tolerances were given.
  const auto gross = [&] {
    if (!r.gross) return;
    std::string tripped = r.gross->angular && r.gross->linear ? "the angular and the linear misclosure"
                          : r.gross->angular                  ? "the angular misclosure"
                                                              : "the linear misclosure";
    // The likely causes are among the notes.
    d.Line("GROSS: " + tripped + " is beyond what a survey gives", true, true);
  };
  // Under least squares a failed global test and a suspect are part of the
  // verdict, tolerances or none.
  const bool testFailed = !r.GlobalTestPassed();
  const bool suspect = r.leastSquares && r.suspect;
  const auto leastSquares = [&] {
    if (testFailed)
      d.Line("Global test FAILED: the residuals are larger than the a-priori sigmas allow", true,
             true);
    if (suspect) d.Line("A blunder is suspected: see \"Suspected blunder\" below", true, testFailed);
  };
  if (!r.angularVerdict && !r.linearVerdict && !(r.heights && r.heights->allowed)) {
    if (r.gross) {
      gross();
      d.Line("Overall: GROSS", true, true);
      return;
    }
    if (testFailed || suspect) {
      leastSquares();
      d.Line(testFailed ? "Overall: the global test FAILED"
                        : "Overall: no tolerance was given; a blunder is suspected",
             true, testFailed);
      return;
    }
    d.Line("none checked", true);
    return;
  }
  Table table({{"check", true}, {"allowed"}, {"actual"}, {"verdict", true}});
  // Only a failure is marked as an alarm (red on the page).
  const auto add = [&](const char* check, std::string allowed, std::string actual, bool passed) {
    table.Add({check, std::move(allowed), std::move(actual), passed ? "passed" : "EXCEEDED"},
              passed ? -1 : 3);
  };
  const std::string small = SmallUnitName(c.job.settings.unit);
  if (const std::optional<Verdict>& v = r.angularVerdict)
    add("angular", FixedText(v->allowed, 1) + ' ' + small, FixedText(v->actual, 1) + ' ' + small,
        v->passed);
  if (const std::optional<Verdict>& v = r.linearVerdict)
    add("linear", "1:" + FixedText(v->allowed, 0), PrecisionText(v->actual), v->passed);
  if (r.heights && r.heights->allowed) {
    const HeightResult& h = *r.heights;
    add("height", c.Millimetres(*h.allowed) + " mm",
        h.misclosure ? c.Millimetres(std::fabs(*h.misclosure)) + " mm" : "none", h.passed);
  }
  d.Add(std::move(table));
  gross();
  leastSquares();
  d.Line(std::string("Overall: ") +
             (r.gross        ? "GROSS"
              : testFailed   ? "the global test FAILED"
              : !r.TolerancesPassed() ? "EXCEEDED"
              : suspect      ? "passed, but a blunder is suspected"
                             : "passed"),
         true, !r.TolerancesPassed());
}

void ExpectedSection(const Context& c, Document& d) {
  const Adjustment& r = c.result;
  if (!r.expected) return;
  const ExpectedMisclosure& e = *r.expected;
  Table table({{"misclosure", true}, {"actual"}, {"expected sigma"}, {"ratio"}});
  const auto ratio = [](const std::optional<double>& x) { return x ? FixedText(*x, 2) : ""; };
  if (e.angular) {
    table.Add({"angular", r.angularMisclosure ? c.SmallWithUnit(*r.angularMisclosure) : "",
               c.SmallWithUnit(*e.angular), ratio(e.angularRatio)});
  }
  const auto addLinear = [&](const char* name, const std::optional<double>& actual,
                             const std::optional<double>& sigma, const std::optional<double>& q) {
    if (!sigma) return;
    table.Add({name, actual ? c.Millimetres(*actual) + " mm" : "",
               c.Millimetres(*sigma) + " mm", ratio(q)});
  };
  addLinear("along", r.linear ? r.linear->along : std::nullopt, e.along, e.alongRatio);
  addLinear("across", r.linear ? r.linear->across : std::nullopt, e.across, e.acrossRatio);
  d.Heading("Expected misclosures (from the a-priori sigmas)");
  d.Add(std::move(table));
}

// Where a field book's observation stands: an angle at its station, a
// length from its leg's first station to the next, with the book line.
std::string ObservationPlace(const Context& c, const ObservationRef& ref) {
  const std::size_t i = static_cast<std::size_t>(ref.index - 1);
  const bool angle = ref.kind == ObservationKind::Angle;
  const std::vector<MeasuredValue>& values = angle ? c.job.angles : c.job.lengths;
  std::string place = angle ? "at " + c.Station(i) : c.Station(i) + "-" + c.Station(i + 1);
  if (i < values.size()) place += " (line " + IntegerText(values[i].line) + ")";
  return place;
}

// What a least-squares adjustment tells of itself as a whole.
Fields StatisticsFields(const AdjustmentStatistics& s) {
  Fields fields;
  fields.Add("sigma0", FixedText(s.sigma0, 3));
  fields.Add("Redundancy", IntegerText(s.redundancy));
  fields.Add("Iterations", IntegerText(s.iterations),
             s.converged ? "(converged)" : "(NOT converged)", !s.converged);
  const GlobalTest& g = s.globalTest;
  fields.Add("Global test vTPv", FixedText(g.value, 2),
             "bounds [" + FixedText(g.lower, 2) + ", " + FixedText(g.upper, 2) +
                 "]: " + (g.passed ? "passed" : "FAILED"),
             !g.passed);
  return fields;
}

// The suspect's line, and the observations it cannot be told from, each
// named by `name`.
template <class Name>
void SuspectLines(Document& d, const Suspect& suspect, Name name) {
  d.Line("Suspected blunder: " + name(suspect.ref) + " (w = " + FixedText(suspect.w, 1) + ")", false,
         true);
  const std::vector<ObservationRef>& others = suspect.alternatives;
  if (others.empty()) return;
  std::string text = "It cannot be told apart from ";
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (i > 0) text += i + 1 == others.size() ? " and " : ", ";
    text += name(others[i]);
  }
  d.Line(text + ", whose |w| lie within 5 % of its own.", false, true);
}

bool IsSuspect(const Adjustment& r, const ObservationRef& ref) {
  return r.suspect && r.suspect->ref.kind == ref.kind && r.suspect->ref.index == ref.index;
}

void LeastSquaresSection(const Context& c, Document& d) {
  if (!c.result.leastSquares) return;
  const LeastSquaresResult& ls = *c.result.leastSquares;
  Table table({{"kind", true},
               {c.Book() ? "observation" : "no.", c.Book()},
               {"measured"},
               {"", true},
               {"residual"},
               {"", true},
               {"w"},
               {"", true}});
  for (const ObservationReport& o : ls.observations) {
    const bool isAngle = o.ref.kind == ObservationKind::Angle;
    table.Add({ObservationName(o.ref.kind),
               c.Book() ? ObservationPlace(c, o.ref) : IntegerText(o.ref.index),
               isAngle ? c.Angle(o.measured) : c.Metres(o.measured), isAngle ? c.Unit() : c.LengthName(),
               isAngle ? c.Small(o.residual) : c.Millimetres(o.residual),
               isAngle ? SmallUnitName(c.job.settings.unit) : "mm", o.w ? FixedText(*o.w, 2) : "",
               IsSuspect(c.result, o.ref) ? "<- suspect" : ""},
              7);
  }
  d.Heading("Least squares");
  d.Add(StatisticsFields(ls), true);
  d.Blank();
  d.Line("Observations (w: standardised residual)", true);
  d.Add(std::move(table));
}

std::string RefText(const Context& c, const ObservationRef& ref) {
  if (c.Book()) return std::string(ObservationName(ref.kind)) + ' ' + ObservationPlace(c, ref);
  return std::string(ObservationName(ref.kind)) + ' ' + IntegerText(ref.index);
}

void SuspectSection(const Context& c, Document& d) {
  const Adjustment& r = c.result;
  d.Blank();
  if (r.kind == TraverseKind::Open) {
    d.Line("No blunder can be detected: the traverse has no check.");
    return;
  }
  if (!r.suspect) {
    // A network's traverses leave the blunder search to the network.
    d.Line(c.book.network ? "Blunders are looked for in the network adjustment below"
                          : "No suspected blunder");
    return;
  }
  SuspectLines(d, *r.suspect, [&](const ObservationRef& ref) { return RefText(c, ref); });
}

void NotesSection(const std::vector<std::string>& notes, Document& d) {
  if (notes.empty()) return;
  d.Heading("Notes");
  for (const std::string& note : notes) d.Line(ValidUtf8(note), true);
}

// The heights carried by trigonometric levelling: each leg's dH and its
// correction, the misclosure on the last station and its verdict.
void HeightsSection(const Context& c, Document& d) {
  if (!c.result.heights) return;
  const HeightResult& h = *c.result.heights;
  Table table({{"leg"}, {"from", true}, {"to", true}, {c.LengthHeading("dH")}, {"correction [mm]"}, {c.LengthHeading("H")}});
  for (std::size_t i = 0; i < h.dh.size(); ++i) {
    table.Add({IntegerText(static_cast<int>(i + 1)), c.Station(i), c.Station(i + 1),
               c.Metres(h.dh[i]), i < h.corrections.size() ? c.Millimetres(h.corrections[i]) : "",
               i < h.z.size() ? c.Metres(h.z[i]) : ""});
  }
  Fields fields;
  if (h.misclosure) {
    fields.Add("Height misclosure fH", c.Millimetres(*h.misclosure), "mm");
  } else {
    fields.Add("Height misclosure fH", "", "none: the last station has no height");
  }
  if (h.allowed)
    fields.Add("Allowed", c.Millimetres(*h.allowed), h.passed ? "mm: passed" : "mm: EXCEEDED",
               !h.passed);
  d.Heading("Heights (trigonometric levelling)");
  d.Add(std::move(table));
  d.Add(std::move(fields), true);
}

void TraverseSections(const Context& c, Document& d) {
  KnownPointsSection(c, d);
  AnglesSection(c, d);
  LegsSection(c, d);
  PointsSection(c, d);
  MisclosureSection(c, d);
  HeightsSection(c, d);
  ToleranceSection(c, d);
  ExpectedSection(c, d);
  LeastSquaresSection(c, d);
  SuspectSection(c, d);
  NotesSection(c.result.notes, d);
}

// Where a record of its own stands: at its station from one point to
// another, or from one point to another; a mark without a name is "(mark)".
std::string RecordPlace(ObservationKind kind, const std::string& at,
                        const std::optional<std::string>& from,
                        const std::optional<std::string>& to) {
  const std::string line =
      (from ? ValidUtf8(*from) : "(mark)") + " to " + (to ? ValidUtf8(*to) : "(mark)");
  return kind == ObservationKind::Angle ? "at " + ValidUtf8(at) + ": " + line : line;
}

// Where a network's observation stands, with its setup's line where it has one.
std::string NetworkPlace(const ObservationReport& o) {
  const std::string where = RecordPlace(o.ref.kind, o.at, o.from, o.to);
  return o.setup > 0 ? where + ", setup line " + IntegerText(o.setup) : where;
}

// A network's suspect (the plan's or the heights'), each observation named
// by its record (or its source, for a height difference), line and place;
// `none` where there is none.
void NetworkSuspectLines(Document& d, const std::optional<Suspect>& suspect,
                         const NetworkReport& n, const char* none) {
  if (!suspect) {
    d.Line(none);
    return;
  }
  SuspectLines(d, *suspect, [&](const ObservationRef& ref) {
    const ObservationReport& o = n.observations[ref.observation];
    const std::string what = o.ref.kind != ObservationKind::HeightDifference ? RecordName(o.ref.kind)
                             : o.levelled ? "levelling"
                                          : "height difference";
    return what + " on line " + IntegerText(o.line) + " (" + NetworkPlace(o) + ")";
  });
}

// Under compass and transit, each free record against the adjusted points.
void ChecksSection(const BookResult& book, Document& d) {
  if (book.checks.empty()) return;
  const AngleUnit unit = book.settings.unit;
  const LengthFormat lengths = LengthsOf(book);
  const bool dms = unit == AngleUnit::Dms;
  d.Section("Checks (free records against the adjusted points)");
  Table table({{"kind", true}, {"line"}, {"observation", true}, {"measured"}, {"computed"},
               {"", true}, {"difference"}, {"", true}});
  for (const Check& c : book.checks) {
    const bool angle = c.kind != ObservationKind::Distance;
    const auto value = [&](double v) {
      return !angle ? FixedText(v, 4) : dms ? DmsText(v) : AngleText(v, unit);
    };
    table.Add({RecordName(c.kind), IntegerText(c.line), RecordPlace(c.kind, c.at, c.from, c.to),
               value(c.measured), value(c.computed), !angle ? lengths.Name() : dms ? "d-m-s" : UnitName(unit),
               angle ? SmallAngleText(c.Difference(), unit) : lengths.Millimetres(c.Difference()),
               angle ? SmallUnitName(unit) : "mm"});
  }
  d.Add(std::move(table));
  d.Line("difference: measured less computed; distances times the scale factor", true);
}

// The network: its statistics, every observation with its book line, and
// the suspect.
void NetworkSection(const BookResult& book, Document& d) {
  if (!book.network) return;
  const NetworkReport& n = *book.network;
  const auto height = [](const ObservationReport& o) {
    return o.ref.kind == ObservationKind::HeightDifference;
  };
  // A book of levelling alone has no plan network.
  if (std::all_of(n.observations.begin(), n.observations.end(), height)) return;
  const AngleUnit unit = book.settings.unit;
  d.Section("Network adjustment (least squares, every observation together)");
  d.Add(StatisticsFields(n), true);
  Table table({{"kind", true},
               {"line"},
               {"observation", true},
               {"measured"},
               {"", true},
               {"residual"},
               {"", true},
               {"w"},
               {"r"},
               {"", true}});
  for (std::size_t i = 0; i < n.observations.size(); ++i) {
    const ObservationReport& o = n.observations[i];
    if (height(o)) continue;  // the network of heights has its own section
    const bool isAngle = o.ref.kind != ObservationKind::Distance;
    const bool suspect = n.suspect && n.suspect->ref.observation == i;
    table.Add({RecordName(o.ref.kind), IntegerText(o.line), NetworkPlace(o),
               isAngle ? AngleText(o.measured, unit) : FixedText(o.measured, 4),
               isAngle ? UnitName(unit) : LengthsOf(book).Name(),
               isAngle ? SmallAngleText(o.residual, unit) : LengthsOf(book).Millimetres(o.residual),
               isAngle ? SmallUnitName(unit) : "mm", o.w ? FixedText(*o.w, 2) : "",
               FixedText(o.redundancyNumber, 2), suspect ? "<- suspect" : ""},
              9);
  }
  d.Blank();
  d.Line("Observations (w: standardised residual, r: redundancy number)", true);
  d.Add(std::move(table));
  d.Blank();
  NetworkSuspectLines(d, n.suspect, n, "No suspected blunder");
}

// The network of heights: its statistics, every height difference with its
// residual, w and r, the suspect, and the heights of points that are no new
// points of the plan.
void HeightNetworkSection(const BookResult& book, int decimals, Document& d) {
  if (!book.heightNetwork) return;
  const HeightNetworkReport& h = *book.heightNetwork;
  const NetworkReport& n = *book.network;
  d.Section("Height network (least squares, every height difference together)");
  d.Add(StatisticsFields(h), true);
  if (h.redundancy == 0) d.Line("No redundancy: the heights carry their a-priori sigmas", true);
  Table table({{"source", true}, {"line"}, {"observation", true}, {LengthsOf(book).Heading("dH")}, {"residual [mm]"},
               {"sigma [mm]"}, {"w"}, {"r"}, {"", true}});
  for (std::size_t i = 0; i < n.observations.size(); ++i) {
    const ObservationReport& o = n.observations[i];
    if (o.ref.kind != ObservationKind::HeightDifference) continue;
    const bool suspect = h.suspect && h.suspect->ref.observation == i;
    table.Add({o.levelled ? "levelling" : "trigonometric", IntegerText(o.line), NetworkPlace(o),
               FixedText(o.measured, 4), LengthsOf(book).Millimetres(o.residual),
               LengthsOf(book).Millimetres(o.sigma), o.w ? FixedText(*o.w, 2) : "",
               FixedText(o.redundancyNumber, 2), suspect ? "<- suspect" : ""},
              8);
  }
  d.Blank();
  d.Line("Height differences (w: standardised residual, r: redundancy number)", true);
  d.Add(std::move(table));
  d.Blank();
  if (!h.heightsOnly.empty()) {
    Table points({{"point", true}, {LengthsOf(book).Heading("H")}, {"sH [mm]"}});
    for (const HeightOnlyPoint& p : h.heightsOnly)
      points.Add({ValidUtf8(p.name), FixedText(p.z, decimals), LengthsOf(book).Millimetres(p.sigma)});
    d.Line("Heights of points without new coordinates", true);
    d.Add(std::move(points));
    d.Blank();
  }
  NetworkSuspectLines(d, h.suspect, n, "No height difference is suspected of a blunder");
}

// The precision of each pair of the network's points relative to each
// other, written as it streams (a grid of setups has thousands), with the
// relative tolerance's verdicts.
void RelativeSection(const BookResult& book, Document& d) {
  if (!book.network || book.network->relative.empty()) return;
  const std::vector<RelativeReport>& pairs = book.network->relative;
  const std::optional<RelativeTolerance>& tolerance = book.settings.relativeTolerance;
  d.Section("Relative precision");
  d.Line("a, b: semi-axes of the relative standard ellipse; 95 %: " + ShortestText(Confidence95) +
             " a, the semi-major axis of the 95 % relative confidence ellipse (ALTA/NSPS)",
         true);
  if (tolerance)
    d.Line("Allowed: " + ShortestText(tolerance->millimetres) + " mm + " +
               ShortestText(tolerance->ppm) + " ppm of the distance",
           true);
  std::vector<Table::Column> columns = {{"from", true}, {"to", true},   {"line"},
                                        {LengthsOf(book).Heading("distance")}, {"a [mm]"},   {"b [mm]"},
                                        {std::string("bearing of a [") + UnitName(book.settings.unit) + "]"},
                                        {"sd [mm]"},      {"95 % [mm]"}};
  if (tolerance)
    for (const char* heading : {"allowed [mm]", ""}) columns.push_back({heading, !*heading});
  d.AddRows(columns, pairs.size(), [&](std::size_t i, std::vector<std::string>& row) {
    const RelativeReport& r = pairs[i];
    row = {ValidUtf8(r.from), ValidUtf8(r.to), r.line > 0 ? IntegerText(r.line) : "",
           FixedText(r.distance, 3), LengthsOf(book).Millimetres(r.ellipse.a),
           LengthsOf(book).Millimetres(r.ellipse.b),
           FixedText(GonToUnit(r.ellipse.bearing, book.settings.unit), 1),
           LengthsOf(book).Millimetres(r.sigmaDistance), LengthsOf(book).Millimetres(r.Precision95())};
    if (r.allowed) {
      row.push_back(LengthsOf(book).Millimetres(*r.allowed));
      row.push_back(r.passed ? "passed" : "EXCEEDED");
    }
  });
  if (!tolerance) return;
  const std::size_t failures = book.network->RelativeFailures();
  d.Line(failures == 0 ? "Every pair is within the relative tolerance"
                       : IntegerText(static_cast<int>(failures)) + " of " +
                             IntegerText(static_cast<int>(pairs.size())) +
                             " pairs EXCEED the relative tolerance",
         true, failures > 0);
}

// One setup: what the instrument's faces say of it, the sigma of a
// direction from the rounds, the reduced directions, the rounds with those
// flagged named, the face pairs, and the orientation under least squares.
void SetupSection(const SetupResult& result, std::size_t number, const AngleFormat& a,
                  const LengthFormat& lengths, int decimals, Document& d) {
  const BookSetup& s = result.setup;
  const std::string small = SmallUnitName(a.unit);
  const auto count = [](std::size_t n, const std::string& what) {
    return IntegerText(static_cast<int>(n)) + ' ' + what + (n == 1 ? "" : "s");
  };
  d.Section("Setup " + IntegerText(static_cast<int>(number)) + " at " + ValidUtf8(s.station) +
            " (line " + IntegerText(s.line) + ")");
  Fields fields;
  if (s.hi) fields.Add("Instrument height hi", FixedText(*s.hi, decimals), lengths.Name());
  if (s.pairs.empty()) {
    fields.Add("Collimation c", "", "none: no target read in both faces");
  } else {
    fields.Add("Collimation c", a.Small(s.collimation),
               small + ", the mean of " + count(s.pairs.size(), "face pair"));
  }
  if (s.indexError) fields.Add("Index error i", a.Small(*s.indexError), small);
  if (s.directionSigma) {
    fields.Add("Sigma of a direction", a.Small(*s.directionSigma),
               small + " from " + count(s.rounds.size(), "round") + ", " +
                   count(static_cast<std::size_t>(std::max(s.degreesOfFreedom, 0)), "degree") +
                   " of freedom");
  } else {
    fields.Add("Sigma of a direction", "", "none: the rounds give no redundancy");
  }
  if (result.orientation)
    fields.Add("Orientation", a.Angle(*result.orientation),
               a.Unit() + (result.orientationSigma
                               ? ", sigma " + a.Small(*result.orientationSigma) + ' ' + small
                               : std::string()));
  d.Add(std::move(fields), true);

  std::vector<Table::Column> columns = {{"target", true}, {"line"}, {a.UnitHeading("direction")},
                                        {a.SmallHeading("spread")}, {"rounds"}};
  using Pick = std::optional<double> (*)(const SetupDirection&);
  const std::vector<std::pair<std::string, Pick>> picks = {
      {a.UnitHeading("zenith"), [](const SetupDirection& x) { return x.zenith; }},
      {lengths.Heading("slope"), [](const SetupDirection& x) { return x.slope; }},
      {lengths.Heading("horizontal"), [](const SetupDirection& x) { return x.horizontal; }},
      {lengths.Heading("ht"), [](const SetupDirection& x) { return x.ht; }},
      {lengths.Heading("dH"), [](const SetupDirection& x) { return x.dh; }}};
  const std::vector<std::size_t> shown = ShownColumns(s.directions, picks, columns);
  const bool described = std::any_of(s.directions.begin(), s.directions.end(), [](const SetupDirection& x) {
    return !x.code.empty() || !x.description.empty() || x.oneFace;
  });
  if (described)
    for (const char* heading : {"code", "description", ""}) columns.push_back({heading, true});
  Table table(std::move(columns));
  for (const SetupDirection& x : s.directions) {
    std::vector<std::string> row = {ValidUtf8(x.target), IntegerText(x.line), a.Angle(x.direction),
                                    a.Small(x.spread), IntegerText(x.rounds)};
    for (std::size_t k : shown) {
      const std::optional<double> value = picks[k].second(x);
      row.push_back(!value ? "" : k == 0 ? a.Angle(*value) : FixedText(*value, decimals));
    }
    if (described) {
      row.push_back(ValidUtf8(x.code));
      row.push_back(ValidUtf8(x.description));
      row.push_back(x.oneFace ? "one face" : "");
    }
    table.Add(std::move(row));
  }
  d.Heading(s.directions.empty()
                ? "Directions"
                : "Directions (from " + ValidUtf8(s.directions.front().target) + ", meaned over the rounds)");
  d.Add(std::move(table));
  if (described && std::any_of(s.directions.begin(), s.directions.end(),
                               [](const SetupDirection& x) { return x.oneFace; }))
    d.Line("one face: read once, the setup's mean c and i applied", true);

  if (!s.rounds.empty()) {
    Table rounds({{"round"}, {"lines", true}, {a.SmallHeading("largest residual")}, {"", true}});
    for (const SetupRound& r : s.rounds)
      rounds.Add({IntegerText(r.number), IntegerText(r.firstLine) + "-" + IntegerText(r.lastLine),
                  a.Small(r.largestResidual), r.flagged ? "FLAGGED" : ""},
                 3);
    d.Heading("Rounds");
    d.Add(std::move(rounds));
    for (const SetupRound& r : s.rounds)
      if (r.flagged)
        d.Line("Round " + IntegerText(r.number) + " (lines " + IntegerText(r.firstLine) + "-" +
                   IntegerText(r.lastLine) + ") has a residual of " + a.Small(r.largestResidual) +
                   ' ' + small + ", above three times the sigma of a direction",
               true, true);
  }
  if (!s.pairs.empty()) {
    Table pairs({{"target", true}, {"lines", true}, {a.SmallHeading("c")}, {a.SmallHeading("i")}});
    for (const FacePair& p : s.pairs)
      pairs.Add({ValidUtf8(p.target), IntegerText(p.lineI) + ", " + IntegerText(p.lineII),
                 a.Small(p.collimation), p.indexError ? a.Small(*p.indexError) : ""});
    d.Heading("Face pairs");
    d.Add(std::move(pairs));
  }
}

// Every sideshot in one table, written as it streams: a book may have a
// hundred thousand. The note says what they cannot show.
void SideshotSection(const BookResult& book, int decimals, Document& d) {
  const std::vector<Sideshot>& shots = book.sideshots;
  if (shots.empty()) return;
  bool heights = false, precision = false, described = false;
  for (const Sideshot& shot : shots) {
    heights = heights || shot.z.has_value();
    precision = precision || shot.precision.has_value();
    described = described || !shot.code.empty() || !shot.description.empty();
  }
  std::vector<Table::Column> columns = {{"point", true}, {"from", true}, {"line"}, {LengthsOf(book).Heading("X")}, {LengthsOf(book).Heading("Y")}};
  if (heights) columns.push_back({LengthsOf(book).Heading("H")});
  if (precision)
    for (const char* heading : {"sX [mm]", "sY [mm]"}) columns.push_back({heading});
  if (described)
    for (const char* heading : {"code", "description"}) columns.push_back({heading, true});
  d.Section("Sideshots");
  d.Line("Sideshots are radiated from their stations after the adjustment and have no check: "
         "a blunder in one cannot show.",
         true);
  if (!precision) d.Line("Under " + std::string(RuleName(book.settings.rule)) + " they carry no sigma.", true);
  d.AddRows(columns, shots.size(), [&](std::size_t i, std::vector<std::string>& row) {
    const Sideshot& shot = shots[i];
    row = {ValidUtf8(shot.name), ValidUtf8(shot.from), IntegerText(shot.line),
           FixedText(shot.xy.x, decimals), FixedText(shot.xy.y, decimals)};
    if (heights) row.push_back(shot.z ? FixedText(*shot.z, decimals) : "");
    if (precision) {
      row.push_back(shot.precision ? LengthsOf(book).Millimetres(shot.precision->sx) : "");
      row.push_back(shot.precision ? LengthsOf(book).Millimetres(shot.precision->sy) : "");
    }
    if (described) {
      row.push_back(ValidUtf8(shot.code));
      row.push_back(ValidUtf8(shot.description));
    }
  });
}

// The reduction to the grid: every point's place on the ellipsoid, scale
// factor and convergence, every distance's factors, every angle's and
// direction's arc-to-chord correction.
void GridSection(const BookResult& book, int decimals, Document& d) {
  if (!book.grid) return;
  const GridReport& grid = *book.grid;
  const AngleUnit unit = book.settings.unit;
  d.Section("On the grid: " + ValidUtf8(grid.settings.definition.name));
  Fields fields;
  fields.Add("Mean combined factor", FixedText(grid.meanCombinedFactor, 9));
  fields.Add("Adjustments", IntegerText(grid.iterations),
             "on observations reduced at the places adjusted, until nothing moved 0.1 mm");
  const std::string unitName = LengthsOf(book).Name();
  if (grid.settings.geoid) fields.Add("Geoid N", FixedText(*grid.settings.geoid, 3), unitName);
  if (grid.settings.meanHeight)
    fields.Add("Mean height", FixedText(*grid.settings.meanHeight, 3),
               unitName + ", of every point without one");
  d.Add(fields, true);

  d.Heading("Points: latitude, longitude (d-m-s), ellipsoidal height, scale factor k, convergence");
  Table points({{"point", true}, {"latitude"}, {"longitude"}, {LengthsOf(book).Heading("h")}, {"k"}, {"convergence"}});
  const auto add = [&](const std::string& name, const std::optional<geodesy::PointFactors>& map,
                       const std::optional<double>& h) {
    if (!map) return;
    points.Add({ValidUtf8(name), DmsText(map->at.lat / 0.9, 5), DmsText(map->at.lon / 0.9, 5),
                h ? FixedText(*h, decimals) : "", FixedText(map->k, 9),
                DmsText(map->convergence / 0.9, 2)});
  };
  for (const NamedPoint& p : book.known) add(p.name, p.map, p.h);
  for (const NewPoint& p : book.points) add(p.point.name, p.point.map, p.point.h);
  for (const Sideshot& s : book.sideshots) add(s.name, s.map, s.h);
  d.Add(points);

  d.Heading("Distances: ground to ellipsoid (height factor) to grid (line scale factor)");
  Table lines({{"line"}, {"from", true}, {"to", true}, {LengthsOf(book).Heading("ground")}, {"height factor"},
               {"scale factor"}, {"combined"}, {LengthsOf(book).Heading("grid")}});
  const auto line = [&](const LineOnGrid& l) {
    lines.Add({IntegerText(l.line), ValidUtf8(l.from), ValidUtf8(l.to), FixedText(l.ground, 4),
               FixedText(l.heightFactor, 9), FixedText(l.scaleFactor, 9), FixedText(l.Combined(), 9),
               FixedText(l.grid, 4)});
  };
  for (const BookTraverseResult& t : book.traverses)
    for (const LineOnGrid& l : t.gridLegs) line(l);
  for (const LineOnGrid& l : grid.lines) line(l);
  for (const SetupResult& s : book.setups)
    for (const std::optional<LineOnGrid>& l : s.gridLines)
      if (l) line(*l);
  d.Add(lines);

  d.Heading(std::string("Angles and directions: arc-to-chord correction (grid less measured) [") +
            SmallUnitName(unit) + "]");
  Table angles({{"line"}, {"at", true}, {"observation", true}, {"correction"}});
  for (const BookTraverseResult& t : book.traverses)
    for (std::size_t i = 0; i < t.arcToChord.size(); ++i)
      angles.Add({IntegerText(i < t.job.angles.size() ? t.job.angles[i].line : t.line),
                  ValidUtf8(i < t.job.stations.size() ? t.job.stations[i] : std::string()),
                  "angle of traverse " + ValidUtf8(t.name), SmallAngleText(t.arcToChord[i], unit, 2)});
  for (const AngleOnGrid& a : grid.angles)
    angles.Add({IntegerText(a.line), ValidUtf8(a.at), "angle " + ValidUtf8(a.from) + " to " + ValidUtf8(a.to),
                SmallAngleText(a.arcToChord, unit, 2)});
  for (const SetupResult& s : book.setups)
    for (std::size_t i = 1; i < s.arcToChord.size() && i < s.setup.directions.size(); ++i)
      angles.Add({IntegerText(s.setup.directions[i].line), ValidUtf8(s.setup.station),
                  "direction to " + ValidUtf8(s.setup.directions[i].target),
                  SmallAngleText(s.arcToChord[i], unit, 2)});
  d.Add(angles);
  NotesSection(grid.notes, d);
}

void BookPointsSection(const BookResult& book, int decimals, Document& d) {
  bool heights = false, precision = false;
  for (const NewPoint& point : book.points) {
    heights = heights || point.point.z.has_value();
    precision = precision || point.precision.has_value();
  }
  std::vector<Table::Column> columns = {{"point", true}, {LengthsOf(book).Heading("X")}, {LengthsOf(book).Heading("Y")}};
  if (heights) columns.push_back({LengthsOf(book).Heading("H")});
  if (precision) {
    columns.push_back({"sX [mm]"});
    columns.push_back({"sY [mm]"});
  }
  if (book.heightNetwork) columns.push_back({"sH [mm]"});
  Table table(std::move(columns));
  for (const NewPoint& point : book.points) {
    std::vector<std::string> row = {ValidUtf8(point.point.name),
                                    FixedText(point.point.xy.x, decimals),
                                    FixedText(point.point.xy.y, decimals)};
    if (heights) row.push_back(point.point.z ? FixedText(*point.point.z, decimals) : "");
    if (point.precision) {
      row.push_back(LengthsOf(book).Millimetres(point.precision->sx));
      row.push_back(LengthsOf(book).Millimetres(point.precision->sy));
    } else if (precision && book.heightNetwork) {
      row.insert(row.end(), 2, "");
    }
    if (book.heightNetwork) row.push_back(point.sigmaZ ? LengthsOf(book).Millimetres(*point.sigmaZ) : "");
    table.Add(std::move(row));
  }
  d.Section("All new points");
  if (book.points.empty()) {
    d.Line("none", true);
    return;
  }
  d.Add(std::move(table));
  d.Blank();
  const bool passed = book.TolerancesPassed();
  const bool grossError = std::any_of(book.traverses.begin(), book.traverses.end(),
                                      [](const BookTraverseResult& t) { return t.result.gross; });
  const Settings& settings = book.settings;
  const bool given = settings.angularTolerance || settings.linearTolerance ||
                     settings.heightTolerance || (book.network && settings.relativeTolerance);
  const bool testFailed = book.network && book.network->globalTest.Exceeded();
  const bool heightTestFailed = book.heightNetwork && book.heightNetwork->globalTest.Exceeded();
  const bool suspect = book.network && book.network->suspect;
  const bool heightSuspect = book.heightNetwork && book.heightNetwork->suspect;
  d.Line(std::string("Overall: ") +
             (grossError   ? "GROSS: a misclosure is beyond what a survey gives"
              : testFailed ? "the global test of the network FAILED"
              : !passed    ? "a tolerance is EXCEEDED"
              : given      ? "every tolerance held"
                           : "no tolerance was given, so none was checked") +
             (suspect && !grossError ? "; a blunder is suspected (see the network's suspect)" : "") +
             (heightTestFailed ? "; the global test of the height network FAILED" : "") +
             (heightSuspect && !grossError
                  ? "; a blunder is suspected among the heights (see the height network's suspect)"
                  : ""),
         false, !passed);
}

// The report, written into `d`; on a page, which can show plans, each
// traverse's section and a book of more than one open with a plan.
void ReportDocument(const BookResult& book, const ReportOptions& options, Document& d) {
  const bool plans = d.format() == Document::Format::Html;
  HeaderSection(book, options, d);
  if (plans) d.Line("Options: " + (options.arguments.empty() ? "none" : ValidUtf8(options.arguments)));
  // Each traverse's table of known points looks up their heights: a scan
  // of every known point for each made a book of thousands quadratic.
  NameIndex<std::optional<double>> heights(book.known.size());
  for (const NamedPoint& point : book.known)
    if (!heights.Find(point.name)) heights.Set(point.name, point.z);
  if (book.answerFile) {
    if (plans) d.Plan(AnswerPlan(book));
    TraverseSections({book, book.traverses.front(), options.decimals, heights, options.quadrant}, d);
    return;
  }
  const std::optional<PlanBuilder> planner = plans ? std::optional<PlanBuilder>(book) : std::nullopt;
  // The whole book's plan, with the network's ellipses and observations and
  // the sideshots, which no traverse's plan shows.
  if (plans && (book.traverses.size() > 1 || book.network || !book.sideshots.empty()))
    d.Plan(planner->Whole());
  for (std::size_t i = 0; i < book.traverses.size(); ++i) {
    const BookTraverseResult& traverse = book.traverses[i];
    std::string title = "Traverse " + IntegerText(static_cast<int>(i + 1));
    if (traverse.name != IntegerText(static_cast<int>(i + 1)))
      title += ": " + ValidUtf8(traverse.name);
    title += " (line " + IntegerText(traverse.line) + ")";
    d.Section(title);
    d.Line(KindSentence(traverse.job, traverse.result.kind, false) + ", angles on the " +
               (traverse.job.leftAngles ? "left" : "right"),
           true);
    if (plans) d.Plan(planner->Traverse(i));
    TraverseSections({book, traverse, options.decimals, heights, options.quadrant}, d);
  }
  const AngleFormat angles{book.settings.unit, book.settings.unit == AngleUnit::Dms};
  for (std::size_t i = 0; i < book.setups.size(); ++i)
    SetupSection(book.setups[i], i + 1, angles, LengthsOf(book), options.decimals, d);
  ChecksSection(book, d);
  NetworkSection(book, d);
  HeightNetworkSection(book, options.decimals, d);
  RelativeSection(book, d);
  SideshotSection(book, options.decimals, d);
  GridSection(book, options.decimals, d);
  BookPointsSection(book, options.decimals, d);
  NotesSection(book.notes, d);
}

// The report in `format`, to `sink` or, without one, returned whole.
std::string Report(const BookResult& book, const ReportOptions& options, Document::Format format,
                   const ReportSink* sink) {
  Document d(format, "traverse adjustment: " + ValidUtf8(book.source), sink);
  ReportDocument(book, options, d);
  return d.Finish();
}

}  // namespace

std::string FormatText(const BookResult& book, const ReportOptions& options) {
  return Report(book, options, Document::Format::Text, nullptr);
}

std::string FormatHtml(const BookResult& book, const ReportOptions& options) {
  return Report(book, options, Document::Format::Html, nullptr);
}

void WriteText(const BookResult& book, const ReportOptions& options, const ReportSink& sink) {
  Report(book, options, Document::Format::Text, &sink);
}

void WriteHtml(const BookResult& book, const ReportOptions& options, const ReportSink& sink) {
  Report(book, options, Document::Format::Html, &sink);
}

}  // namespace traverse
