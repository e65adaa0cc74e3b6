// Fuzz target: the field book's reader, the control point file's reader, the
// reduction of readings and the compass rule, without the network, so that
// each input stays fast. The first byte chooses the settings; the rest is the
// book, and after its first NUL byte the text that every `points FILE` of the
// book reads, which is also read on its own as a control point file.
//
// Invariants: reading, reducing and adjusting end either in a result or in
// one JobError with a message whose line lies in its text; no other
// exception, no failure report, no hang. A control point file read on its own
// gives points with names and finite coordinates on lines of the file; the
// reduced readings are finite, a setup's directions within [0, 400) and its
// distances finite; the compass rule gives one result per
// traverse with the new points its kind gives, and one check per free record.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "failure/float_checks.hpp"
#include "book_input.hpp"
#include "fuzz_check.hpp"
#include "input/control_points.hpp"
#include "input/field_book.hpp"

namespace traverse::fuzzing {
namespace {

// The control text as a file of its own, with the columns `letters` names.
void ReadControlAlone(std::string_view control, std::string_view letters) {
  try {
    const int lines = LineCount(control);
    for (const NamedPoint& point : ReadControlPoints(control, "control.csv", letters)) {
      FUZZ_CHECK(!point.name.empty(), "a control point without a name");
      FUZZ_CHECK(std::isfinite(point.xy.x) && std::isfinite(point.xy.y),
                 "a control point off the finite plane: " + point.name);
      FUZZ_CHECK(point.line >= 1 && point.line <= lines, "a control point's line outside the file");
    }
  } catch (const JobError& error) {
    FUZZ_CHECK(error.file() == "control.csv", "a control file's error naming another file");
    CheckError(error, {}, control);
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
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

  // Bits 0-1 of the first byte: the columns of the control file read on its
  // own; the others as SplitBookInput reads them.
  const std::string_view letters[] = {"", "PNEZD", "PENZ", "DZPEN"};
  const BookInput in = SplitBookInput(data, size, Rule::Compass);
  const std::string_view book = in.book, control = in.control;
  ReadControlAlone(control, letters[in.choice & 3]);

  Book read;
  BookResult result;
  try {
    read = ReadFieldBook(book, "fuzz.book", in.files);
    ReduceBook(read);
    for (const BookTraverse& traverse : read.traverses)
      for (const BookLeg& leg : traverse.legs)
        FUZZ_CHECK(std::isfinite(leg.length), "traverse " + traverse.name + ": a leg not finite");
    for (const FreeObservation& free : read.free)
      FUZZ_CHECK(std::isfinite(free.value), "an observation not finite on line " +
                                                std::to_string(free.line));
    for (const BookSetup& setup : read.setups)
      for (const SetupDirection& direction : setup.directions)
        FUZZ_CHECK(direction.direction >= 0 && direction.direction < 400 &&
                       (!direction.horizontal || std::isfinite(*direction.horizontal)),
                   "setup on line " + std::to_string(setup.line) + ": direction to " +
                       direction.target + " outside a turn or its distance not finite");
    result = AdjustBook(read, in.settings);
  } catch (const JobError& error) {
    CheckError(error, book, control);
    return 0;
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
  }

  FUZZ_CHECK(result.checks.size() == read.free.size(), "a free record that is not a check");
  FUZZ_CHECK(result.traverses.size() == read.traverses.size(), "one result per traverse");
  for (const BookTraverseResult& traverse : result.traverses)
    FUZZ_CHECK(traverse.result.points.size() ==
                   static_cast<std::size_t>(NewPointCount(
                       traverse.job.kind, static_cast<int>(traverse.job.angles.size()))),
               "traverse " + traverse.name + ": new points " +
                   std::to_string(traverse.result.points.size()));
  return 0;
}
