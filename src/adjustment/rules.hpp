// Adjusting a job by its rule: compass (the dialogue's own computations),
// transit, or least squares; the misclosures, the tolerance verdicts and,
// wherever the traverse has a check, the suspected blunder.
#pragma once

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse {

// Throws JobError for a traverse that cannot be adjusted (coinciding known
// points, a zero length sum, least squares on an open traverse).
// Not reentrant: the compass rule runs the dialogue's own computations, which
// work in the dialogue's one record (TraverseRecord, too large to have one per
// call), so two calls must not overlap, and a call leaves the record holding
// its traverse. It also holds the failure hook while it computes.
Adjustment Adjust(const Job& job);

}  // namespace traverse
