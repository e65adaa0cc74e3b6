// What more than one writer picks out of an adjustment: names of the rule,
// the kind and the observations, the correction of an angle. Picking, not computing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "adjustment/adjustment.hpp"
#include "adjustment/book.hpp"
#include "adjustment/job.hpp"

namespace traverse {

// "compass", "transit" or "least-squares".
const char* RuleName(Rule rule);

// "connecting", "loop", "no-end-orientation" or "open".
const char* KindName(TraverseKind kind);

// "angle" or "length".
const char* ObservationName(ObservationKind kind);

// A record of its own: "angle", "distance" or "bearing".
const char* RecordName(ObservationKind kind);

// The correction of angle i (0-based), gon: its residual where least squares
// ran, else the rule's correction of every angle; none where least squares
// has no residual for it.
std::optional<double> AngleCorrectionOf(const Adjustment& result, std::size_t i);

// A sideshot's description for a point file or a drawing: its code, then
// its words, a blank between them where it has both.
std::string SideshotDescription(const Sideshot& shot);

}  // namespace traverse
