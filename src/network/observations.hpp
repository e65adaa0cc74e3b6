// The observation equations of every least-squares adjustment: the kinds of
// observation, their values computed from coordinates, and their partial
// derivatives by typed unknowns, for the band solver of one traverse and the
// sparse one of a network alike. Angles and bearings are in gon (400 to the
// turn), bearings from +X (north) clockwise towards +Y (east).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace traverse {

struct GridPoint {
  double x = 0;
  double y = 0;
};

// Gon per radian (rho), for double arithmetic; the dialogue's extended one is
// its own.
inline constexpr double gonPerRadian = 63.661977236758134308;

// `computed` moved by whole turns of 400 gon to lie next to `measured`.
inline double NextTo(double computed, double measured) {
  return computed + 400 * std::round((measured - computed) / 400);
}

// `gon` moved by whole turns into [0, 400): the remainder is exact for any
// finite value (a reading of 5e51 too, where a quotient would round).
inline double WithinTurn(double gon) {
  double within = std::fmod(gon, 400.0);
  if (within < 0) within += 400;
  return within < 400 ? within : 0;  // -1e-17 rounds up to 400
}

// The grid bearing from one point to another, gon in (-200, 200].
double BearingOf(const GridPoint& from, const GridPoint& to);

// What was observed. A height difference belongs to a network of heights
// alone, whose only unknowns are the points' heights.
enum class ObservationKind { Angle, Distance, Bearing, Direction, HeightDifference };

// One observation between points numbered by the caller: an angle at `at`
// turned clockwise from `from` to `to`, t(at->to) - t(at->from); a distance
// or a bearing t(from->to); a direction t(from->to) - o, the circle reading
// from the station `from` with the orientation unknown o of its setup; a
// height difference z(to) - z(from).
struct Observation {
  ObservationKind kind = ObservationKind::Angle;
  int at = -1;
  int from = -1;
  int to = -1;
  double value = 0;  // gon or metres
  double sigma = 0;  // gon or metres; 0 for a bearing held fixed
  // An angle of one traverse's band: the point behind, whose sight is the leg
  // into `at` turned round (a zero component keeps the leg's sign, and with
  // it the side of 200 gon an arc tangent takes); -1: both sights direct.
  int behind = -1;
  int setup = -1;  // a direction's setup, numbered by the caller from 0
};

// The angle a traverse measures at station `at` between the stations behind
// and ahead: left angles are turned clockwise from behind to ahead, right
// ones the other way.
Observation TraverseAngle(int behind, int at, int ahead, bool left, double value, double sigma);

// The kinds of unknown an observation may depend on.
enum class Unknown { X, Y, Orientation, Height };
inline constexpr std::size_t unknownKinds = 4;

// The number of each unknown among all of an adjustment's, by its owner (a
// point, or the setup an orientation belongs to) and kind; -1 where that one
// is known. Any owner may have any of the kinds.
class UnknownIndex {
 public:
  explicit UnknownIndex(std::size_t owners = 0) : of_(owners, {-1, -1, -1, -1}) {}
  // Numbers the next unknown; an owner past the end widens the index.
  int Add(int owner, Unknown kind);
  void Reserve(std::size_t unknowns) { owner_.reserve(unknowns); }
  int Of(int owner, Unknown kind) const {
    return of_[static_cast<std::size_t>(owner)][static_cast<std::size_t>(kind)];
  }
  const std::array<int, unknownKinds>& Of(int owner) const {
    return of_[static_cast<std::size_t>(owner)];
  }
  // As Of, or -1 for an owner past the end.
  int Find(int owner, Unknown kind) const {
    return owner < static_cast<int>(of_.size()) ? Of(owner, kind) : -1;
  }
  int Owner(int unknown) const { return owner_[static_cast<std::size_t>(unknown)].owner; }
  Unknown Kind(int unknown) const { return owner_[static_cast<std::size_t>(unknown)].kind; }
  int size() const { return static_cast<int>(owner_.size()); }

 private:
  struct Owned {
    int owner;
    Unknown kind;
  };
  std::vector<std::array<int, unknownKinds>> of_;
  std::vector<Owned> owner_;
};

// One coefficient of an observation equation: d(computed) / d(unknown). No
// default values: an equation's unused terms stay unwritten.
struct Term {
  int unknown;
  double a;
};

// An observation at the current coordinates: its computed value and the
// derivatives by those of its unknowns the index numbers, in the order of its
// points (at, from, to), each point's x before its y.
struct Equation {
  static constexpr std::size_t capacity = 6;  // three points of two unknowns: an angle
  Equation() {}  // provided, so that even a vector's value-initialisation leaves the terms be
  std::array<Term, capacity> terms;  // the first `count` set
  std::size_t count = 0;
  double computed = 0;
};

// Two points of an observation lie in one place: no bearing between them.
class PointsInOnePlace : public std::runtime_error {
 public:
  PointsInOnePlace() : std::runtime_error("the observation joins two points that lie in one place") {}
};

namespace equations {

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
inline void Add(Equation& e, const UnknownIndex& unknowns, int p, double ax, double ay) {
  const std::array<int, unknownKinds>& of = unknowns.Of(p);
  if (const int x = of[static_cast<std::size_t>(Unknown::X)]; x >= 0) e.terms[e.count++] = {x, ax};
  if (const int y = of[static_cast<std::size_t>(Unknown::Y)]; y >= 0) e.terms[e.count++] = {y, ay};
}

}  // namespace equations

// Sets `e` to the observation equation of `o` at the coordinates `at` of its
// points, the `orientations` of the setups and the points' `heights`, in
// place: the loops over every observation neither copy nor clear an
// equation. The orientation unknown of setup s is owned by at.size() + s.
// Throws PointsInOnePlace where a line of it has no length.
inline void Linearise(const Observation& o, const std::vector<GridPoint>& at,
                      const UnknownIndex& unknowns, Equation& e,
                      std::span<const double> orientations = {},
                      std::span<const double> heights = {}) {
  auto point = [&](int p) -> const GridPoint& { return at[static_cast<std::size_t>(p)]; };
  using equations::Line;
  using equations::Add;
  e.count = 0;
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
    case ObservationKind::Direction: {
      const Line line(point(o.from), point(o.to));
      Add(e, unknowns, o.from, -line.tx, -line.ty);
      Add(e, unknowns, o.to, line.tx, line.ty);
      const int owner = static_cast<int>(at.size()) + o.setup;
      if (const int u = unknowns.Find(owner, Unknown::Orientation); u >= 0)
        e.terms[e.count++] = {u, -1};
      e.computed = NextTo(line.Bearing() - orientations[static_cast<std::size_t>(o.setup)], o.value);
      break;
    }
    case ObservationKind::HeightDifference: {
      for (const auto& [p, a] : {std::pair{o.from, -1.0}, {o.to, 1.0}})
        if (const int u = unknowns.Of(p, Unknown::Height); u >= 0) e.terms[e.count++] = {u, a};
      e.computed = heights[static_cast<std::size_t>(o.to)] - heights[static_cast<std::size_t>(o.from)];
      break;
    }
  }
}

// The value an observation of `kind` has at the coordinates of its points
// (`at` counts for an angle only, `orientation` for a direction), moved next
// to `measured` by whole turns. Throws PointsInOnePlace.
inline double ComputedValue(ObservationKind kind, const GridPoint& at, const GridPoint& from,
                            const GridPoint& to, double measured, double orientation = 0) {
  Observation o{kind, 0, 1, 2, measured, 0};
  o.setup = 0;
  Equation e;
  Linearise(o, {at, from, to}, UnknownIndex(3), e, {&orientation, 1});
  return e.computed;
}

}  // namespace traverse
