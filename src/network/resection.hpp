// The plane geometry of a setup: the polar point of a target, the
// orientation of a setup on a placed station, and a free station (a setup
// on an unknown point) placed and oriented in closed form from its known
// targets, the start of the adjustment. Directions are reduced circle
// readings in gon, clockwise like bearings; distances horizontal, on the grid.
#pragma once

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "network/observations.hpp"

namespace traverse {

// The point at `distance` along `direction` from a setup on `station`
// whose circle's zero has the bearing `orientation`.
GridPoint PolarPoint(const GridPoint& station, double orientation, double direction,
                     double distance);

// The orientation of a setup on `station` (the grid bearing of the circle's
// zero, gon in [0, 400)) as the mean of bearing less direction over the
// placed targets given, each a target's coordinates and its direction; none
// where none is given. Throws PointsInOnePlace for a target on the station.
std::optional<double> OrientationOf(const GridPoint& station,
                                    const std::vector<std::pair<GridPoint, double>>& targets);

// A known target of a free station.
struct ResectionTarget {
  GridPoint at;
  double direction = 0;            // gon
  std::optional<double> distance;  // where one was measured
};

struct FreeStation {
  GridPoint station;
  double orientation = 0;  // gon, in [0, 400)
};

// The station and its targets lie on one circle (or line), or so near one
// that no three of the targets fix the station: targets() are their places
// in the list given.
class DangerCircle : public std::runtime_error {
 public:
  explicit DangerCircle(std::vector<int> targets);
  const std::vector<int>& targets() const { return targets_; }

 private:
  std::vector<int> targets_;
};

// Where a setup on an unknown point stands, from two or more known targets
// with distances (the rotation and shift that carry the polar points onto
// the targets, by least squares), else from three or more by directions
// alone (the three-point resection of the best-conditioned triple); the
// orientation is then the mean over every target. Throws DangerCircle, or
// std::invalid_argument for fewer targets than either way needs.
FreeStation Resect(const std::vector<ResectionTarget>& targets);

}  // namespace traverse
