#include "input/control_points.hpp"

#include "adjustment/job_error.hpp"
#include "input/tokens.hpp"

namespace traverse {
namespace {

std::vector<std::string_view> SplitFields(std::string_view row) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = row.find(',', start);
    fields.push_back(
        Trim(row.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

// Whether `text` reads as a number; one beyond the range is a number all the
// same (the row's reading then says it is out of range), not a header.
bool IsNumber(std::string_view text) {
  const NumberFault fault = ScanNumber(text).fault;
  return fault == NumberFault::None || fault == NumberFault::OutOfRange;
}

// A row's fault, named in the control file rather than the book.
[[noreturn]] void FailInFile(const std::string& file, const JobError& error) {
  throw JobError(file, error.line(), error.what());
}

}  // namespace

std::vector<NamedPoint> ReadControlPoints(std::string_view text, const std::string& file) {
  TextLines lines(text);
  std::vector<NamedPoint> points;
  bool first = true;
  for (std::string_view row; lines.Next(row);) {
    row = Trim(row);
    const int number = lines.Number();
    if (row.empty() || row.front() == '#') continue;
    const std::vector<std::string_view> fields = SplitFields(row);
    if (first && fields.size() >= 2 && !IsNumber(fields[1])) {
      first = false;  // a header row
      continue;
    }
    first = false;
    if (fields.size() < 3)
      throw JobError(file, number, "expected NAME,X,Y[,Z[,DESCRIPTION]], found " + Quoted(row));
    NamedPoint point;
    if (fields[0].empty())
      throw JobError(file, number, "expected a point name in the first field, found none");
    if (IsWord(fields[0], "end") || IsWord(fields[0], "bearing") || fields[0].front() == '#')
      throw JobError(file, number, "expected a point name, found " + Quoted(fields[0]));
    for (char byte : fields[0])
      if (byte == ' ' || byte == '\t')
        throw JobError(file, number,
                       "expected a point name without blanks, found " + Quoted(fields[0]));
    point.name = std::string(fields[0]);
    try {
      point.xy.x = ParseNumber(fields[1], "the X coordinate of '" + point.name + "'", number);
      point.xy.y = ParseNumber(fields[2], "the Y coordinate of '" + point.name + "'", number);
      if (fields.size() > 3 && !fields[3].empty())
        point.z = ParseNumber(fields[3], "the height of '" + point.name + "'", number);
    } catch (const JobError& error) {
      FailInFile(file, error);
    }
    point.line = number;
    points.push_back(std::move(point));
  }
  return points;
}

}  // namespace traverse
