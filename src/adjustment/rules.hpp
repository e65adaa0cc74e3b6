// Adjusting a job by its rule: compass (the dialogue's own computations),
// transit, or least squares; the misclosures, the tolerance verdicts and,
// wherever the traverse has a check, the suspected blunder.
#pragma once

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse {

// Throws JobError for a traverse that cannot be adjusted (coinciding known
// points, a zero length sum, least squares on an open traverse).
Adjustment Adjust(const Job& job);

}  // namespace traverse
