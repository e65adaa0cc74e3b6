// Least-squares adjustment of a traverse by observation equations, with the
// precision of every new point, the global test and Baarda's data snooping;
// and the misclosures to be expected from the a-priori sigmas.
#pragma once

#include <optional>
#include <vector>

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse {

// Point order of every kind with a check: B, the new points, C. A connecting
// traverse or loop of n angles has n - 2 new points and n - 1 legs (angles at
// B, at the new points and at C, whose forward point is D); one without end
// orientation has n - 1 new points and n legs (no angle at C).
//
// Gauss-Newton from `start` (the new points of the compass rule) until no
// coordinate moves by more than 0.01 mm, at most 20 iterations (converged
// false after that). Lengths are the measured ones times job.settings.scale; weights
// from job.settings.sigmas. Throws JobError for an open traverse (no redundancy) and
// where the observations do not fix the new points. An observation no other
// one checks (redundancy number 0) has no w.
LeastSquaresResult AdjustLeastSquares(const Job& job, const std::vector<GridPoint>& start);

// The standard deviations of the misclosures expected from job.settings.sigmas,
// propagated linearly through the compass computation, and the actual
// misclosures of `adjusted` divided by them. Empty for an open traverse.
std::optional<ExpectedMisclosure> ExpectedMisclosures(const Job& job, const Adjustment& adjusted);

}  // namespace traverse
