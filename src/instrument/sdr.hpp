// Sokkia SDR33 and SDR2x: fixed-width records (16-character fields in
// SDR33, 4-character point ids and 10-character reals in SDR2x) sliced by
// position, so that numbers that abut are read apart. The header (00) fixes
// the angle unit, the length unit, the order of the coordinates and the
// direction of the circle; 02 opens a setup, 03 sets the target height, 07
// is the backsight with its azimuth, 08 a point's coordinates (KI and CO
// control, TP the collector's computation), 09 F1/F2 the pointings.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// The job in `text`. Throws JobError naming the line, the record and the
// field (by its columns) of the first fault.
RawJob ReadSdrJob(std::string_view text, const std::string& source, const RawOptions& options);

// The same as the program's readers give it (raw_formats.hpp): the notes
// and the checks in the book's notes.
Book ReadSdr(std::string_view text, const std::string& source, const RawOptions& options);

}  // namespace traverse
