#include "report/number_text.hpp"
#include "report/writers.hpp"

namespace traverse {

namespace {

// A field as RFC 4180 has it: quoted, with its quotes doubled, where it holds
// a comma, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char byte : text) {
    if (byte == '"') quoted += '"';
    quoted += byte;
  }
  return quoted + '"';
}

}  // namespace

std::string FormatCsv(const BookResult& book, const ReportOptions& options) {
  bool heights = false;
  for (const NewPoint& point : book.points) heights = heights || point.point.z.has_value();
  std::string csv = heights ? "point,x,y,z\n" : "point,x,y\n";
  for (const NewPoint& point : book.points) {
    csv += CsvField(point.point.name);
    csv += ',';
    csv += FixedText(point.point.xy.x, options.decimals);
    csv += ',';
    csv += FixedText(point.point.xy.y, options.decimals);
    if (heights) {
      csv += ',';
      if (point.point.z) csv += FixedText(*point.point.z, options.decimals);
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace traverse
