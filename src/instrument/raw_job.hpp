// What a reader of an instrument's file gives: the job as a field book would
// hold it, the coordinates the collector computed set against the program's
// own radial computation, and notes on what was read and what was passed over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adjustment/survey.hpp"
#include "instrument/raw_formats.hpp"

namespace traverse {

// One coordinate the collector computed (never control) against the
// radial computation from the collector's own station and orientation.
struct CollectorCheck {
  std::string point;
  int line = 0;      // of the collector's figure
  std::string station;
  int shotLine = 0;  // of the pointing the program radiated it from
  GridPoint collector, computed;  // in the file's unit
  std::optional<double> collectorZ, computedZ;
};

struct RawJob {
  Book book;  // angles in gon, lengths in metres until ToBook
  std::vector<CollectorCheck> checks;
  std::vector<std::string> notes;
  std::optional<LengthUnit> lengthUnit;  // of every length read: the file's own, else the option's
};

// The job as the program's readers give it: the notes, then a note per
// check, in the book's notes; its lengths in the file's own unit.
Book ToBook(RawJob job);

// The check as a line of the report's notes: the collector's figure less
// the radial computation, in millimetres; its figures of `metresPerUnit`
// metres.
std::string CheckNote(const CollectorCheck& check, double metresPerUnit = 1);

// `value` with its sign and `decimals` decimals, for the readers' notes; a
// value that rounds to 0 is +0.
std::string Signed(double value, int decimals);

}  // namespace traverse
