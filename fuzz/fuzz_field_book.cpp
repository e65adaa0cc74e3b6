// Fuzz target: `traverse adjust BOOK` from the field book to every writer,
// control point files included. The first byte chooses the settings; the
// rest is the book, and after its first NUL byte the text that every
// `points FILE` of the book reads.
//
// The network makes each input slow as the book grows, so this target takes
// small books only (MaxText bytes of book and of control file, a few
// traverses and free observations); fuzz_field_book_reader holds the readers
// and the compass rule to books of any size.
//
// Invariants: reading and adjusting end either in an adjustment or in one
// JobError with a message; a line it names lies in the book, or in the
// control file where it names one; no other exception, no failure report, no
// hang. An adjustment has one result per traverse, each with the new points
// its kind gives, and every writer formats it.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "adjustment/book.hpp"
#include "adjustment/reduction.hpp"
#include "adjustment/job_error.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "input/field_book.hpp"
#include "report/writers.hpp"

namespace traverse::fuzzing {
namespace {

// The bounds that keep one input to a few milliseconds under the network.
constexpr std::size_t MaxText = 320;
constexpr std::size_t MaxTraverses = 3;
constexpr std::size_t MaxStations = 16;
constexpr std::size_t MaxFree = 6;

// Whether the book is small enough for the network to take it quickly.
bool Small(const traverse::Book& book) {
  std::size_t stations = 0;
  for (const traverse::BookTraverse& traverse : book.traverses) stations += traverse.stations.size();
  return book.traverses.size() <= MaxTraverses && stations <= MaxStations &&
         book.free.size() <= MaxFree;
}

int LineCount(std::string_view text) {
  int lines = 1;
  for (char byte : text) lines += byte == '\n';
  return lines;
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace traverse;
  using namespace traverse::fuzzing;
  if (size == 0) return 0;
  static const bool ready = (ResetFloatingPoint(), true);
  (void)ready;

  // Bits 0-1 the rule, 2-3 the report's unit, 4 the tolerances, 5 a height
  // tolerance, 6 a control file that cannot be read, 7 a scale factor.
  const std::uint8_t choice = data[0];
  const Rule rules[] = {Rule::Compass, Rule::Transit, Rule::LeastSquares, Rule::Compass};
  const AngleUnit units[] = {AngleUnit::Gon, AngleUnit::Degree, AngleUnit::Dms, AngleUnit::Gon};
  const std::string source = "fuzz.book";
  Settings settings;
  settings.rule = rules[choice & 3];
  settings.unit = units[(choice >> 2) & 3];
  if (choice & 0x10) {
    settings.angularTolerance = AngularTolerance{10, 5};
    settings.linearTolerance = 5000;
  }
  if (choice & 0x20) settings.heightTolerance = 20;
  if (choice & 0x80) settings.scale = 0.9996;

  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t nul = input.find('\0');
  const std::string_view book = input.substr(0, nul);
  const std::string_view control =
      nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  if (book.size() > MaxText || control.size() > MaxText) return 0;

  FileAccess files;
  files.resolve = [](const std::string& written) { return "control/" + written; };
  files.read = [&](const std::string&, std::string& text) -> std::string {
    if (choice & 0x40) return "No such file or directory";
    text = control;
    return "";
  };

  Book read;
  BookResult result;
  try {
    read = ReadFieldBook(book, source, files);
    if (!Small(read)) return 0;
    ReduceBook(read);
    result = AdjustBook(read, settings);
  } catch (const JobError& error) {
    FUZZ_CHECK(std::string_view(error.what()).size() > 0, "a JobError without a message");
    const int lines = error.file().empty() ? LineCount(book) : LineCount(control);
    FUZZ_CHECK(error.line() >= 0 && error.line() <= lines,
               "a JobError line outside its text: " + std::to_string(error.line()) + " of " +
                   std::to_string(lines) + (error.file().empty() ? " (book)" : " (control file)"));
    return 0;
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
  }

  FUZZ_CHECK(result.traverses.size() == read.traverses.size(), "one result per traverse");
  std::size_t newPoints = 0;
  for (const BookTraverseResult& traverse : result.traverses) {
    const std::size_t expected = static_cast<std::size_t>(
        NewPointCount(traverse.job.kind, static_cast<int>(traverse.job.angles.size())));
    FUZZ_CHECK(traverse.result.points.size() == expected,
               "traverse " + traverse.name + ": new points " +
                   std::to_string(traverse.result.points.size()));
    newPoints += expected;
  }
  // The traverses' new points, then those only the free records reach.
  std::set<std::string> names;
  for (const NewPoint& point : result.points) names.insert(point.point.name);
  FUZZ_CHECK(names.size() == result.points.size(), "a new point listed twice");
  FUZZ_CHECK(read.free.empty() ? result.points.size() == newPoints
                               : result.points.size() >= newPoints,
             "every new point listed");

  ReportOptions options;
  for (const std::string& output :
       {FormatText(result, options), FormatCsv(result, options),
        FormatJson(result, options), FormatSvg(result, options),
        FormatDxf(result, options)})
    FUZZ_CHECK(!output.empty(), "a writer wrote nothing");
  return 0;
}
