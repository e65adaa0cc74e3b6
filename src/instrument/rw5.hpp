// Carlson/TDS RW5 raw data (SurvCE, SurvPC, TDS): comma-separated records of
// a code and its value, read into known points (SP) and setups (OC, BK, LS,
// then the shots SS, TR, BD, BR, FD, FR) with their readings as taken.
// GNSS records are passed over with a note.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// Whether `text` looks like RW5: its first record, after blank lines, is
// JB, MO, SP, OC or a `--` comment followed by one of them.
bool IsRw5(std::string_view text);

// The job in `text`. Throws JobError naming the line, the record and the
// field of the first fault.
RawJob ReadRw5(std::string_view text, const std::string& source, const RawOptions& options);

}  // namespace traverse
