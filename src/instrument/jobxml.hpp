// Trimble JobXML (.jxl, Survey Controller and Access): the FieldBook's
// records read into known points (keyed-in Grid coordinates, and satellite
// positions at the grid coordinates the collector computed for them) and
// setups (StationRecord, BackBearingRecord, then the PointRecords whose
// Circle reads from them), every value in decimal degrees and metres
// whatever the job's display units. Raw EDM distances take the target's
// prism constant and, where the atmosphere record says it is still to be
// applied, its ppm. ComputedGrid on an observation is the collector's
// coordinates: a check, never control.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// The job in `text`. Throws JobError naming the XML line, the record and the
// element of the first fault.
RawJob ReadJobXmlJob(std::string_view text, const std::string& source, const RawOptions& options);

// The same as the program's readers give it (raw_formats.hpp): the notes
// and the checks in the book's notes.
Book ReadJobXml(std::string_view text, const std::string& source, const RawOptions& options);

}  // namespace traverse
