// The bearing of a line from its coordinate differences, in gon, counted
// clockwise from +X: 0 along +X, 100 along +Y, 200 along -X, 300 along -Y.
#pragma once

#include "failure/extended.hpp"

namespace traverse {

// Radians to gon: 200 / pi.
inline constexpr Extended RhoGon = 63.661977236758134305L;
// Gon to radians: pi / 200.
inline constexpr Extended GonToRadian = 0.015707963267948966192L;

// The bearing of the line with differences dx (X) and dy (Y), end minus start:
// 0 to 400 gon, 400 only for a line within rounding of +X from the fourth
// quadrant. Coinciding points (0 / 0) raise EInvalidOp.
double GridBearing(double dx, double dy);

// The differences of the line from (fromX, fromY) to (toX, toY), each
// rounded for storing: dx := toX - fromX, dy := toY - fromY.
void CoordinateDifferences(double fromX, double fromY, double toX, double toY, double& dx,
                           double& dy);

// sum + term, rounded for storing: one rounding per added term.
double RunningSum(double sum, double term);

}  // namespace traverse
