// What the fuzz targets of the instrument readers share: the options from
// the first byte, and the invariants of a reader's job and of its faults.
//
// Invariants: reading ends in a job or in one JobError whose line lies in
// the text; every name, note and description is valid UTF-8; known points
// are finite; each pointing's circle reading lies in [0, 400), its zenith
// in (0, 400) and on the side of its face, its distances are positive and
// finite; every held bearing is a reading of the book; the collector's
// checks are finite. The reduction of that job ends in a book or one
// JobError, never another exception.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "fuzz_check.hpp"
#include "instrument/raw_job.hpp"
#include "instrument/raw_text.hpp"

namespace traverse::fuzzing {

inline int LineEnds(std::string_view text) {
  int ends = 1;
  for (char byte : text) ends += byte == '\n' || byte == '\r';
  return ends;
}

inline void CheckText(const std::string& text, const char* what) {
  FUZZ_CHECK(ToUtf8(text, TextEncoding::Latin1) == text, std::string(what) + " not valid UTF-8: " + Printable(text));
}

inline void CheckJob(const RawJob& job) {
  for (const NamedPoint& p : job.book.known) {
    CheckText(p.name, "a point name");
    CheckText(p.description, "a description");
    FUZZ_CHECK(std::isfinite(p.xy.x) && std::isfinite(p.xy.y) && (!p.z || std::isfinite(*p.z)),
               "a known point off the finite plane: " + p.name);
  }
  for (const BookSetup& setup : job.book.setups) {
    CheckText(setup.station, "a station");
    FUZZ_CHECK(!setup.readings.empty(), "a setup without pointings");
    for (const SetupReading& r : setup.readings) {
      CheckText(r.target, "a target");
      CheckText(r.description, "a description");
      FUZZ_CHECK(r.target != setup.station, "a pointing at its own station");
      FUZZ_CHECK(r.hz >= 0 && r.hz < 400, "a circle reading outside [0, 400)");
      FUZZ_CHECK(!r.zenith || (*r.zenith > 0 && *r.zenith < 400), "a zenith outside (0, 400)");
      FUZZ_CHECK(!r.zenith || (*r.zenith > 200) == (r.face == 2), "a face against its zenith");
      for (const auto& d : {r.slope, r.horizontal})
        FUZZ_CHECK(!d || (std::isfinite(*d) && *d > 0), "a distance not positive and finite");
      FUZZ_CHECK(!r.slope || r.zenith, "a slope distance without zenith");
    }
  }
  for (const FreeObservation& f : job.book.free)
    FUZZ_CHECK(f.angle.readings.first + f.angle.readings.count <= job.book.readings.size(),
               "a held bearing outside the book's readings");
  for (const CollectorCheck& c : job.checks)
    FUZZ_CHECK(std::isfinite(c.computed.x) && std::isfinite(c.computed.y),
               "a collector's check off the finite plane");
  for (const std::string& note : job.notes) CheckText(note, "a note");
}



// Runs `read` on the input: the first byte chooses the encoding of bytes that
// are not UTF-8 and the units that stand in for what the file does not say.
template <typename Reader>
int FuzzRawReader(Reader read, const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t choice = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  RawOptions options;
  options.encoding = choice & 1 ? TextEncoding::Cp1251 : TextEncoding::Latin1;
  if (choice & 2) options.angleUnit = choice & 4 ? AngleUnit::Gon : AngleUnit::Dms;
  if (choice & 8) options.lengthUnit = choice & 16 ? LengthUnit::Foot : LengthUnit::Metre;
  RawJob job;
  try {
    job = read(text, "fuzz.raw", options);
  } catch (const JobError& error) {
    FUZZ_CHECK(error.line() >= 1 && error.line() <= LineEnds(text), "a fault outside the text");
    FUZZ_CHECK(*error.what() != 0, "a fault without a message");
    CheckText(error.what(), "a message");
    return 0;
  } catch (const std::exception& other) {
    Fail(std::string("an exception other than JobError: ") + other.what());
  }
  CheckJob(job);
  try {
    ReduceBook(job.book);
  } catch (const JobError&) {
  } catch (const std::exception& other) {
    Fail(std::string("the reduction threw other than JobError: ") + other.what());
  }
  return 0;
}

}  // namespace traverse::fuzzing
