// Writers of an adjustment. Each returns the whole output as one text; they
// format what the Adjustment holds and compute nothing of their own.
#pragma once

#include <string>

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse {

struct ReportOptions {
  int decimals = 3;     // coordinates in text and CSV
  std::string version;  // of the program, for the text header
};

// A report to print and file: a header naming the input and the options,
// aligned tables with units, the misclosure block and the verdicts.
std::string FormatTextReport(const Job& job, const Adjustment& result, const ReportOptions& options);

// One row per new point under the header "point,x,y".
std::string FormatCsv(const Job& job, const Adjustment& result, const ReportOptions& options);

// One JSON object (see the manual page); numbers in the shortest form that
// reads back to the same double.
std::string FormatJson(const Job& job, const Adjustment& result, const ReportOptions& options);

// A plan of the traverse, X up and Y to the right.
std::string FormatSvg(const Job& job, const Adjustment& result, const ReportOptions& options);

}  // namespace traverse
