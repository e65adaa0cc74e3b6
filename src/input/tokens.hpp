// The pieces of text every reader shares: blanks, quoting what was found for
// a message, and numbers and angles in the dialogue's number syntax, so that
// a value reads to the same double in an answer file and in a field book.
#pragma once

#include <string>
#include <string_view>

#include "adjustment/job.hpp"
#include "adjustment/job_error.hpp"

namespace traverse {

// Blanks as the dialogue counts them: every byte from 0 to 32.
inline bool IsBlank(char byte) {
  return static_cast<unsigned char>(byte) <= 32;
}

// Whether `word` is `keyword` (lower case) in any case of its letters.
bool IsWord(std::string_view word, std::string_view keyword);

// Whether the two differ by one edit: a byte added, left out or changed, or
// two side by side swapped.
bool OneEditApart(std::string_view a, std::string_view b);

// Throws JobError where `text` is no text to read: empty (but for blanks and
// a byte order mark), or its first line holding a NUL byte or invalid UTF-8.
void CheckIsText(std::string_view text);

// text without its leading and trailing blanks.
std::string_view Trim(std::string_view text);

// text without a UTF-8 byte order mark at its start, as Windows editors save.
std::string_view WithoutByteOrderMark(std::string_view text);

// What was found, quoted for a message and cut to a readable length; control
// bytes show as '?'.
std::string Quoted(std::string_view text);

// The lines of a text in turn, numbered from 1, after a byte order mark and
// without their line ends ("\n", and a "\r" before it): every reader's walk.
// With `bareCr` a "\r" alone ends a line too, as some data collectors write.
class TextLines {
 public:
  explicit TextLines(std::string_view text, bool bareCr = false)
      : text_(WithoutByteOrderMark(text)), bareCr_(bareCr) {}

  // The next line; false at the end of the text.
  bool Next(std::string_view& line);
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t nextCr_ = 0, nextLf_ = 0;  // with bareCr: the next of each from at_, or npos
  int number_ = 0;
  bool bareCr_ = false;
};

// Why a token is no number, where it is none.
enum class NumberFault { None, TooLong, NotANumber, OutOfRange };

struct NumberScan {
  double value = 0;
  NumberFault fault = NumberFault::None;
};

// A real in the dialogue's number syntax, rounded to double as the dialogue
// stores it (by way of its extended value): the one guarded parse of every
// reader, which raises nothing and builds no message. Answer files take it,
// so that they give the dialogue's very doubles.
NumberScan ScanNumber(std::string_view token);

// The same syntax, its value the double nearest the decimal (the extended
// value's rounding can land a last bit off): books and instrument files, so
// that the shortest text a converted book writes reads back to its double.
NumberScan ScanDecimal(std::string_view token);

// The message for a token ScanNumber refused, naming `what`.
std::string NumberMessage(const std::string& what, std::string_view token, NumberFault fault);

// ScanDecimal's value; throws JobError on `line`, naming `what`, when the
// token is no number or out of range.
double ParseNumber(std::string_view token, const std::string& what, int line);

// As ParseNumber, rounded as the dialogue rounds (ScanNumber): answer files.
double ParseDialogueNumber(std::string_view token, const std::string& what, int line);

// As ParseNumber, with `what()` called only for a message: the books' values
// are read by the hundred thousand.
template <typename What>
double ParseNumberNamed(std::string_view token, const What& what, int line) {
  const NumberScan scan = ScanDecimal(token);
  if (scan.fault == NumberFault::None) return scan.value;
  throw JobError(line, NumberMessage(what(), token, scan.fault));
}

// D-M-S with an optional sign before D and a decimal fraction allowed on the
// seconds, in gon: 123-45-30.5 is 123 degrees 45 minutes 30.5 seconds.
double ParseDms(std::string_view token, const std::string& what, int line);

// An angle typed in `unit`, in gon.
double ParseAngle(std::string_view token, AngleUnit unit, const std::string& what, int line);

}  // namespace traverse
