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
// reduced readings are finite; the compass rule gives one result per
// traverse with the new points its kind gives.
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
#include "fuzz_check.hpp"
#include "input/control_points.hpp"
#include "input/field_book.hpp"

namespace traverse::fuzzing {
namespace {

int LineCount(std::string_view text) {
  int lines = 1;
  for (char byte : text) lines += byte == '\n';
  return lines;
}

// A JobError is whole: a message, and a line within the text it names.
void CheckError(const JobError& error, std::string_view book, std::string_view control) {
  FUZZ_CHECK(std::string_view(error.what()).size() > 0, "a JobError without a message");
  const int lines = error.file().empty() ? LineCount(book) : LineCount(control);
  FUZZ_CHECK(error.line() >= 0 && error.line() <= lines,
             "a JobError line outside its text: " + std::to_string(error.line()) + " of " +
                 std::to_string(lines) + (error.file().empty() ? " (book)" : " (control file)"));
}

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

  // Bits 0-1 the columns of the control file read on its own, 2-3 the
  // report's unit, 4 the tolerances, 5 a height tolerance, 6 a control file
  // that cannot be read, 7 a scale factor.
  const std::uint8_t choice = data[0];
  const std::string_view letters[] = {"", "PNEZD", "PENZ", "DZPEN"};
  const AngleUnit units[] = {AngleUnit::Gon, AngleUnit::Degree, AngleUnit::Dms, AngleUnit::Gon};
  const std::string source = "fuzz.book";
  Settings settings;
  settings.rule = Rule::Compass;
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
  ReadControlAlone(control, letters[choice & 3]);

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
    ReduceBook(read);
    for (const BookTraverse& traverse : read.traverses)
      for (const BookLeg& leg : traverse.legs)
        FUZZ_CHECK(std::isfinite(leg.length), "traverse " + traverse.name + ": a leg not finite");
    for (const FreeObservation& free : read.free)
      FUZZ_CHECK(std::isfinite(free.value), "an observation not finite on line " +
                                                std::to_string(free.line));
    result = AdjustBook(read, settings);
  } catch (const JobError& error) {
    CheckError(error, book, control);
    return 0;
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
  }

  FUZZ_CHECK(read.free.empty(), "the compass rule took observations outside the traverses");
  FUZZ_CHECK(result.traverses.size() == read.traverses.size(), "one result per traverse");
  for (const BookTraverseResult& traverse : result.traverses)
    FUZZ_CHECK(traverse.result.points.size() ==
                   static_cast<std::size_t>(NewPointCount(
                       traverse.job.kind, static_cast<int>(traverse.job.angles.size()))),
               "traverse " + traverse.name + ": new points " +
                   std::to_string(traverse.result.points.size()));
  return 0;
}
