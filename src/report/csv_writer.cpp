#include "report/number_text.hpp"
#include "report/writers.hpp"

namespace traverse {

std::string FormatCsv(const Job&, const Adjustment& result, const ReportOptions& options) {
  std::string csv = "point,x,y\n";
  int number = 0;
  for (const GridPoint& point : result.points) {
    csv += IntegerText(++number);
    csv += ',';
    csv += FixedText(point.x, options.decimals);
    csv += ',';
    csv += FixedText(point.y, options.decimals);
    csv += '\n';
  }
  return csv;
}

}  // namespace traverse
