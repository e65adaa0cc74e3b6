// The closure figures a licensing board reads: the area a closed loop
// encloses, and bearings written by quadrant (N 45-30-00 E) as US surveyors
// write them.
#pragma once

#include <optional>
#include <vector>

#include "network/observations.hpp"

namespace traverse {

// The area inside the polygon of `corners` taken in order and closed back to
// the first, m², by the coordinates (the shoelace formula); 0 for fewer than
// three corners. Positive whichever way round the corners run.
double PolygonArea(const std::vector<GridPoint>& corners);

// The loop's corners before adjustment: the first station and every new
// point as the raw increments place them, the misclosure left in the last leg.
std::vector<GridPoint> UnadjustedCorners(const GridPoint& first, const std::vector<double>& dx,
                                         const std::vector<double>& dy);

// A grid bearing as a quadrant bearing: from north or south, turned towards
// east or west by `angle` gon in [0, 100]. North and east take their own
// letters (N 0 E, N 100 E); south is S 0 E and west S 100 W, so every
// bearing has one quadrant text.
struct QuadrantBearing {
  bool north = true;
  bool east = true;
  double angle = 0;  // gon
};
QuadrantBearing QuadrantOf(double gon);

// The grid bearing, gon in [0, 400), of N/S `angle` E/W; none for an angle
// outside [0, 100] gon (a right angle).
std::optional<double> BearingOfQuadrant(bool north, bool east, double angleGon);

}  // namespace traverse
