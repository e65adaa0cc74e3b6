// What both field-book targets make of one input: the first byte chooses the
// settings, the rest is the book, and after its first NUL byte the text that
// every `points FILE` of the book reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "adjustment/job.hpp"
#include "adjustment/job_error.hpp"
#include "fuzz_check.hpp"
#include "input/field_book.hpp"

namespace traverse::fuzzing {

struct BookInput {
  std::uint8_t choice = 0;
  Settings settings;
  std::string_view book, control;
  FileAccess files;
};

// Bits 2-3 of the first byte the report's unit, 4 the tolerances, 5 a height
// tolerance, 6 a control file that cannot be read, 7 a scale factor; bits
// 0-1 are the target's own. `size` is at least 1.
inline BookInput SplitBookInput(const std::uint8_t* data, std::size_t size, Rule rule) {
  BookInput in;
  in.choice = data[0];
  const AngleUnit units[] = {AngleUnit::Gon, AngleUnit::Degree, AngleUnit::Dms, AngleUnit::Gon};
  in.settings.rule = rule;
  in.settings.unit = units[(in.choice >> 2) & 3];
  if (in.choice & 0x10) {
    in.settings.angularTolerance = AngularTolerance{10, 5};
    in.settings.linearTolerance = 5000;
  }
  if (in.choice & 0x20) in.settings.heightTolerance = 20;
  if (in.choice & 0x80) in.settings.scale = 0.9996;

  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t nul = input.find('\0');
  in.book = input.substr(0, nul);
  in.control = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  in.files.resolve = [](const std::string& written) { return "control/" + written; };
  in.files.read = [unreadable = (in.choice & 0x40) != 0, control = in.control](
                      const std::string&, std::string& text) -> std::string {
    if (unreadable) return "No such file or directory";
    text = control;
    return "";
  };
  return in;
}

// A JobError is whole: a message, and a line within the text it names (the
// book, or the control file where it names one).
inline void CheckError(const JobError& error, std::string_view book, std::string_view control) {
  FUZZ_CHECK(std::string_view(error.what()).size() > 0, "a JobError without a message");
  const int lines = error.file().empty() ? LineCount(book) : LineCount(control);
  FUZZ_CHECK(error.line() >= 0 && error.line() <= lines,
             "a JobError line outside its text: " + std::to_string(error.line()) + " of " +
                 std::to_string(lines) + (error.file().empty() ? " (book)" : " (control file)"));
}

}  // namespace traverse::fuzzing
