#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "report/number_text.hpp"
#include "report/report_figures.hpp"
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

// A row's fields as the CSV writes them.
struct Row {
  const std::string* name;
  const GridPoint* xy;
  const std::optional<double>* z;
  std::string description;
  const std::optional<geodesy::PointFactors>* map;  // on a grid
};

// A latitude or longitude in decimal degrees: ten decimals are 0.01 mm on
// the ground, below any figure of the grid's.
std::string DegreesField(const std::optional<geodesy::PointFactors>& map, bool latitude) {
  return map ? FixedText(latitude ? map->at.lat : map->at.lon, 10) : std::string();
}

}  // namespace

std::string FormatCsv(const BookResult& book, const ReportOptions& options) {
  std::vector<Row> rows;
  if (options.sideshots) {
    rows.reserve(book.sideshots.size());
    for (const Sideshot& shot : book.sideshots)
      rows.push_back({&shot.name, &shot.xy, &shot.z, SideshotDescription(shot), &shot.map});
  } else {
    if (options.allPoints)
      for (const NamedPoint& point : book.known)
        rows.push_back({&point.name, &point.xy, &point.z, point.description, &point.map});
    for (const NewPoint& point : book.points)
      rows.push_back({&point.point.name, &point.point.xy, &point.point.z, point.point.description,
                      &point.point.map});
  }
  // Without chosen columns, today's "point,x,y" and ",z" where any height
  // is carried, for the scripts that read it; with them, one column per
  // letter and no header, as CAD programs import a point file.
  std::string columns = options.columns, csv;
  if (columns.empty()) {
    columns = "PNE";
    if (std::any_of(rows.begin(), rows.end(), [](const Row& row) { return row.z->has_value(); }))
      columns += 'Z';
    csv = columns.size() == 4 ? "point,x,y,z\n" : "point,x,y\n";
  }
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) csv += ',';
      switch (columns[i]) {
        case 'P': csv += CsvField(*row.name); break;
        case 'N': csv += FixedText(row.xy->x, options.decimals); break;
        case 'E': csv += FixedText(row.xy->y, options.decimals); break;
        case 'Z': if (*row.z) csv += FixedText(**row.z, options.decimals); break;
        case 'D': csv += CsvField(row.description); break;
        case 'B': csv += DegreesField(*row.map, true); break;
        case 'L': csv += DegreesField(*row.map, false); break;
      }
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace traverse
