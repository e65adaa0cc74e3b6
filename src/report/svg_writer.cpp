// A plan of the traverse as SVG 1.1: X up and Y to the right, as bearings are
// counted, so SVG x is the Y coordinate and SVG y is minus X. The known
// points are triangles, the new points circles, each with its name; the
// misclosure and the error ellipses, far too small to see at the plan's
// scale, are drawn enlarged by a round factor that the legend states.
//
// The plan frames the traverses' own stations. An orientation point far
// outside that frame would shrink the traverse to a corner, so it is drawn
// as an arrow at the frame's edge pointing to it, with its name.
//
// Labels are placed so that they overlap neither one another nor the point
// symbols, the misclosure arrows or the fixed furniture (heading, north
// arrow, legend, scale bar): each tries eight places round its point, then
// the same farther out, and takes the first that is free. A label's box is
// reckoned as 0.6 em wide per character (0.65 em in bold) and from 0.8 em
// above its baseline to 0.2 em below, the figures the plan's tests use.
//
// All arithmetic is in Extended and all numbers go through our own
// fixed-point writer, so every platform writes the same bytes.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "failure/extended.hpp"
#include "report/number_text.hpp"
#include "report/plan_model.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

constexpr Extended Size = 800;   // the square viewBox
constexpr Extended Margin = 90;  // room for labels, the legend and the enlargements
constexpr Extended Centre = Size / 2;
constexpr Extended LabelSize = 14;  // font size of the points' names

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

// ---- the frame ----

// Maps grid coordinates into the viewBox, the same scale on both axes.
class Frame {
 public:
  explicit Frame(const std::vector<GridPoint>& points) {
    bool any = false;
    for (const GridPoint& p : points) {
      if (!Finite(p)) continue;
      minX_ = any ? std::min<Extended>(minX_, p.x) : p.x;
      maxX_ = any ? std::max<Extended>(maxX_, p.x) : p.x;
      minY_ = any ? std::min<Extended>(minY_, p.y) : p.y;
      maxY_ = any ? std::max<Extended>(maxY_, p.y) : p.y;
      any = true;
    }
    midX_ = (minX_ + maxX_) / 2;
    midY_ = (minY_ + maxY_) / 2;
    extent_ = std::max(maxX_ - minX_, maxY_ - minY_);
    // A single point, or none, still needs a scale: a metre across.
    if (!(extent_ > 0)) extent_ = 1;
    scale_ = (Size - 2 * Margin) / extent_;
  }

  // Whether p lies near enough to draw it where it is: within half the
  // frame's extent of its box.
  bool Near(const GridPoint& p) const {
    const Extended reach = extent_ / 2;
    return Finite(p) && p.x >= minX_ - reach && p.x <= maxX_ + reach && p.y >= minY_ - reach &&
           p.y <= maxY_ + reach;
  }

  Extended extent() const { return extent_; }  // metres across the drawing
  Extended scale() const { return scale_; }    // drawing units per metre
  Extended SvgX(const GridPoint& p) const { return Centre + (Extended(p.y) - midY_) * scale_; }
  Extended SvgY(const GridPoint& p) const { return Centre - (Extended(p.x) - midX_) * scale_; }
  // The grid coordinates at a place of the drawing.
  Extended GridX(Extended svgY) const { return midX_ + (Centre - svgY) / scale_; }
  Extended GridY(Extended svgX) const { return midY_ + (svgX - Centre) / scale_; }

 private:
  Extended minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
  Extended midX_ = 0, midY_ = 0, extent_ = 1, scale_ = 1;
};

// ---- label placement ----

struct Box {
  Extended left = 0, top = 0, right = 0, bottom = 0;

  bool Overlaps(const Box& other) const {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
  // Whether the segment from (x1, y1) to (x2, y2) crosses the box (clipped
  // against each side in turn).
  bool Crosses(Extended x1, Extended y1, Extended x2, Extended y2) const {
    Extended t0 = 0, t1 = 1;
    const Extended dx = x2 - x1, dy = y2 - y1;
    const Extended p[4] = {-dx, dx, -dy, dy};
    const Extended q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      const Extended t = q[i] / p[i];
      if (p[i] < 0) {
        t0 = std::max(t0, t);
      } else {
        t1 = std::min(t1, t);
      }
      if (t0 > t1) return false;
    }
    return true;
  }
};

struct Segment {
  Extended x1, y1, x2, y2;
};

// Places labels one by one, each clear of everything placed or drawn before.
// What is placed is filed in square cells of the sheet, so that a label
// looks only at what lies under it: a plan of n points is labelled in time
// about proportional to n, however many crowd it.
class Labels {
 public:
  Labels() : cells_(Cells * Cells) {}

  // Empty again, keeping the room its cells have grown: a page of thousands
  // of plans places each plan's labels in the same cells.
  void Clear() {
    for (const int cell : touched_) cells_[static_cast<std::size_t>(cell)].clear();
    touched_.clear();
    furniture_.clear();
    boxes_.clear();
    segments_.clear();
  }

  // A box of the sheet's furniture (heading, legend, scale bar): few and
  // large, so met by every label without filing.
  void Furniture(const Box& box) { furniture_.push_back(box); }
  void Block(const Box& box) {
    boxes_.push_back(box);
    File(box, static_cast<int>(boxes_.size()));
  }
  void Block(const Segment& s) {
    segments_.push_back(s);
    File(Box{std::min(s.x1, s.x2), std::min(s.y1, s.y2), std::max(s.x1, s.x2), std::max(s.y1, s.y2)},
         -static_cast<int>(segments_.size()));
  }

  // Whether nothing filed so far meets the box.
  bool Clear(const Box& box) { return Hits(box, true) == 0; }

  // The SVG text of `content` near (x, y), `gap` off the point's centre: at
  // the first free place of eight round the point, then the same farther
  // out. Where none is free, an optional label is left out ("" returned)
  // and any other takes the place with the fewest clashes.
  std::string Place(Extended x, Extended y, Extended gap, const std::string& content,
                    const char* extra = "", bool bold = false, Extended size = LabelSize,
                    bool optional = false) {
    const Extended width =
        (bold ? Extended(0.65) : Extended(0.6)) * size * static_cast<Extended>(CodePointCount(content));
    const Extended above = Extended(0.8) * size, below = Extended(0.2) * size;
    Box best;
    Extended bestX = 0, bestY = 0;
    int fewest = -1;
    for (int ring = 1; ring <= 4 && fewest != 0; ++ring) {
      const Extended g = gap * ring + 2 * (ring - 1);
      // The baseline's start for each direction: NE, E, SE, N, S, NW, W, SW.
      const Extended candidates[8][2] = {
          {x + g, y - g},          {x + g + 2, y + above / 2 - below},
          {x + g, y + g + above},  {x - width / 2, y - g - below},
          {x - width / 2, y + g + above}, {x - g - width, y - g},
          {x - g - 2 - width, y + above / 2 - below}, {x - g - width, y + g + above}};
      for (const auto& candidate : candidates) {
        const Box box{candidate[0], candidate[1] - above, candidate[0] + width, candidate[1] + below};
        const int hits = Hits(box, optional);
        if (fewest < 0 || hits < fewest) {
          fewest = hits;
          best = box;
          bestX = candidate[0];
          bestY = candidate[1];
          if (hits == 0) break;
        }
      }
    }
    if (optional && fewest != 0) return "";
    Block(best);
    std::string attributes = " class=\"label\"";
    if (size != LabelSize) attributes += " font-size=\"" + Number(size) + "\"";
    if (bold) attributes += " font-weight=\"bold\"";
    return "<text x=\"" + Number(bestX) + "\" y=\"" + Number(bestY) + "\"" + attributes + extra +
           ">" + XmlText(content) + "</text>\n";
  }

 private:
  static constexpr int Cells = 40;  // a side; Size / Cells = 20 units each
  // In double: an Extended turned into an int costs a change of the x87
  // rounding mode each time, and any order-keeping cell serves.
  static int Cell(Extended v) {
    return static_cast<int>(std::clamp(static_cast<double>(v) / 20, 0.0, Cells - 1.0));
  }

  // Files item `id` (a box from 1, a segment from -1) in every cell its box touches.
  void File(const Box& box, int id) {
    if (!(box.left <= box.right && box.top <= box.bottom)) return;  // not a number
    const int right = Cell(box.right), top = Cell(box.top), bottom = Cell(box.bottom);
    for (int i = Cell(box.left); i <= right; ++i)
      for (int j = top; j <= bottom; ++j) {
        std::vector<int>& cell = cells_[static_cast<std::size_t>(i * Cells + j)];
        if (cell.empty()) touched_.push_back(i * Cells + j);
        cell.push_back(id);
      }
  }

  // The clashes of `box`; with `first`, only whether there is one.
  int Hits(const Box& box, bool first) {
    int hits = 0;
    // Off the sheet counts as a clash too.
    if (box.left < 2 || box.top < 2 || box.right > Size - 2 || box.bottom > Size - 2) ++hits;
    for (const Box& other : furniture_) hits += box.Overlaps(other);
    if (hits && first) return hits;
    ++query_;
    seen_.resize(boxes_.size() + segments_.size() + 1, 0);
    const int right = Cell(box.right), top = Cell(box.top), bottom = Cell(box.bottom);
    for (int i = Cell(box.left); i <= right; ++i) {
      for (int j = top; j <= bottom; ++j) {
        for (const int id : cells_[static_cast<std::size_t>(i * Cells + j)]) {
          const std::size_t slot = id > 0 ? static_cast<std::size_t>(id)
                                          : boxes_.size() + static_cast<std::size_t>(-id);
          if (seen_[slot] == query_) continue;
          seen_[slot] = query_;
          const Segment* s = id < 0 ? &segments_[static_cast<std::size_t>(-id - 1)] : nullptr;
          hits += s ? box.Crosses(s->x1, s->y1, s->x2, s->y2)
                    : box.Overlaps(boxes_[static_cast<std::size_t>(id - 1)]);
          // Past a few clashes a place is as bad as any: counting on
          // would cost a crowded plan time for nothing.
          if ((hits && first) || hits > 4) return hits;
        }
      }
    }
    return hits;
  }

  std::vector<Box> furniture_, boxes_;
  std::vector<Segment> segments_;
  std::vector<std::vector<int>> cells_;
  std::vector<int> touched_;  // the cells that hold anything
  std::vector<unsigned> seen_;  // the last query that met each item
  unsigned query_ = 0;
};


constexpr const char* Dashed = "stroke=\"#1f4e9c\" stroke-width=\"1\" stroke-dasharray=\"6,4\"";
constexpr const char* Ray = "stroke=\"#8a8a8a\" stroke-width=\"0.5\"";
constexpr const char* SideshotColour = "#5a5a5a";
constexpr const char* Dotted = "stroke=\"#7a4fa0\" stroke-width=\"1\" stroke-dasharray=\"2,3\"";

std::string Text(Extended x, Extended y, const std::string& content, const char* extra = "") {
  return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"" + extra + ">" + XmlText(content) +
         "</text>\n";
}

// A line from (x1, y1) to (x2, y2): `open` is the tag with any class,
// `rest` the attributes after the ends.
std::string Line(const char* open, Extended x1, Extended y1, Extended x2, Extended y2,
                 const std::string& rest) {
  return open + (" x1=\"" + Number(x1)) + "\" y1=\"" + Number(y1) + "\" x2=\"" + Number(x2) +
         "\" y2=\"" + Number(y2) + "\" " + rest + "/>\n";
}

// A line between two points of the grid, where both are finite.
std::string Line(const Frame& frame, const GridPoint& from, const GridPoint& to,
                 const char* style) {
  if (!Finite(from) || !Finite(to)) return "";
  return Line("<line", frame.SvgX(from), frame.SvgY(from), frame.SvgX(to), frame.SvgY(to), style);
}

std::string Triangle(Extended x, Extended y, const char* fill) {
  return "<polygon class=\"known\" points=\"" + Number(x) + ',' + Number(y - 9) + ' ' +
         Number(x - 8) + ',' + Number(y + 6) + ' ' + Number(x + 8) + ',' + Number(y + 6) +
         "\" fill=\"" + fill + "\" stroke=\"black\" stroke-width=\"1\"/>\n";
}

// The tip of an arrow from (x, y) towards (dx, dy) where it meets the edge of
// the drawing area: at the top, below the heading, the legend and the
// grid's Y labels, so that the mark's name finds room there.
void EdgeTowards(Extended x, Extended y, Extended dx, Extended dy, Extended& tipX,
                 Extended& tipY) {
  const Extended low = Margin / 3, high = Size - Margin / 3, top = 86;
  Extended t = 1e30L;
  if (dx > 0) t = std::min(t, (high - x) / dx);
  if (dx < 0) t = std::min(t, (low - x) / dx);
  if (dy > 0) t = std::min(t, (high - y) / dy);
  if (dy < 0) t = std::min(t, (top - y) / dy);
  if (!(t > 0) || t > 1e29L) t = 0;
  tipX = x + dx * t;
  tipY = y + dy * t;
}

// The plan's opening up to its north arrow; `alone`, as a file of its own.
void Opening(std::string& svg, const std::string& title, const std::string& heading, bool alone) {
  if (alone) svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg +=
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"800\" height=\"800\" "
      "viewBox=\"0 0 800 800\" font-family=\"sans-serif\" font-size=\"14\">\n";
  svg += "<title>" + XmlText(title) + "</title>\n";
  svg +=
      "<defs><marker id=\"arrow\" markerWidth=\"10\" markerHeight=\"10\" refX=\"9\" refY=\"5\" "
      "orient=\"auto\" markerUnits=\"userSpaceOnUse\"><path d=\"M0,0 L10,5 L0,10 z\" "
      "fill=\"#c00000\"/></marker><marker id=\"mark\" markerWidth=\"10\" markerHeight=\"10\" "
      "refX=\"9\" refY=\"5\" orient=\"auto\" markerUnits=\"userSpaceOnUse\"><path "
      "d=\"M0,0 L10,5 L0,10 z\" fill=\"#1f4e9c\"/></marker></defs>\n";
  svg += "<rect width=\"800\" height=\"800\" fill=\"white\"/>\n";
  svg += Text(20, 30, heading, " font-size=\"16\"");
  // The north arrow: X is up.
  svg += "<path d=\"M760,70 L752,90 L760,84 L768,90 z\" fill=\"black\"/>\n";
  svg += Text(760, 62, "N (X)", " text-anchor=\"middle\"");
}

// The coordinate grid, at the scale bar's round spacing, in light lines
// behind the plan, each labelled with its X (at the left) or Y (at the top)
// where the label stays clear of the furniture.
std::string Graticule(const Frame& frame, Labels& labels) {
  const RoundNumber step = RoundDown(frame.extent() / 5);
  if (!(frame.extent() < 1e12) || !(step.value > 0)) return "";
  const Extended low = Margin / 2, high = Size - Margin / 2;
  const int decimals = std::max(0, -step.exponent);
  std::string path, ticks;
  const auto lines = [&](Extended from, Extended to, bool across) {
    const Extended first = std::ceil(std::min(from, to) / step.value);
    const Extended last = std::floor(std::max(from, to) / step.value);
    // Counted in an int: far from the origin k + 1 rounds back to k.
    for (int n = 0; n < 40 && first + n <= last; ++n) {
      const Extended value = (first + n) * step.value;
      const Extended at = across ? frame.SvgY({static_cast<double>(value), 0})
                                 : frame.SvgX({0, static_cast<double>(value)});
      path += 'M';
      path += Number(across ? low : at);
      path += ',';
      path += Number(across ? at : low);
      path += across ? 'H' : 'V';
      path += Number(high);
      const std::string text = (across ? "X " : "Y ") + FixedText(static_cast<double>(value), decimals);
      const Extended width = Extended(0.6) * 10 * static_cast<Extended>(text.size());
      const Box box = across ? Box{low + 2, at - 10, low + 2 + width, at - 1}
                             : Box{at + 2, 66, at + 2 + width, 75};
      if ((across && box.top < 76) || !labels.Clear(box)) continue;  // X below the Y ticks
      labels.Block(box);
      ticks += Text(box.left, box.bottom - 2, text);
    }
  };
  lines(frame.GridX(high), frame.GridX(low), true);
  lines(frame.GridY(low), frame.GridY(high), false);
  return "<path class=\"grid\" d=\"" + path + "\" stroke=\"#d8d8d8\" stroke-width=\"0.5\"/>\n" +
         "<g class=\"tick\" font-size=\"10\" fill=\"#808080\">\n" + ticks + "</g>\n";
}

// A row of the symbols and line styles the plan uses, under its heading.
// The sideshots: a thin ray from each one's station and a small dot, the
// dots kept clear of labels. Rays in one path, as a book may have 100,000.
std::string Sideshots(const std::vector<PlanSideshot>& shots, const Frame& frame, Labels& labels) {
  if (shots.empty()) return "";
  std::string rays, dots;
  for (const PlanSideshot& shot : shots) {
    if (!Finite(shot.xy) || !Finite(shot.station)) continue;
    const Extended x = frame.SvgX(shot.xy), y = frame.SvgY(shot.xy);
    rays += 'M';
    rays += Number(frame.SvgX(shot.station));
    rays += ',';
    rays += Number(frame.SvgY(shot.station));
    rays += 'L';
    rays += Number(x);
    rays += ',';
    rays += Number(y);
    dots += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) + "\" r=\"2\"/>\n";
    labels.Block(Box{x - 2, y - 2, x + 2, y + 2});
  }
  return "<path class=\"rays\" d=\"" + rays + "\" " + Ray + "/>\n<g class=\"sideshots\" fill=\"" +
         SideshotColour + "\">\n" + dots + "</g>\n";
}

std::string SymbolLegend(const PlanModel& plan, bool misclosures) {
  const auto has = [&](PlanRole role) {
    return std::any_of(plan.points.begin(), plan.points.end(),
                       [&](const PlanPoint& p) { return p.role == role; });
  };
  std::string svg;
  Extended x = 20;
  const Extended y = 56;
  const auto item = [&](bool shown, const std::string& symbol, const std::string& words) {
    if (!shown) return;
    svg += symbol + Text(x + 24, y + 4, words, " font-size=\"11\"");
    x += 24 + Extended(6.6) * static_cast<Extended>(words.size()) + 14;
  };
  const auto line = [&](const char* style) { return Line("<line", x, y, x + 18, y, style); };
  const auto scaled = [&](const char* fill) {
    return "<polygon points=\"" + Number(x + 9) + ',' + Number(y - 6) + ' ' + Number(x + 3) + ',' +
           Number(y + 5) + ' ' + Number(x + 15) + ',' + Number(y + 5) + "\" fill=\"" + fill +
           "\" stroke=\"black\" stroke-width=\"1\"/>\n";
  };
  item(has(PlanRole::Known) || has(PlanRole::Mark), scaled("#1f4e9c"), "known");
  item(has(PlanRole::Above), scaled("white"), "from a traverse above");
  item(has(PlanRole::New), "<circle cx=\"" + Number(x + 9) + "\" cy=\"" + Number(y) +
                               "\" r=\"4\" fill=\"white\" stroke=\"black\" stroke-width=\"1.5\"/>\n",
       "new");
  item(!plan.traverses.empty(), line("stroke=\"black\" stroke-width=\"2\""), "traverse");
  item(!plan.marks.empty(), line(Dashed), "orientation");
  item(!plan.ties.empty(), line(Dotted), "observation");
  item(!plan.sideshots.empty(),
       line(Ray) + "<circle cx=\"" + Number(x + 18) + "\" cy=\"" + Number(y) + "\" r=\"2\" fill=\"" +
           SideshotColour + "\"/>\n",
       "sideshot");
  item(misclosures, line("stroke=\"#c00000\" stroke-width=\"2\""), "misclosure");
  return svg;
}

std::string ScaleBar(const Frame& frame, const std::string& unit) {
  const RoundNumber length = RoundDown(frame.extent() / 5);
  const Extended right = Size - 30, left = right - length.value * frame.scale();
  const Extended y = Size - 30;
  return "<path d=\"M" + Number(left) + ',' + Number(y - 6) + " V" + Number(y) + " H" +
         Number(right) + " V" + Number(y - 6) +
         "\" fill=\"none\" stroke=\"black\" stroke-width=\"2\"/>\n" +
         Text((left + right) / 2, y - 10, RoundText(length) + ' ' + unit, " text-anchor=\"middle\"");
}

}  // namespace

void DrawSvg(const PlanModel& plan, std::string& svg, bool alone) {
  const auto drawn = [](const PlanPoint& p) {
    return p.role == PlanRole::Known || p.role == PlanRole::Above || p.role == PlanRole::New;
  };
  // The frame: every station, and the orientation points near them.
  std::vector<GridPoint> framed;
  for (const PlanTraverse& traverse : plan.traverses)
    framed.insert(framed.end(), traverse.route.begin(), traverse.route.end());
  for (const PlanPoint& point : plan.points)
    if (drawn(point)) framed.push_back(point.xy);
  for (const PlanSideshot& shot : plan.sideshots) framed.push_back(shot.xy);
  const Frame stations(framed);
  std::vector<bool> near(plan.points.size(), false);
  for (std::size_t i = 0; i < plan.points.size(); ++i) {
    near[i] = plan.points[i].role == PlanRole::Mark && stations.Near(plan.points[i].xy);
    if (near[i]) framed.push_back(plan.points[i].xy);
  }
  const Frame frame(framed);

  Opening(svg, plan.title, plan.heading, alone);
  thread_local Labels labels;
  labels.Clear();
  // The furniture: heading, north arrow, legend and scale bar.
  labels.Furniture(Box{20, 12, Size - 60, 36});
  labels.Furniture(Box{737, 45, 783, 92});
  labels.Furniture(Box{15, Size - 95, Size / 2 + 60, Size - 10});
  labels.Furniture(Box{Size / 2 + 60, Size - 60, Size - 15, Size - 15});
  labels.Furniture(Box{15, 46, 730, 64});  // the symbols' legend
  svg += Graticule(frame, labels);

  // Orientation lines: to a near mark, or an arrow to the frame's edge.
  std::string arrows;
  std::vector<std::pair<std::size_t, std::pair<Extended, Extended>>> farMarks;
  for (const PlanMark& mark : plan.marks) {
    const PlanPoint& point = plan.points[mark.point];
    if (!Finite(point.xy) || !Finite(mark.station)) continue;
    if (point.role != PlanRole::Mark || near[mark.point]) {
      svg += Line(frame, mark.station, point.xy, Dashed);
      continue;
    }
    const Extended x = frame.SvgX(mark.station), y = frame.SvgY(mark.station);
    const Extended dx = (Extended(point.xy.y) - mark.station.y);
    const Extended dy = -(Extended(point.xy.x) - mark.station.x);
    const Extended length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0)) continue;
    Extended tipX = x, tipY = y;
    EdgeTowards(x, y, dx / length, dy / length, tipX, tipY);
    arrows += Line("<line class=\"far-mark\"", x, y, tipX, tipY,
                   std::string(Dashed) + " marker-end=\"url(#mark)\"");
    labels.Block(Segment{x, y, tipX, tipY});
    farMarks.push_back({mark.point, {tipX, tipY}});
  }
  svg += arrows;

  for (const auto& [from, to] : plan.ties)
    svg += Line(frame, from, to, Dotted);
  svg += Sideshots(plan.sideshots, frame, labels);
  for (const PlanTraverse& traverse : plan.traverses)
    for (std::size_t i = 1; i < traverse.route.size(); ++i)
      svg += Line(frame, traverse.route[i - 1], traverse.route[i],
                  "stroke=\"black\" stroke-width=\"2\"");

  // The misclosure arrows, sized to about a tenth of the drawing by the
  // larger of fL and its components, so that a length that disagrees with
  // them cannot throw the arrow off the drawing. One factor for all.
  const auto drawable = [](const PlanTraverse& traverse) {
    if (!traverse.misclosure || traverse.route.empty() || !Finite(traverse.route.back())) return false;
    const LinearMisclosure& f = *traverse.misclosure;
    return f.length > 0 && std::isfinite(f.length) && std::isfinite(f.x) && std::isfinite(f.y);
  };
  Extended largestMisclosure = 0;
  for (const PlanTraverse& traverse : plan.traverses) {
    if (!drawable(traverse)) continue;
    const LinearMisclosure& f = *traverse.misclosure;
    largestMisclosure = std::max({largestMisclosure, Extended(f.length),
                                  std::fabs(Extended(f.x)), std::fabs(Extended(f.y))});
  }
  std::string legend;
  std::vector<Segment> misclosures;
  RoundNumber misclosureFactor;
  if (largestMisclosure > 0) {
    misclosureFactor = RoundDown(frame.extent() / 10 / largestMisclosure);
    std::vector<std::string> each;  // "name fL" of each traverse
    for (const PlanTraverse& traverse : plan.traverses) {
      if (!drawable(traverse)) continue;
      const LinearMisclosure& f = *traverse.misclosure;
      const Extended x = frame.SvgX(traverse.route.back()), y = frame.SvgY(traverse.route.back());
      const Extended tipX = x + Extended(f.y) * misclosureFactor.value * frame.scale();
      const Extended tipY = y - Extended(f.x) * misclosureFactor.value * frame.scale();
      svg += Line("<line class=\"misclosure\"", x, y, tipX, tipY,
                  "stroke=\"#c00000\" stroke-width=\"2\" marker-end=\"url(#arrow)\"");
      misclosures.push_back({x, y, tipX, tipY});
      labels.Block(misclosures.back());
      labels.Block(Box{tipX - 6, tipY - 6, tipX + 6, tipY + 6});
      each.push_back(ValidUtf8(traverse.name) + ' ' + FixedText(f.length, 4) + ' ' + plan.lengthUnit);
    }
    // The caption gives each traverse's fL where there is room, else
    // refers to the traverses' own tables.
    const std::string drawnAt = "drawn \xC3\x97" + RoundText(misclosureFactor);
    if (each.size() == 1) {
      legend = "misclosure fL " + each[0].substr(each[0].find(' ') + 1) + ", " + drawnAt;
    } else if (each.size() == 2 && each[0].size() + each[1].size() < 36) {
      legend = "misclosures " + drawnAt + ", fL " + each[0] + ", " + each[1];
    } else {
      legend = "misclosures " + drawnAt + "; each fL in its traverse's table";
    }
  }
  svg += SymbolLegend(plan, !misclosures.empty());

  // The standard error ellipses, enlarged so the largest is about a
  // twentieth of the drawing.
  Extended largest = 0;
  for (const PlanPoint& point : plan.points)
    if (point.precision && std::isfinite(point.precision->a))
      largest = std::max<Extended>(largest, point.precision->a);
  std::string ellipseLegend;
  if (largest > 0) {
    const RoundNumber factor = RoundDown(frame.extent() / 20 / largest);
    for (const PlanPoint& point : plan.points) {
      if (!point.precision) continue;
      const PointPrecision& p = *point.precision;
      if (!Finite(point.xy) || !std::isfinite(p.a) || !std::isfinite(p.b) || !std::isfinite(p.bearing))
        continue;
      const std::string x = Number(frame.SvgX(point.xy)), y = Number(frame.SvgY(point.xy));
      // SVG turns clockwise from its x axis (east); a bearing turns
      // clockwise from north, a quarter turn earlier.
      const std::string turn = FixedText(GonToUnit(p.bearing, AngleUnit::Degree) - 90, 3);
      const Extended rx = Extended(p.a) * factor.value * frame.scale();
      const Extended ry = Extended(p.b) * factor.value * frame.scale();
      const std::string rotate = "transform=\"rotate(" + turn + ' ' + x + ' ' + y +
                                 ")\" fill=\"none\" stroke=\"#2a8c2a\" stroke-width=\"1.5\"";
      // An ellipse flat to a line (a point that can move only along a held
      // bearing) is drawn as that line: SVG draws no ellipse of no height.
      const Extended cx = frame.SvgX(point.xy), cy = frame.SvgY(point.xy);
      svg += ry < Extended(0.5) ? Line("<line", cx - rx, cy, cx + rx, cy, rotate)
                                : "<ellipse cx=\"" + x + "\" cy=\"" + y + "\" rx=\"" + Number(rx) +
                                      "\" ry=\"" + Number(ry) + "\" " + rotate + "/>\n";
    }
    ellipseLegend = "error ellipses (1 sigma) drawn \xC3\x97" + RoundText(factor);
  }

  // The symbols, then every label clear of them all: the control points'
  // and marks' names always, the new points' where they find room, those
  // that end a traverse first.
  for (std::size_t i = 0; i < plan.points.size(); ++i) {
    const PlanPoint& point = plan.points[i];
    if (!Finite(point.xy) || !(drawn(point) || near[i])) continue;
    const Extended x = frame.SvgX(point.xy), y = frame.SvgY(point.xy);
    if (point.role == PlanRole::New) {
      svg += "<circle class=\"point\" cx=\"" + Number(x) + "\" cy=\"" + Number(y) +
             "\" r=\"5\" fill=\"white\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
      labels.Block(Box{x - 6, y - 6, x + 6, y + 6});
    } else {
      svg += Triangle(x, y, point.role == PlanRole::Above ? "white" : "#1f4e9c");
      labels.Block(Box{x - 8, y - 9, x + 8, y + 6});
    }
  }
  const auto name = [&](const PlanPoint& point) {
    return labels.Place(frame.SvgX(point.xy), frame.SvgY(point.xy), 10, point.name, "", true);
  };
  for (std::size_t i = 0; i < plan.points.size(); ++i)
    if (Finite(plan.points[i].xy) && ((drawn(plan.points[i]) && plan.points[i].role != PlanRole::New) || near[i]))
      svg += name(plan.points[i]);
  std::set<std::size_t> named;
  for (const auto& [point, tip] : farMarks)
    if (named.insert(point).second)
      svg += labels.Place(tip.first, tip.second, 8, plan.points[point].name, " fill=\"#1f4e9c\"", true);
  std::size_t leftOut = 0;
  for (const bool junctions : {true, false}) {
    for (const PlanPoint& point : plan.points) {
      if (point.role != PlanRole::New || point.junction != junctions || !Finite(point.xy)) continue;
      const std::string label = labels.Place(frame.SvgX(point.xy), frame.SvgY(point.xy), 8,
                                             point.name, "", false, LabelSize, true);
      leftOut += label.empty();
      svg += label;
    }
  }
  for (const Segment& s : misclosures)
    svg += labels.Place(s.x2, s.y2, 8, "misclosure \xC3\x97" + RoundText(misclosureFactor),
                        " fill=\"#c00000\"", false, 12, true);
  // The sideshots' names, small, where they find room; once a hundred in a
  // row have found none the plan is full, and the rest are left out unsought.
  std::size_t shotsLeftOut = 0, missed = 0;
  for (const PlanSideshot& shot : plan.sideshots) {
    if (!Finite(shot.xy)) continue;
    const std::string label =
        missed >= 100 ? ""
                      : labels.Place(frame.SvgX(shot.xy), frame.SvgY(shot.xy), 4, shot.name,
                                     " fill=\"#5a5a5a\"", false, 9, true);
    missed = label.empty() ? missed + 1 : 0;
    shotsLeftOut += label.empty();
    svg += label;
  }

  std::string omitted =
      leftOut == 0 ? "" : IntegerText(static_cast<int>(leftOut)) + " names left out where points crowd";
  if (shotsLeftOut > 0)
    omitted += (omitted.empty() ? "" : "; ") + IntegerText(static_cast<int>(shotsLeftOut)) +
               " sideshot names left out where they crowd";
  Extended legendY = Size - 50;
  const std::string* legendLines[] = {&ellipseLegend, &legend, &plan.note, &omitted};
  for (const std::string* line : legendLines) {
    if (line->empty()) continue;
    svg += Text(20, legendY, *line, " font-size=\"12\"");
    legendY -= 18;
  }
  svg += ScaleBar(frame, plan.lengthUnit);
  svg += "</svg>\n";
}

std::string FormatSvg(const BookResult& book, const ReportOptions&) {
  std::string svg;
  DrawSvg(book.answerFile ? AnswerPlan(book) : PlanBuilder(book).Whole(), svg, true);
  return svg;
}

}  // namespace traverse
