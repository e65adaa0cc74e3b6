// Carlson/TDS RW5 raw data (SurvCE, SurvPC, TDS): comma-separated records of
// a code and its value, read into known points (SP) and setups (OC, BK, LS,
// then the shots SS, TR, BD, BR, FD, FR) with their readings as taken.
// GNSS records are passed over with a note.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// The job in `text`. Throws JobError naming the line, the record and the
// field of the first fault.
RawJob ReadRw5Job(std::string_view text, const std::string& source, const RawOptions& options);

// The same as the program's readers give it (raw_formats.hpp): the notes
// and the checks in the book's notes.
Book ReadRw5(std::string_view text, const std::string& source, const RawOptions& options);

}  // namespace traverse
