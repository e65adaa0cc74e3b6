#include <algorithm>
#include <vector>

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
  std::vector<const NamedPoint*> points;
  if (options.allPoints)
    for (const NamedPoint& point : book.known) points.push_back(&point);
  for (const NewPoint& point : book.points) points.push_back(&point.point);
  // Without chosen columns, today's "point,x,y" and ",z" where any height
  // is carried, for the scripts that read it; with them, one column per
  // letter and no header, as CAD programs import a point file.
  std::string columns = options.columns, csv;
  if (columns.empty()) {
    columns = "PNE";
    if (std::any_of(points.begin(), points.end(), [](const NamedPoint* p) { return p->z; }))
      columns += 'Z';
    csv = columns.size() == 4 ? "point,x,y,z\n" : "point,x,y\n";
  }
  for (const NamedPoint* point : points) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) csv += ',';
      switch (columns[i]) {
        case 'P': csv += CsvField(point->name); break;
        case 'N': csv += FixedText(point->xy.x, options.decimals); break;
        case 'E': csv += FixedText(point->xy.y, options.decimals); break;
        case 'Z': if (point->z) csv += FixedText(*point->z, options.decimals); break;
        case 'D': csv += CsvField(point->description); break;
      }
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace traverse
