#include "traverse/linear_closure.hpp"

#include "failure/float_checks.hpp"
#include "traverse/extended_math.hpp"
#include "traverse/grid_bearing.hpp"

namespace traverse {

void LegIncrements(TTraverse& traverse, int i) {
  const Extended angle = GonToRadian * traverse.LegBearing[i];
  traverse.IncrementX[i] = StoreReal(Cosine(angle) * traverse.LegLength[i]);
  traverse.IncrementY[i] = StoreReal(Sine(angle) * traverse.LegLength[i]);
}

void AdjustIncrements(TTraverse& traverse) {
  AdjustIncrementsOf(traverse, traverse.AngleCount - 1);
}

void AdjustIncrementsOf(TTraverse& traverse, int legs) {
  traverse.SumIncrementX = 0;
  traverse.SumIncrementY = 0;
  for (int i = 1; i <= legs; ++i) {
    traverse.SumIncrementX = RunningSum(traverse.SumIncrementX, traverse.IncrementX[i]);
    traverse.SumIncrementY = RunningSum(traverse.SumIncrementY, traverse.IncrementY[i]);
  }

  CoordinateDifferences(traverse.XB, traverse.YB, traverse.XC, traverse.YC, traverse.DxBC,
                        traverse.DyBC);
  traverse.MisclosureX = StoreReal(Extended(traverse.SumIncrementX) - traverse.DxBC);
  traverse.MisclosureY = StoreReal(Extended(traverse.SumIncrementY) - traverse.DyBC);

  // No tolerance: any misclosure is spread, in proportion to the lengths as
  // typed (negative ones included).
  for (int i = 1; i <= legs; ++i) {
    const Extended share = Quotient(traverse.LegLength[i], traverse.SumLength);
    const double correctionX = StoreReal(share * -Extended(traverse.MisclosureX));
    const double correctionY = StoreReal(share * -Extended(traverse.MisclosureY));
    traverse.CorrectedIncrementX[i] = StoreReal(Extended(traverse.IncrementX[i]) + correctionX);
    traverse.CorrectedIncrementY[i] = StoreReal(Extended(traverse.IncrementY[i]) + correctionY);
  }

  traverse.PointX[0] = traverse.XB;
  traverse.PointY[0] = traverse.YB;
}

void NextPoint(TTraverse& traverse, int i) {
  traverse.PointX[i] =
      StoreReal(Extended(traverse.PointX[i - 1]) + traverse.CorrectedIncrementX[i]);
  traverse.PointY[i] =
      StoreReal(Extended(traverse.PointY[i - 1]) + traverse.CorrectedIncrementY[i]);
}

}  // namespace traverse
