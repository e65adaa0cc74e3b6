// Writers of an adjustment. Each returns the whole output as one text; they
// format what the Adjustment holds and compute nothing of their own.
#pragma once

#include <string>

#include "adjustment/adjustment.hpp"
#include "adjustment/book.hpp"
#include "adjustment/job.hpp"

namespace traverse {

struct ReportOptions {
  int decimals = 3;     // coordinates in text and CSV
  std::string version;  // of the program, for the text header
  std::string arguments;  // the command line's options, for the page's header
  double plotScale = 500;  // DXF: 1:N, its text 2.5 mm high on paper
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

// A field book's report: one section per traverse with names for numbers,
// readings and heights, then every new point.
std::string FormatBookText(const BookResult& book, const ReportOptions& options);

// "point,x,y" and ",z" where any height is carried, a row per new point by
// name (RFC 4180 quoting where a name needs it).
std::string FormatBookCsv(const BookResult& book, const ReportOptions& options);

// One JSON object: the book's settings, one object per traverse as an answer
// file's report has them, every new point, and the verdict over all.
std::string FormatBookJson(const BookResult& book, const ReportOptions& options);

// A plan of every traverse of the book, points labelled by name.
std::string FormatBookSvg(const BookResult& book, const ReportOptions& options);

// The report as one self-contained HTML5 page to print or file: the text
// report's content as tables, verdicts that fail in red with their words,
// the plan inline, and a print stylesheet for A4 portrait.
std::string FormatHtml(const Job& job, const Adjustment& result, const ReportOptions& options);
std::string FormatBookHtml(const BookResult& book, const ReportOptions& options);

// An AutoCAD R12 ASCII drawing (AC1009): every point as a POINT on layer KNOWN
// or NEW with its name and height as TEXT on layers NAMES and ELEV, and as an
// INSERT of block POINT with attributes NAME, ELEV and DESC; each traverse as
// a POLYLINE on layer TRAVERSE. Text 2.5 mm high at options.plotScale. For
// answer files too, through SingleTraverseResult.
std::string FormatDxf(const BookResult& book, const ReportOptions& options);

}  // namespace traverse
