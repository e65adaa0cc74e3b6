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
// its kind gives, and every writer formats it. Setups: one result per setup,
// its directions in [0, 400), an orientation in [0, 400) wherever it has one
// and on every setup under least squares; every sideshot finite where its
// station is.
#include <cstddef>
#include <cmath>
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
#include "book_input.hpp"
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
constexpr std::size_t MaxPointings = 24;

// Whether the book is small enough for the network to take it quickly.
bool Small(const traverse::Book& book) {
  std::size_t stations = 0, pointings = 0;
  for (const traverse::BookTraverse& traverse : book.traverses) stations += traverse.stations.size();
  for (const traverse::BookSetup& setup : book.setups) pointings += setup.readings.size();
  return book.traverses.size() <= MaxTraverses && stations <= MaxStations &&
         book.free.size() <= MaxFree && pointings <= MaxPointings;
}

// An angle in gon as the reports give directions and orientations.
bool InTurn(double gon) { return gon >= 0 && gon < 400; }

// Where `name` stands after the adjustment, if anywhere.
std::optional<traverse::GridPoint> PlaceOf(const traverse::BookResult& result,
                                           const std::string& name) {
  for (const traverse::NamedPoint& known : result.known)
    if (known.name == name) return known.xy;
  for (const traverse::NewPoint& point : result.points)
    if (point.point.name == name) return point.point.xy;
  return std::nullopt;
}

// Setups: one result each, in book order, directions within a turn, an
// orientation within a turn wherever there is one (every setup under least
// squares), and each sideshot finite where its station is.
void CheckSetups(const traverse::Book& read, const traverse::BookResult& result) {
  using traverse::Rule;
  FUZZ_CHECK(result.setups.size() == read.setups.size(), "one result per setup");
  for (const traverse::SetupResult& setup : result.setups) {
    const std::string where = "setup on line " + std::to_string(setup.setup.line);
    for (const traverse::SetupDirection& direction : setup.setup.directions)
      FUZZ_CHECK(InTurn(direction.direction),
                 where + ": direction " + std::to_string(direction.direction));
    if (result.settings.rule == Rule::LeastSquares && result.network)
      FUZZ_CHECK(setup.orientation.has_value(), where + ": no orientation under least squares");
    if (setup.orientation)
      FUZZ_CHECK(InTurn(*setup.orientation),
                 where + ": orientation " + std::to_string(*setup.orientation));
  }
  for (const traverse::Sideshot& sideshot : result.sideshots) {
    const std::optional<traverse::GridPoint> station = PlaceOf(result, sideshot.from);
    if (!station || !std::isfinite(station->x) || !std::isfinite(station->y)) continue;
    FUZZ_CHECK(std::isfinite(sideshot.xy.x) && std::isfinite(sideshot.xy.y),
               "sideshot " + sideshot.name + " on line " + std::to_string(sideshot.line) +
                   " not finite from a finite station");
  }
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace traverse;
  using namespace traverse::fuzzing;
  if (size == 0) return 0;
  static const bool ready = (ResetFloatingPoint(), true);
  (void)ready;

  // Bits 0-1 of the first byte: the rule; the others as SplitBookInput reads
  // them.
  const Rule rules[] = {Rule::Compass, Rule::Transit, Rule::LeastSquares, Rule::Compass};
  const BookInput in = SplitBookInput(data, size, rules[data[0] & 3]);
  const std::string_view book = in.book, control = in.control;
  if (book.size() > MaxText || control.size() > MaxText) return 0;

  Book read;
  BookResult result;
  try {
    read = ReadFieldBook(book, "fuzz.book", in.files);
    if (!Small(read)) return 0;
    ReduceBook(read);
    result = AdjustBook(read, in.settings);
  } catch (const JobError& error) {
    CheckError(error, book, control);
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
  // The traverses' new points, then those only the free records and the
  // setups reach.
  std::set<std::string> names;
  for (const NewPoint& point : result.points) names.insert(point.point.name);
  FUZZ_CHECK(names.size() == result.points.size(), "a new point listed twice");
  FUZZ_CHECK(read.free.empty() && read.setups.empty() ? result.points.size() == newPoints
                               : result.points.size() >= newPoints,
             "every new point listed");

  ReportOptions options;
  for (const std::string& output :
       {FormatText(result, options), FormatCsv(result, options),
        FormatJson(result, options), FormatSvg(result, options),
        FormatDxf(result, options)})
    FUZZ_CHECK(!output.empty(), "a writer wrote nothing");
  CheckSetups(read, result);
  return 0;
}
