// Reading known points from a control point file, the comma-separated
// NAME,X,Y[,Z[,DESCRIPTION]] rows (point, north, east, elevation,
// description) that CAD survey tools import and export.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "adjustment/book.hpp"

namespace traverse {

// The points of `text` in file order, each with its line in the file. A first
// row whose X is no number is a header; blank rows and rows starting with
// '#' are passed over; fields are trimmed, and an empty Z means no height.
// Throws JobError naming `file` and the row's line.
std::vector<NamedPoint> ReadControlPoints(std::string_view text, const std::string& file);

}  // namespace traverse
