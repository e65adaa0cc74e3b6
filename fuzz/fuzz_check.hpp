// What every fuzz target shares: a check that stops the run with a message
// when an invariant fails, and helpers for looking at extended values.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "failure/extended.hpp"
#include "failure/failures.hpp"

namespace traverse::fuzzing {

// Stops the run: libFuzzer saves the input that got here.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The number of lines of `text`, the last one counted without its line end.
inline int LineCount(std::string_view text) {
  int lines = 1;
  for (char byte : text) lines += byte == '\n';
  return lines;
}

// Stops the run when `holds` is false; `what` is only worked out then, so
// that the checks cost nothing on the way.
#define FUZZ_CHECK(holds, what)                    \
  do {                                             \
    if (!(holds)) ::traverse::fuzzing::Fail(what); \
  } while (false)

// The 80 bits of an extended value as "0xSEEE:SSSSSSSSSSSSSSSS", for messages.
inline std::string Bits(Extended value) {
  unsigned char bytes[10];
  std::memcpy(bytes, &value, sizeof bytes);
  std::string text = "0x";
  for (int i = 9; i >= 0; --i) {
    text += "0123456789abcdef"[bytes[i] >> 4];
    text += "0123456789abcdef"[bytes[i] & 15];
    if (i == 8) text += ':';
  }
  return text;
}

// Same value and, for zeros, the same sign.
inline bool SameExtended(Extended a, Extended b) {
  return a == b && std::signbit(a) == std::signbit(b);
}

// Printable form of arbitrary bytes, for messages.
inline std::string Printable(std::string_view bytes) {
  std::string text;
  for (char character : bytes) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte >= 32 && byte < 127 && byte != '\\') {
      text += static_cast<char>(byte);
    } else {
      text += "\\x";
      text += "0123456789abcdef"[byte >> 4];
      text += "0123456789abcdef"[byte & 15];
    }
  }
  return text;
}

// The class name of a raised failure, which is released.
inline std::string TakeFailure(const RaisedFailure& failure) {
  std::string name = failure.object->ClassName();
  delete failure.object;
  return name;
}

}  // namespace traverse::fuzzing
