#include "network/observations.hpp"

#include <cmath>

namespace traverse {
namespace {

// The line between two points with the derivatives of its bearing by the x
// and y of its end point, in gon: d t / d(x, y) = (-dy, dx) / s², and the
// opposite for its start point.
struct Line {
  double dx = 0, dy = 0;
  double tx = 0, ty = 0;

  Line(const GridPoint& from, const GridPoint& to) : dx(to.x - from.x), dy(to.y - from.y) {
    const double squared = dx * dx + dy * dy;
    if (!(squared > 0)) throw PointsInOnePlace();
    tx = -dy / squared * gonPerRadian;
    ty = dx / squared * gonPerRadian;
  }
  double Bearing() const { return std::atan2(dy, dx) * gonPerRadian; }
  Line Reversed() const {
    Line back = *this;
    back.dx = -dx, back.dy = -dy, back.tx = -tx, back.ty = -ty;
    return back;
  }
};

// The derivatives by point p's x and y, where the index has them.
void Add(Equation& e, const UnknownIndex& unknowns, int p, double ax, double ay) {
  const int x = unknowns.Of(p, Unknown::X);
  if (x >= 0) e.terms[e.count++] = {x, ax};
  const int y = unknowns.Of(p, Unknown::Y);
  if (y >= 0) e.terms[e.count++] = {y, ay};
}

}  // namespace

double NextTo(double computed, double measured) {
  return computed + 400 * std::round((measured - computed) / 400);
}

double BearingOf(const GridPoint& from, const GridPoint& to) {
  return std::atan2(to.y - from.y, to.x - from.x) * gonPerRadian;
}

Observation TraverseAngle(int behind, int at, int ahead, bool left, double value, double sigma) {
  return {ObservationKind::Angle, at, left ? behind : ahead, left ? ahead : behind, value, sigma};
}

int UnknownIndex::Add(int owner, Unknown kind) {
  const std::size_t o = static_cast<std::size_t>(owner);
  if (o >= of_.size()) of_.resize(o + 1, {-1, -1, -1, -1});
  of_[o][static_cast<std::size_t>(kind)] = size();
  owner_.push_back({owner, kind});
  return size() - 1;
}

Equation Linearise(const Observation& o, const std::vector<GridPoint>& at,
                   const UnknownIndex& unknowns) {
  auto point = [&](int p) -> const GridPoint& { return at[static_cast<std::size_t>(p)]; };
  Equation e;
  switch (o.kind) {
    case ObservationKind::Angle: {
      // Each bearing by its own arc tangent.
      auto sight = [&](int p) {
        return p == o.behind ? Line(point(p), point(o.at)).Reversed() : Line(point(o.at), point(p));
      };
      const Line back = sight(o.from), forward = sight(o.to);
      Add(e, unknowns, o.at, back.tx - forward.tx, back.ty - forward.ty);
      Add(e, unknowns, o.from, -back.tx, -back.ty);
      Add(e, unknowns, o.to, forward.tx, forward.ty);
      e.computed = NextTo(forward.Bearing() - back.Bearing(), o.value);
      break;
    }
    case ObservationKind::Distance: {
      const Line line(point(o.from), point(o.to));
      const double s = std::hypot(line.dx, line.dy);
      Add(e, unknowns, o.from, -line.dx / s, -line.dy / s);
      Add(e, unknowns, o.to, line.dx / s, line.dy / s);
      e.computed = s;
      break;
    }
    case ObservationKind::Bearing: {
      const Line line(point(o.from), point(o.to));
      Add(e, unknowns, o.from, -line.tx, -line.ty);
      Add(e, unknowns, o.to, line.tx, line.ty);
      e.computed = NextTo(line.Bearing(), o.value);
      break;
    }
  }
  return e;
}

}  // namespace traverse
