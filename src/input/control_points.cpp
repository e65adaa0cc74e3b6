#include "input/control_points.hpp"

#include "failure/computation_guard.hpp"
#include "adjustment/job_error.hpp"
#include "console/number_reading.hpp"
#include "console/text_input.hpp"
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

// Whether `text` reads as a number. A header is the normal case, so this
// asks without a message: the first exception a static program throws costs
// milliseconds.
bool IsNumber(std::string_view text) {
  if (text.empty() || text.size() > RealTokenLimit) return false;
  // A number beyond the range raises a failure: it is a number all the same
  // (the row's reading then says it is out of range), not a header.
  FailuresAsExceptions guard;
  try {
    return ParseReal(text.data(), text.data() + text.size()).ok;
  } catch (const RaisedFailure& failure) {
    TakeFailureMessage(failure);
    return true;
  }
}

// A row's fault, named in the control file rather than the book.
[[noreturn]] void FailInFile(const std::string& file, const JobError& error) {
  throw JobError(file, error.line(), error.what());
}

}  // namespace

std::vector<NamedPoint> ReadControlPoints(std::string_view text, const std::string& file) {
  text = WithoutByteOrderMark(text);
  std::vector<NamedPoint> points;
  int number = 0;
  bool first = true;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = Trim(text.substr(at, end - at));
    at = end + 1;
    ++number;
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
    if (fields[0] == "end" || fields[0] == "bearing" || fields[0].front() == '#')
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
