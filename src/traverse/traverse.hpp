// The one record of a run: the known points, the operator's answers, the
// sums and misclosures, and the ten tables the computations work in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace traverse {

// Entries per table. The count of angles is an unsigned 8-bit value, so a run
// uses at most the first 256 entries; the rest is never touched.
inline constexpr std::size_t TableCapacity = 2000000;

// Every real is a double; every field is zero at start. The record lives in
// zero-filled static storage and has no initialisers of its own: a page of a
// table costs memory only once an entry on it is written.
struct TTraverse {
  double XA, YA, XB, YB, XC, YC, XD, YD;
  double DxCD, DyCD;
  double DxAB, DyAB;
  double BearingCD, BearingAB;  // gon
  double TheoreticalAngleSum;   // gon
  double MeasuredAngleSum;      // gon
  double AngularMisclosure;     // gon
  double AngleCorrection;       // gon, added to every angle
  double SumIncrementX;
  double DxBC, DyBC;
  double SumIncrementY;
  double MisclosureX;
  double SumLength;
  double MisclosureY;
  std::string AngleSide;  // the answer to the left/right question, as typed
  std::uint8_t AngleCount;

  // Tables addressed from 1; PointX, LegBearing and PointY also use entry 0.
  double MeasuredAngle[TableCapacity + 1];   // gon, as typed
  double CorrectedAngle[TableCapacity + 1];  // gon
  double LegLength[TableCapacity + 1];       // as typed
  double IncrementX[TableCapacity + 1];      // raw increments of leg i
  double IncrementY[TableCapacity + 1];
  double CorrectedIncrementX[TableCapacity + 1];  // adjusted increments of leg i
  double CorrectedIncrementY[TableCapacity + 1];
  double PointX[TableCapacity + 1];      // point i; entry 0 holds B
  double LegBearing[TableCapacity + 1];  // gon; entry 0 holds BearingAB
  double PointY[TableCapacity + 1];
};

// The record of this run. Static, never copied.
extern TTraverse TraverseRecord;

}  // namespace traverse
