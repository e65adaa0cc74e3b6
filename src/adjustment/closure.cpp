#include "adjustment/closure.hpp"

#include <cmath>
#include <cstddef>

namespace traverse {

double PolygonArea(const std::vector<GridPoint>& corners) {
  if (corners.size() < 3) return 0;
  // Relative to the first corner: grid coordinates run to millions of
  // metres, and their products would drown a small parcel's area.
  const GridPoint& o = corners.front();
  long double twice = 0;
  for (std::size_t i = 1; i + 1 < corners.size(); ++i) {
    const long double x1 = corners[i].x - o.x, y1 = corners[i].y - o.y;
    const long double x2 = corners[i + 1].x - o.x, y2 = corners[i + 1].y - o.y;
    twice += x1 * y2 - x2 * y1;
  }
  return static_cast<double>(std::fabs(twice) / 2);
}

std::vector<GridPoint> UnadjustedCorners(const GridPoint& first, const std::vector<double>& dx,
                                         const std::vector<double>& dy) {
  std::vector<GridPoint> corners{first};
  long double x = first.x, y = first.y;
  // The last leg runs back to the first station: its end is no corner.
  for (std::size_t i = 0; i + 1 < dx.size() && i < dy.size(); ++i) {
    x += dx[i];
    y += dy[i];
    corners.push_back({static_cast<double>(x), static_cast<double>(y)});
  }
  return corners;
}

QuadrantBearing QuadrantOf(double gon) {
  double b = std::fmod(gon, 400.0);
  if (b < 0) b += 400;
  // A vector along an axis comes out of atan2 a few ulps off it: within a
  // nanogon it is on the axis, and east reads N 90 E, not S 90 E.
  const double axis = std::round(b / 100) * 100;
  if (std::fabs(b - axis) < 1e-9) b = axis;
  if (b == 400) b = 0;
  // Bearings run clockwise from north: (0, 100] NE, (100, 200] SE,
  // (200, 300] SW, (300, 400) and 0 NW then NE.
  if (b <= 100) return {true, true, b};
  if (b <= 200) return {false, true, 200 - b};
  if (b <= 300) return {false, false, b - 200};
  return {true, false, 400 - b};
}

std::optional<double> BearingOfQuadrant(bool north, bool east, double angleGon) {
  if (!(angleGon >= 0 && angleGon <= 100)) return std::nullopt;
  double b = north ? (east ? angleGon : 400 - angleGon) : (east ? 200 - angleGon : 200 + angleGon);
  if (b >= 400) b -= 400;
  return b;
}

}  // namespace traverse
