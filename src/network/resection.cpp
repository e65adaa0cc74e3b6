#include "network/resection.hpp"

#include <array>
#include <cmath>
#include <string>
#include <utility>

namespace traverse {
namespace {

// The two circles a three-point resection intersects must cross at B at
// 1 gon or more: at less, a direction's error moves the station by over 64
// times its arc, and the circle of all four points is within reach of the
// readings' own errors. (Good practice keeps to 30 degrees and more.)
const double weakestCrossing = std::sin(1 / gonPerRadian);

GridPoint operator-(const GridPoint& a, const GridPoint& b) {
  return {a.x - b.x, a.y - b.y};
}
double Dot(const GridPoint& a, const GridPoint& b) {
  return a.x * b.x + a.y * b.y;
}
double Cross(const GridPoint& a, const GridPoint& b) {
  return a.x * b.y - a.y * b.x;
}

// The station from the targets with distances: the polar points in the
// circle's own frame turned and shifted onto the targets, the turn by least
// squares over all of them. The scale stays 1: the distances are on the
// grid already, and a scale of their own would take up their errors unseen
// (with two targets, all of them). None where the targets lie in one place.
std::optional<GridPoint> Helmert(const std::vector<ResectionTarget>& targets) {
  std::vector<std::pair<GridPoint, GridPoint>> pairs;  // own frame, grid
  GridPoint own, grid;
  for (const ResectionTarget& t : targets) {
    if (!t.distance) continue;
    pairs.push_back({PolarPoint({0, 0}, 0, t.direction, *t.distance), t.at});
    own = {own.x + pairs.back().first.x, own.y + pairs.back().first.y};
    grid = {grid.x + t.at.x, grid.y + t.at.y};
  }
  if (pairs.size() < 2) return std::nullopt;
  const double n = static_cast<double>(pairs.size());
  own = {own.x / n, own.y / n}, grid = {grid.x / n, grid.y / n};
  double cosine = 0, sine = 0;
  for (const auto& [p, q] : pairs)
    cosine += Dot(p - own, q - grid), sine += Cross(p - own, q - grid);
  if (cosine == 0 && sine == 0) return std::nullopt;
  const double turn = std::atan2(sine, cosine);
  return GridPoint{grid.x - own.x * std::cos(turn) + own.y * std::sin(turn),
                   grid.y - own.x * std::sin(turn) - own.y * std::cos(turn)};
}

// Cassini's resection from A, B and C with B between: the circle through A,
// B and the station P, and the one through B, C and P, meet again at P.
// Their points opposite B, E and F, follow from the angles at P: A sees BE
// at a right angle and E sees AB at the angle P sees it (inscribed angles),
// likewise for F; and P, seeing BE and BF at right angles, is the foot of B
// on EF. Sets `crossing` to the sine of the angle at
// which the circles cross; none where B lies in line with A or C from P.
std::optional<GridPoint> Cassini(const ResectionTarget& a, const ResectionTarget& b,
                                 const ResectionTarget& c, double& crossing) {
  const double alpha = (b.direction - a.direction) / gonPerRadian;
  const double beta = (c.direction - b.direction) / gonPerRadian;
  if (std::fabs(std::sin(alpha)) < 1e-12 || std::fabs(std::sin(beta)) < 1e-12) return std::nullopt;
  const double ca = 1 / std::tan(alpha), cb = 1 / std::tan(beta);
  const GridPoint e{a.at.x - ca * (b.at.y - a.at.y), a.at.y + ca * (b.at.x - a.at.x)};
  const GridPoint f{c.at.x + cb * (b.at.y - c.at.y), c.at.y - cb * (b.at.x - c.at.x)};
  const GridPoint be = e - b.at, bf = f - b.at, ef = f - e;
  crossing = std::fabs(Cross(be, bf)) / (std::hypot(be.x, be.y) * std::hypot(bf.x, bf.y));
  if (!(crossing >= weakestCrossing)) return std::nullopt;
  const double along = Dot(b.at - e, ef) / Dot(ef, ef);
  return GridPoint{e.x + along * ef.x, e.y + along * ef.y};
}

// The station by directions alone, from the triple (and its middle target)
// whose circles cross at the widest angle.
GridPoint ThreePoint(const std::vector<ResectionTarget>& targets) {
  std::optional<GridPoint> best;
  double widest = 0;
  const std::size_t n = targets.size();
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      for (std::size_t k = j + 1; k < n; ++k)
        for (auto [a, b, c] : {std::array{i, j, k}, {j, k, i}, {k, i, j}}) {
          double crossing = 0;
          const auto station = Cassini(targets[a], targets[b], targets[c], crossing);
          if (station && crossing > widest) best = station, widest = crossing;
        }
  if (best) return *best;
  std::vector<int> all;
  for (std::size_t t = 0; t < n; ++t) all.push_back(static_cast<int>(t));
  throw DangerCircle(std::move(all));
}

}  // namespace

GridPoint PolarPoint(const GridPoint& station, double orientation, double direction,
                     double distance) {
  const double t = (orientation + direction) / gonPerRadian;
  return {station.x + distance * std::cos(t), station.y + distance * std::sin(t)};
}

std::optional<double> OrientationOf(const GridPoint& station,
                                    const std::vector<std::pair<GridPoint, double>>& targets) {
  if (targets.empty()) return std::nullopt;
  // Each value next to the first, so that a mean across 0/400 stays whole.
  double first = 0, sum = 0;
  for (std::size_t k = 0; k < targets.size(); ++k) {
    const double value = equations::Line(station, targets[k].first).Bearing() - targets[k].second;
    if (k == 0) first = value;
    sum += NextTo(value, first);
  }
  return WithinTurn(sum / static_cast<double>(targets.size()));
}

DangerCircle::DangerCircle(std::vector<int> targets)
    : std::runtime_error("the station and its " + std::to_string(targets.size()) +
                         " targets lie on or near one circle (the danger circle): the directions "
                         "do not fix the station"),
      targets_(std::move(targets)) {}

FreeStation Resect(const std::vector<ResectionTarget>& targets) {
  std::optional<GridPoint> station = Helmert(targets);
  if (!station && targets.size() < 3)
    throw std::invalid_argument(
        "a free station needs two known targets with distances or three with directions");
  if (!station) station = ThreePoint(targets);
  std::vector<std::pair<GridPoint, double>> sights;
  for (const ResectionTarget& t : targets) sights.push_back({t.at, t.direction});
  return {*station, *OrientationOf(*station, sights)};
}

}  // namespace traverse
