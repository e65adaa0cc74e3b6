// A job's grid as a field book's `grid` record and `--grid` write it, and
// latitudes and longitudes as a book writes them.
#pragma once

#include <span>
#include <string_view>

#include "geodesy/grid.hpp"

namespace traverse {

// The grid of the words after `grid`:
//   utm ZONE[n|s]                                    (WGS 84)
//   tm LAT0 LON0 K0 FALSE_E FALSE_N [ELLIPSOID]
//   lcc LAT0 LON0 LAT1 LAT2 FALSE_E FALSE_N [ELLIPSOID]
//   epsg:CODE
// angles in decimal degrees or D-M-S, the ellipsoid by name (GRS 80 where
// none is named). Throws JobError on `line` (0 for the command line) saying
// what was expected and what was found.
geodesy::GridDefinition ParseGrid(std::span<const std::string_view> words, int line);

// A latitude or longitude in decimal degrees or D-M-S (-37-39-10.1563),
// degrees; throws JobError on `line` naming `what` beyond `limit` degrees.
double ParseDegrees(std::string_view token, const std::string& what, double limit, int line);

}  // namespace traverse
