// A plan of the traverse as SVG 1.1: X up and Y to the right, as bearings are
// counted, so SVG x is the Y coordinate and SVG y is minus X. The known
// points are triangles, the new points numbered circles; the misclosure and
// the error ellipses, far too small to see at the plan's scale, are drawn
// enlarged by a round factor that the legend states. All arithmetic is in
// Extended and all numbers go through our own fixed-point writer, so every
// platform writes the same bytes.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "failure/extended.hpp"
#include "report/number_text.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

constexpr Extended Size = 800;   // the square viewBox
constexpr Extended Margin = 90;  // room for labels, the legend and the enlargements
constexpr Extended Centre = Size / 2;

// A round number 1, 2 or 5 times 10^exponent, and its value.
struct RoundNumber {
  int mantissa = 1;
  int exponent = 0;
  Extended value = 1;
};

// The largest round number not above t (t finite and positive). Powers of
// ten are stepped to, not taken from pow, so that the factor is the same
// wherever the plan is drawn.
RoundNumber RoundDown(Extended t) {
  RoundNumber round;
  while (round.value * 10 <= t) {
    round.value *= 10;
    ++round.exponent;
  }
  while (round.value > t) {
    round.value /= 10;
    --round.exponent;
  }
  const Extended power = round.value;
  for (const int mantissa : {5, 2}) {
    if (power * mantissa <= t) {
      round.mantissa = mantissa;
      round.value = power * mantissa;
      break;
    }
  }
  return round;
}

// The exact decimal text of a round number; its digits come from mantissa and
// exponent, never from the inexact value.
std::string RoundText(const RoundNumber& round) {
  const std::string digit = IntegerText(round.mantissa);
  if (round.exponent > 9) return digit + "e" + IntegerText(round.exponent);
  if (round.exponent >= 0)
    return digit + std::string(static_cast<std::size_t>(round.exponent), '0');
  return "0." + std::string(static_cast<std::size_t>(-round.exponent - 1), '0') + digit;
}

bool Finite(const GridPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// A coordinate of the drawing as attribute text.
std::string Number(Extended v) {
  return FixedText(static_cast<double>(v), 2);
}

// Maps grid coordinates into the viewBox, the same scale on both axes.
class Plan {
 public:
  explicit Plan(const std::vector<GridPoint>& points) {
    bool any = false;
    Extended minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const GridPoint& p : points) {
      if (!Finite(p)) continue;
      if (!any) {
        minX = maxX = p.x;
        minY = maxY = p.y;
        any = true;
      }
      minX = std::min<Extended>(minX, p.x);
      maxX = std::max<Extended>(maxX, p.x);
      minY = std::min<Extended>(minY, p.y);
      maxY = std::max<Extended>(maxY, p.y);
    }
    midX_ = (minX + maxX) / 2;
    midY_ = (minY + maxY) / 2;
    extent_ = std::max(maxX - minX, maxY - minY);
    // A single point, or none, still needs a scale: a metre across.
    if (!(extent_ > 0)) extent_ = 1;
    scale_ = (Size - 2 * Margin) / extent_;
  }

  Extended extent() const { return extent_; }  // metres across the drawing
  Extended scale() const { return scale_; }    // drawing units per metre
  Extended SvgX(const GridPoint& p) const { return Centre + (Extended(p.y) - midY_) * scale_; }
  Extended SvgY(const GridPoint& p) const { return Centre - (Extended(p.x) - midX_) * scale_; }
  std::string Position(const GridPoint& p) const { return Number(SvgX(p)) + ',' + Number(SvgY(p)); }

 private:
  Extended midX_ = 0, midY_ = 0, extent_ = 1, scale_ = 1;
};

struct Label {
  std::string name;
  GridPoint point;
};

std::string Text(Extended x, Extended y, const std::string& content, const char* extra = "") {
  return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"" + extra + ">" + XmlText(content) +
         "</text>\n";
}

std::string KnownPoint(const Plan& plan, const Label& known) {
  if (!Finite(known.point)) return "";
  const Extended x = plan.SvgX(known.point), y = plan.SvgY(known.point);
  return "<polygon points=\"" + Number(x) + ',' + Number(y - 9) + ' ' + Number(x - 8) + ',' +
         Number(y + 6) + ' ' + Number(x + 8) + ',' + Number(y + 6) +
         "\" fill=\"#1f4e9c\" stroke=\"black\" stroke-width=\"1\"/>\n" +
         Text(x + 10, y - 8, known.name, " font-weight=\"bold\"");
}

std::string Line(const Plan& plan, const GridPoint& from, const GridPoint& to, const char* style) {
  if (!Finite(from) || !Finite(to)) return "";
  return "<line x1=\"" + Number(plan.SvgX(from)) + "\" y1=\"" + Number(plan.SvgY(from)) +
         "\" x2=\"" + Number(plan.SvgX(to)) + "\" y2=\"" + Number(plan.SvgY(to)) + "\" " + style +
         "/>\n";
}

// The misclosure vector (fX, fY) from C, enlarged to about a tenth of the
// drawing; the legend line it needs, or nothing.
std::string Misclosure(const Plan& plan, const Adjustment& result, const GridPoint& end,
                       std::string& legend) {
  if (!result.linear || !Finite(end)) return "";
  const LinearMisclosure& f = *result.linear;
  if (!(f.length > 0) || !std::isfinite(f.length) || !std::isfinite(f.x) || !std::isfinite(f.y)) {
    return "";
  }
  // Sized by the larger of fL and its components, so that a length that
  // disagrees with them cannot throw the arrow off the drawing.
  const Extended size =
      std::max({Extended(f.length), std::fabs(Extended(f.x)), std::fabs(Extended(f.y))});
  const RoundNumber factor = RoundDown(plan.extent() / 10 / size);
  const Extended x = plan.SvgX(end), y = plan.SvgY(end);
  const Extended tipX = x + Extended(f.y) * factor.value * plan.scale();
  const Extended tipY = y - Extended(f.x) * factor.value * plan.scale();
  legend += "misclosure fL " + FixedText(f.length, 4) + " m, drawn \xC3\x97" + RoundText(factor);
  return "<line x1=\"" + Number(x) + "\" y1=\"" + Number(y) + "\" x2=\"" + Number(tipX) +
         "\" y2=\"" + Number(tipY) +
         "\" stroke=\"#c00000\" stroke-width=\"2\" marker-end=\"url(#arrow)\"/>\n" +
         Text(tipX + 6, tipY + 14, "misclosure \xC3\x97" + RoundText(factor),
              " fill=\"#c00000\" font-size=\"12\"");
}

// The standard error ellipses of the new points, enlarged so the largest is
// about a twentieth of the drawing; the legend line they need, or nothing.
std::string Ellipses(const Plan& plan, const Adjustment& result, std::string& legend) {
  if (!result.leastSquares) return "";
  const std::vector<PointPrecision>& precision = result.leastSquares->precision;
  Extended largest = 0;
  for (const PointPrecision& p : precision) {
    if (std::isfinite(p.a)) largest = std::max<Extended>(largest, p.a);
  }
  if (!(largest > 0)) return "";
  const RoundNumber factor = RoundDown(plan.extent() / 20 / largest);
  std::string svg;
  for (std::size_t i = 0; i < precision.size() && i < result.points.size(); ++i) {
    const PointPrecision& p = precision[i];
    if (!Finite(result.points[i]) || !std::isfinite(p.a) || !std::isfinite(p.b) ||
        !std::isfinite(p.bearing)) {
      continue;
    }
    const std::string x = Number(plan.SvgX(result.points[i]));
    const std::string y = Number(plan.SvgY(result.points[i]));
    // SVG turns clockwise from its x axis (east); a bearing turns clockwise
    // from north, a quarter turn earlier.
    const std::string turn = FixedText(GonToUnit(p.bearing, AngleUnit::Degree) - 90, 3);
    svg += "<ellipse cx=\"" + x + "\" cy=\"" + y + "\" rx=\"" +
           Number(Extended(p.a) * factor.value * plan.scale()) + "\" ry=\"" +
           Number(Extended(p.b) * factor.value * plan.scale()) + "\" transform=\"rotate(" + turn +
           ' ' + x + ' ' + y + ")\" fill=\"none\" stroke=\"#2a8c2a\" stroke-width=\"1.5\"/>\n";
  }
  legend += "error ellipses (1 sigma) drawn \xC3\x97" + RoundText(factor);
  return svg;
}

std::string ScaleBar(const Plan& plan) {
  const RoundNumber length = RoundDown(plan.extent() / 5);
  const Extended right = Size - 30, left = right - length.value * plan.scale();
  const Extended y = Size - 30;
  return "<path d=\"M" + Number(left) + ',' + Number(y - 6) + " V" + Number(y) + " H" +
         Number(right) + " V" + Number(y - 6) +
         "\" fill=\"none\" stroke=\"black\" stroke-width=\"2\"/>\n" +
         Text((left + right) / 2, y - 10, RoundText(length) + " m", " text-anchor=\"middle\"");
}

// The opening of every plan: the document, its title, the arrow marker, the
// white sheet, the heading and the north arrow.
std::string Opening(const std::string& title, const std::string& heading) {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"800\" height=\"800\" "
      "viewBox=\"0 0 800 800\" font-family=\"sans-serif\" font-size=\"14\">\n";
  svg += "<title>" + XmlText(title) + "</title>\n";
  svg +=
      "<defs><marker id=\"arrow\" markerWidth=\"10\" markerHeight=\"10\" refX=\"9\" refY=\"5\" "
      "orient=\"auto\" markerUnits=\"userSpaceOnUse\"><path d=\"M0,0 L10,5 L0,10 z\" "
      "fill=\"#c00000\"/></marker></defs>\n";
  svg += "<rect width=\"800\" height=\"800\" fill=\"white\"/>\n";
  svg += Text(20, 30, heading, " font-size=\"16\"");
  svg += "<path d=\"M760,70 L752,90 L760,84 L768,90 z\" fill=\"black\"/>\n";
  svg += Text(760, 62, "X", " text-anchor=\"middle\"");
  return svg;
}

}  // namespace

std::string FormatBookSvg(const BookResult& book, const ReportOptions&) {
  // The frame holds the known points the traverses use and every new point;
  // the rest of a control file stays off the plan.
  std::set<std::string> used;
  for (const BookTraverseResult& traverse : book.traverses) {
    const Job& job = traverse.job;
    for (const std::string* name : {&job.stations.front(), &job.stations.back(), &job.markA, &job.markD})
      used.insert(*name);
  }
  std::vector<NamedPoint> known;
  for (const NamedPoint& point : book.known)
    if (used.count(point.name)) known.push_back(point);
  std::vector<GridPoint> all;
  for (const NamedPoint& point : known) all.push_back(point.xy);
  for (const NewPoint& point : book.points) all.push_back(point.point.xy);
  const Plan plan(all);

  const std::string title = book.source.empty() ? "traverse" : book.source;
  const std::size_t count = book.traverses.size();
  std::string svg =
      Opening(title, title + " (" + (count == 1 ? "traverse " + ValidUtf8(book.traverses[0].name)
                                                : IntegerText(static_cast<int>(count)) + " traverses") +
                         ", " + RuleName(book.settings.rule) + ")");
  const char* orientation = "stroke=\"#1f4e9c\" stroke-width=\"1\" stroke-dasharray=\"6,4\"";
  std::string legendMisclosure, legendEllipses;
  for (const BookTraverseResult& traverse : book.traverses) {
    const Job& job = traverse.job;
    const Adjustment& result = traverse.result;
    // Marks given as bearings are stand-ins 1 km off: they stay off the plan.
    if (!job.markA.empty()) svg += Line(plan, job.a, job.b, orientation);
    const bool hasC = result.kind != TraverseKind::Open;
    if (ClosesOnD(result.kind) && !job.markD.empty()) svg += Line(plan, job.c, job.d, orientation);
    std::vector<GridPoint> route = {job.b};
    route.insert(route.end(), result.points.begin(), result.points.end());
    if (hasC) route.push_back(job.c);
    for (std::size_t i = 1; i < route.size(); ++i)
      svg += Line(plan, route[i - 1], route[i], "stroke=\"black\" stroke-width=\"2\"");
    // Every traverse draws at its own enlargement; the legend names the last.
    if (hasC) {
      legendMisclosure.clear();
      svg += Misclosure(plan, result, job.c, legendMisclosure);
    }
    std::string ellipses;
    svg += Ellipses(plan, result, ellipses);
    if (!ellipses.empty()) legendEllipses = ellipses;
  }
  for (const NamedPoint& point : known) svg += KnownPoint(plan, {point.name, point.xy});
  for (const NewPoint& point : book.points) {
    const GridPoint& p = point.point.xy;
    if (!Finite(p)) continue;
    const Extended x = plan.SvgX(p), y = plan.SvgY(p);
    svg += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) +
           "\" r=\"5\" fill=\"white\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
    svg += Text(x + 9, y - 7, point.point.name);
  }
  Extended legendY = Size - 50;
  for (const std::string* line : {&legendEllipses, &legendMisclosure}) {
    if (line->empty()) continue;
    svg += Text(20, legendY, *line, " font-size=\"12\"");
    legendY -= 18;
  }
  svg += ScaleBar(plan);
  svg += "</svg>\n";
  return svg;
}

std::string FormatSvg(const Job& job, const Adjustment& result, const ReportOptions&) {
  const TraverseKind kind = result.kind;
  const bool hasC = kind != TraverseKind::Open;
  const bool hasD = kind == TraverseKind::Connecting;
  // A loop ends where it began: C is B and D is A.
  const GridPoint c = kind == TraverseKind::Loop ? job.b : job.c;

  std::vector<Label> known = {{kind == TraverseKind::Loop ? "A = D" : "A", job.a},
                              {kind == TraverseKind::Loop ? "B = C" : "B", job.b}};
  if (hasC && kind != TraverseKind::Loop) known.push_back({"C", c});
  if (hasD) known.push_back({"D", job.d});

  std::vector<GridPoint> route = {job.b};
  route.insert(route.end(), result.points.begin(), result.points.end());
  if (hasC) route.push_back(c);

  std::vector<GridPoint> all = route;
  for (const Label& label : known) all.push_back(label.point);
  const Plan plan(all);

  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"800\" height=\"800\" "
      "viewBox=\"0 0 800 800\" font-family=\"sans-serif\" font-size=\"14\">\n";
  const std::string title = job.source.empty() ? "traverse" : job.source;
  svg += "<title>" + XmlText(title) + "</title>\n";
  svg +=
      "<defs><marker id=\"arrow\" markerWidth=\"10\" markerHeight=\"10\" refX=\"9\" refY=\"5\" "
      "orient=\"auto\" markerUnits=\"userSpaceOnUse\"><path d=\"M0,0 L10,5 L0,10 z\" "
      "fill=\"#c00000\"/></marker></defs>\n";
  svg += "<rect width=\"800\" height=\"800\" fill=\"white\"/>\n";
  svg += Text(20, 30, title + " (" + KindName(kind) + ", " + RuleName(result.rule) + ")",
              " font-size=\"16\"");
  // The north arrow: X is up.
  svg += "<path d=\"M760,70 L752,90 L760,84 L768,90 z\" fill=\"black\"/>\n";
  svg += Text(760, 62, "X", " text-anchor=\"middle\"");

  const char* orientation = "stroke=\"#1f4e9c\" stroke-width=\"1\" stroke-dasharray=\"6,4\"";
  svg += Line(plan, job.a, job.b, orientation);
  if (hasD) svg += Line(plan, c, job.d, orientation);
  for (std::size_t i = 1; i < route.size(); ++i) {
    svg += Line(plan, route[i - 1], route[i], "stroke=\"black\" stroke-width=\"2\"");
  }

  std::string legendMisclosure, legendEllipses;
  if (hasC) svg += Misclosure(plan, result, c, legendMisclosure);
  svg += Ellipses(plan, result, legendEllipses);

  for (const Label& label : known) svg += KnownPoint(plan, label);
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    const GridPoint& p = result.points[i];
    if (!Finite(p)) continue;
    const Extended x = plan.SvgX(p), y = plan.SvgY(p);
    svg += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) +
           "\" r=\"5\" fill=\"white\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
    svg += Text(x + 9, y - 7, IntegerText(static_cast<int>(i + 1)));
  }

  Extended legendY = Size - 50;
  for (const std::string* line : {&legendEllipses, &legendMisclosure}) {
    if (line->empty()) continue;
    svg += Text(20, legendY, *line, " font-size=\"12\"");
    legendY -= 18;
  }
  if (kind == TraverseKind::Open) {
    svg += Text(20, legendY, "open traverse: no check", " font-size=\"12\"");
  }
  svg += ScaleBar(plan);
  svg += "</svg>\n";
  return svg;
}

}  // namespace traverse
