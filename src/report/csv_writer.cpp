#include <cstdio>

#include "report/writers.hpp"

namespace traverse {

std::string FormatCsv(const Job&, const Adjustment& result, const ReportOptions& options) {
  std::string csv = "point,x,y\n";
  char row[128];
  int number = 0;
  for (const GridPoint& point : result.points) {
    std::snprintf(row, sizeof row, "%d,%.*f,%.*f\n", ++number, options.decimals, point.x,
                  options.decimals, point.y);
    csv += row;
  }
  return csv;
}

}  // namespace traverse
