// Notes and names in instrument files: UTF-8 where the bytes are valid
// UTF-8, else single-byte text in the encoding the surveyor names.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_job.hpp"

namespace traverse {

// Whether `bytes` are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// The lines of a raw file, numbered from 1. A line ends at LF, at CR LF, at
// a run of CRs before LF (as some collectors write), or at a CR alone.
class RawLines {
 public:
  explicit RawLines(std::string_view text);

  // The next line without its line end; false at the end of the text.
  bool Next(std::string_view& line);
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int number_ = 0;
};

// `bytes` as valid UTF-8: unchanged where they are valid UTF-8, else each
// byte read as a character of `encoding`.
std::string ToUtf8(std::string_view bytes, TextEncoding encoding);

}  // namespace traverse
