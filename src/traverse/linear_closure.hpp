// The linear closure: coordinate increments of each leg, the misclosures in
// X and Y spread over the legs in proportion to their lengths, and the
// coordinates of the new points accumulated from B.
#pragma once

#include <cstdint>

#include "traverse/traverse.hpp"

namespace traverse {

// Sets IncrementX[i] and IncrementY[i] of leg i from LegBearing[i] and
// LegLength[i].
void LegIncrements(TTraverse& traverse, int i);

// After the last length: sets SumIncrementX, SumIncrementY, DxBC, DyBC,
// MisclosureX, MisclosureY, CorrectedIncrementX/Y[1..n-1], and PointX[0],
// PointY[0] to B. A zero SumLength with at least one leg raises EInvalidOp
// when the first length is 0, else EZeroDivide.
void AdjustIncrements(TTraverse& traverse);

// AdjustIncrements for `legs` legs, which may be more than the 8-bit
// AngleCount holds (a field book's traverse).
void AdjustIncrementsOf(TTraverse& traverse, int legs);

// Sets PointX[i] and PointY[i]: point i-1 plus the corrected increments of
// leg i.
void NextPoint(TTraverse& traverse, int i);

}  // namespace traverse
