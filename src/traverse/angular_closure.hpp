// The angular closure: the misclosure of the measured angles against the
// known start and end bearings, spread equally, and the leg bearings that
// follow from the corrected angles.
#pragma once

#include <string_view>

#include "traverse/traverse.hpp"

namespace traverse {

// True when the side answer means left angles: "left" in any mix of upper-
// and lower-case letters, with blanks (bytes 0 to 32) around it ignored.
bool IsLeftSide(std::string_view answer);

// From BearingAB, BearingCD, AngleSide, AngleCount, MeasuredAngleSum and
// MeasuredAngle[1..n]: sets TheoreticalAngleSum, AngularMisclosure,
// AngleCorrection, CorrectedAngle[1..n] and LegBearing[0..n]. Bearings stay
// unreduced. n = 0 raises EZeroDivide (EInvalidOp for a zero misclosure)
// before any table entry is written.
void AdjustAngles(TTraverse& traverse);

// AdjustAngles for `n` angles, which may be more than the 8-bit AngleCount
// holds (a field book's traverse).
void AdjustAnglesOf(TTraverse& traverse, int n);

// From BearingAB, AngleSide, AngleCorrection and MeasuredAngle[1..count]:
// sets CorrectedAngle[1..count] and LegBearing[0..count], each bearing from
// the one before it and its corrected angle.
void PropagateBearings(TTraverse& traverse, int count);

}  // namespace traverse
