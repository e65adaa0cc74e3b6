#include "traverse/grid_bearing.hpp"

#include "failure/float_checks.hpp"
#include "traverse/extended_math.hpp"

namespace traverse {

double GridBearing(double dx, double dy) {
  // The axes give exact bearings; a negative zero compares equal to 0.
  if (dx == 0 && dy < 0) return 300;
  if (dx == 0 && dy > 0) return 100;
  if (dx > 0 && dy == 0) return 0;
  if (dx < 0 && dy == 0) return 200;

  // Coinciding points reach this quotient as 0 / 0. The extended exponent
  // range holds the quotient of any two doubles, so a steep line is no
  // overflow.
  double t = StoreReal(ArcTangent(Quotient(dy, dx)));
  if (dx > 0 && dy > 0) return StoreReal(RhoGon * t);
  if (dx < 0) return StoreReal(RhoGon * t + 200);
  return StoreReal(RhoGon * t + 400);
}

void CoordinateDifferences(double fromX, double fromY, double toX, double toY, double& dx,
                           double& dy) {
  dx = StoreReal(Extended(toX) - fromX);
  dy = StoreReal(Extended(toY) - fromY);
}

double RunningSum(double sum, double term) {
  return StoreReal(Extended(sum) + term);
}

}  // namespace traverse
