// Reading known points from a control point file, the comma-separated rows
// of point, north (X), east (Y), elevation and description that CAD survey
// tools import and export, in the order of the file's header or as named.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "adjustment/book.hpp"

namespace traverse {

// Whether `letters` names columns: P, N, E, Z, D, B (latitude) and L
// (longitude) in any order, each at most once, with P and either N and E or
// B and L.
bool AreColumns(std::string_view letters);

// The points of `text` in file order, each with its line in the file. A first
// row whose second field is no number is a header, which names the columns
// unless `letters` does; without either they are PNEZD. Blank rows and rows
// starting with '#' are passed over; fields are trimmed, and an empty Z means
// no height. Latitude and longitude columns (decimal degrees or D-M-S) give
// geographic control, projected to the job's grid later. Throws JobError
// naming `file` and the row's line.
std::vector<NamedPoint> ReadControlPoints(std::string_view text, const std::string& file,
                                          std::string_view letters = {});

}  // namespace traverse
