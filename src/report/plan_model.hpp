// What a plan shows, picked once out of a result and drawn by each writer
// that draws (SVG, the page's plans, DXF): the points with their roles, the
// traverses and the lines of free observations, the marks that orient them,
// and the extent. Picking, not computing: every coordinate and height is the
// result's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "adjustment/book.hpp"

namespace traverse {

enum class PlanRole {
  Known,   // a control point a drawn traverse or free observation stands on
  Above,   // computed by a traverse above the one drawn, which starts or ends on it
  New,     // computed by what is drawn
  Mark,    // a control point that only orients a traverse
  Unused,  // a control point nothing drawn touches (DXF keeps it)
};

struct PlanPoint {
  std::string name;
  GridPoint xy;
  std::optional<double> z;
  PlanRole role = PlanRole::New;
  bool junction = false;  // first or last station of a traverse: named first where names crowd
  std::optional<PointPrecision> precision;  // its error ellipse, where least squares gave one
};

// An orientation line: from a traverse's end station to the point (an index
// into the plan's points) it is oriented on.
struct PlanMark {
  std::size_t point = 0;
  GridPoint station;
};

struct PlanTraverse {
  std::string name;
  std::vector<GridPoint> route;            // the stations in order; a loop ends where it began
  std::vector<std::optional<double>> z;    // each station's height, where heights are carried
  bool loop = false;
  std::optional<LinearMisclosure> misclosure;  // drawn at the last station
};

// A sideshot and the station it is radiated from.
struct PlanSideshot {
  std::string name;
  GridPoint xy, station;
};

struct PlanModel {
  std::string title, heading;
  std::vector<PlanPoint> points;  // control points in the book's order, then the new ones
  std::vector<PlanMark> marks;
  std::vector<PlanTraverse> traverses;
  std::vector<std::pair<GridPoint, GridPoint>> ties;  // lines of free observations
  std::vector<PlanSideshot> sideshots;  // the whole book's plan only
  std::string note;  // a line for the legend ("open traverse: no check")
  std::string lengthUnit = "m";  // of the scale bar and the misclosures: m, ft or usft
};

// Plans of one result: the index of its points is built once, so that a
// plan of each traverse costs what that traverse holds.
class PlanBuilder {
 public:
  explicit PlanBuilder(const BookResult& book);

  // Every traverse, every point, the network's free observations and the
  // sideshots.
  PlanModel Whole() const;

  // Traverse `index` alone: its stations, the points it starts and ends on
  // (from the control or from a traverse above), and its marks.
  PlanModel Traverse(std::size_t index) const;

 private:
  struct Where {
    const NamedPoint* point = nullptr;
    const NewPoint* computed = nullptr;
  };
  const Where* Find(const std::string& name) const;

  const BookResult& book_;
  std::unordered_map<std::string, Where> where_;
  std::unordered_map<std::string, std::size_t> computedBy_;  // new point -> its traverse
};

// An answer file's plan: the points A, B, C, D (B = C and A = D on a loop)
// and 1, 2, ..., headed with the traverse's kind and rule.
PlanModel AnswerPlan(const BookResult& book);

// The plan as SVG 1.1, X up and Y to the right, appended to `out`; `alone`
// opens it with the XML declaration of a file of its own.
void DrawSvg(const PlanModel& plan, std::string& out, bool alone);

}  // namespace traverse
