// Helpers for the traverse tests: a record put back to its start values
// where a test can have touched it, and the failure an action raises.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "failure/failures.hpp"
#include "traverse/traverse.hpp"

namespace traverse::testing {

// Entries a test can reach: the count is at most 255, and index 256 is one
// past the last leg bearing.
inline constexpr std::size_t UsedEntries = 257;

// Zeroes every field and the first UsedEntries of every table: only what a
// run can touch, so the rest of the tables stays unwritten.
inline void ClearRecord(TTraverse& record) {
  record.XA = record.YA = record.XB = record.YB = 0;
  record.XC = record.YC = record.XD = record.YD = 0;
  record.DxCD = record.DyCD = record.DxAB = record.DyAB = 0;
  record.BearingCD = record.BearingAB = 0;
  record.TheoreticalAngleSum = record.MeasuredAngleSum = 0;
  record.AngularMisclosure = record.AngleCorrection = 0;
  record.SumIncrementX = record.DxBC = record.DyBC = record.SumIncrementY = 0;
  record.MisclosureX = record.SumLength = record.MisclosureY = 0;
  record.AngleSide.clear();
  record.AngleCount = 0;
  for (double* table :
       {record.MeasuredAngle, record.CorrectedAngle, record.LegLength, record.IncrementX,
        record.IncrementY, record.CorrectedIncrementX, record.CorrectedIncrementY, record.PointX,
        record.LegBearing, record.PointY})
    for (std::size_t i = 0; i < UsedEntries; ++i) table[i] = 0;
}

// What a failure carried: its class name and message ("" for none).
struct Caught {
  std::string className;
  std::string message;
};

// Runs `action` and returns the failure it raised, releasing the object;
// an empty class name when it raised none.
template <class Action>
Caught FailureOf(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const RaisedFailure& failure) {
    Caught caught{failure.object->ClassName(), ""};
    if (auto* exception = dynamic_cast<Exception*>(failure.object))
      caught.message = std::string(exception->Message());
    delete failure.object;
    return caught;
  }
  return {};
}

}  // namespace traverse::testing
