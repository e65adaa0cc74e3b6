// Fuzz target: the Leica GSI reader, the reduction of what it reads, and the
// field book that `traverse convert` writes of it. The first byte chooses the
// encoding and whether recorded corrections are applied; the rest is the file.
//
// Invariants: reading ends in a book or in one JobError whose line lies in
// the text; no other exception, no failure report, no hang. A book read has
// named points and setups, finite values, zenith angles within a turn and
// names, codes, descriptions and notes in valid UTF-8. The field book written
// of it reads back to the same known points and readings, double for double,
// or the writer refuses it with a JobError naming a name it cannot hold.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "input/field_book.hpp"
#include "input/field_book_writer.hpp"
#include "instrument/gsi.hpp"
#include "instrument/raw_text.hpp"

namespace traverse::fuzzing {
namespace {

// The lines a text has when a bare CR also ends a line.
int RawLineCount(std::string_view text) {
  int lines = 1;
  for (std::size_t at = 0; at < text.size(); ++at)
    if (text[at] == '\n' || (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'))) ++lines;
  return lines;
}

bool IsValidUtf8(std::string_view text) {
  // Valid text is returned unchanged by the conversion, whatever the code page.
  return ToUtf8(text, TextEncoding::Latin1) == text && ToUtf8(text, TextEncoding::Cp1251) == text;
}

bool Same(const std::optional<double>& a, const std::optional<double>& b) {
  return a.has_value() == b.has_value() && (!a || *a == *b);
}

void CheckBook(const Book& book) {
  for (const NamedPoint& point : book.known)
    FUZZ_CHECK(!point.name.empty() && IsValidUtf8(point.name) && std::isfinite(point.xy.x) &&
                   std::isfinite(point.xy.y) && (!point.z || std::isfinite(*point.z)),
               "a control point without a name, in invalid UTF-8 or off the plane: " + Printable(point.name));
  for (const BookSetup& setup : book.setups) {
    FUZZ_CHECK(!setup.readings.empty(), "a setup without pointings on line " + std::to_string(setup.line));
    for (const SetupReading& r : setup.readings) {
      FUZZ_CHECK(!r.target.empty() && r.target != setup.station && IsValidUtf8(r.target) &&
                     IsValidUtf8(r.code) && IsValidUtf8(r.description),
                 "a pointing's names on line " + std::to_string(r.line));
      FUZZ_CHECK(std::isfinite(r.hz) && (!r.zenith || (*r.zenith > 0 && *r.zenith < 400)) &&
                     (!r.slope || (*r.slope > 0 && r.zenith)) && (!r.horizontal || *r.horizontal > 0),
                 "a pointing's values on line " + std::to_string(r.line));
    }
  }
  for (const std::string& note : book.notes) FUZZ_CHECK(IsValidUtf8(note), "a note in invalid UTF-8");
}

// The converted book read back holds what was converted.
void CheckConverted(const Book& book) {
  std::string text;
  try {
    text = WriteFieldBook(book, "converted");
  } catch (const JobError& error) {
    FUZZ_CHECK(std::string(error.what()).find("cannot be written in a field book") != std::string::npos,
               std::string("the writer refused for another reason: ") + error.what());
    return;
  }
  Book back;
  try {
    back = ReadFieldBook(text, "converted.book", {});
  } catch (const JobError& error) {
    Fail("the converted book does not read back, line " + std::to_string(error.line()) + ": " +
         error.what() + "\n" + Printable(text));
  }
  FUZZ_CHECK(back.known.size() == book.known.size() && back.setups.size() == book.setups.size(),
             "the converted book has other points or setups");
  for (std::size_t k = 0; k < book.known.size(); ++k)
    FUZZ_CHECK(back.known[k].name == book.known[k].name && back.known[k].xy.x == book.known[k].xy.x &&
                   back.known[k].xy.y == book.known[k].xy.y && Same(back.known[k].z, book.known[k].z),
               "a control point changed in the converted book: " + Printable(book.known[k].name));
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const BookSetup &a = book.setups[s], &b = back.setups[s];
    FUZZ_CHECK(a.station == b.station && Same(a.hi, b.hi) && a.readings.size() == b.readings.size(),
               "a setup changed in the converted book: " + Printable(a.station));
    for (std::size_t k = 0; k < a.readings.size(); ++k) {
      const SetupReading &x = a.readings[k], &y = b.readings[k];
      FUZZ_CHECK(x.target == y.target && x.hz == y.hz && Same(x.zenith, y.zenith) && Same(x.slope, y.slope) &&
                     Same(x.horizontal, y.horizontal) && Same(x.ht, y.ht) && x.face == y.face &&
                     x.code == y.code,
                 "a pointing changed in the converted book, line " + std::to_string(x.line));
    }
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
  RawOptions options;
  options.encoding = (data[0] & 1) ? TextEncoding::Cp1251 : TextEncoding::Latin1;
  options.applyRecordedCorrections = (data[0] & 2) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  Book book;
  try {
    book = ReadGsi(text, "fuzz.gsi", options);
  } catch (const JobError& error) {
    FUZZ_CHECK(error.line() >= 0 && error.line() <= RawLineCount(text) && *error.what() != '\0',
               "an error on line " + std::to_string(error.line()) + " outside the text");
    return 0;
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
  }
  CheckBook(book);
  CheckConverted(book);
  try {
    ReduceBook(book);
    for (const BookSetup& setup : book.setups)
      for (const SetupDirection& direction : setup.directions)
        FUZZ_CHECK(direction.direction >= 0 && direction.direction < 400,
                   "a reduced direction outside a turn on line " + std::to_string(setup.line));
  } catch (const JobError&) {
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError in the reduction: ") + other.what());
  }
  return 0;
}
