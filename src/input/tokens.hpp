// The pieces of text every reader shares: blanks, quoting what was found for
// a message, and numbers and angles in the dialogue's number syntax, so that
// a value reads to the same double in an answer file and in a field book.
#pragma once

#include <string>
#include <string_view>

#include "adjustment/job.hpp"

namespace traverse {

// Blanks as the dialogue counts them: every byte from 0 to 32.
inline bool IsBlank(char byte) {
  return static_cast<unsigned char>(byte) <= 32;
}

// text without its leading and trailing blanks.
std::string_view Trim(std::string_view text);

// text without a UTF-8 byte order mark at its start, as Windows editors save.
std::string_view WithoutByteOrderMark(std::string_view text);

// What was found, quoted for a message and cut to a readable length; control
// bytes show as '?'.
std::string Quoted(std::string_view text);

// A real in the dialogue's number syntax, rounded to double. Throws JobError
// on `line`, naming `what`, when the token is no number or out of range.
double ParseNumber(std::string_view token, const std::string& what, int line);

// D-M-S with an optional sign before D and a decimal fraction allowed on the
// seconds, in gon: 123-45-30.5 is 123 degrees 45 minutes 30.5 seconds.
double ParseDms(std::string_view token, const std::string& what, int line);

// An angle typed in `unit`, in gon.
double ParseAngle(std::string_view token, AngleUnit unit, const std::string& what, int line);

}  // namespace traverse
