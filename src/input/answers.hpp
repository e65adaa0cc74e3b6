// Reading the dialogue's answers from a text: X and Y of A, B, C and D, the
// side, the count, the angles and the lengths, one answer per line, numbers
// in the dialogue's syntax.
#pragma once

#include <string_view>

#include "adjustment/job.hpp"

namespace traverse {

// Fills job.a to job.d, leftAngles, angles, lengths and their lines from
// `text`, by job.kind and job.settings.unit (set beforehand); detects a loop. Throws
// JobError naming the line, what was expected and what was found.
void ReadAnswers(std::string_view text, Job& job);

}  // namespace traverse
