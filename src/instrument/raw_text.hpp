// The text pieces every instrument reader shares: lines that end in CR LF,
// LF or CR alone (collectors write all three), and names and notes made
// valid UTF-8 whatever code page the collector wrote them in.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_formats.hpp"

namespace traverse {

// The lines of a file in turn, numbered from 1 as an editor numbers them:
// CR LF is one line end, CR or LF alone one each.
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

// `bytes` as they are where they are valid UTF-8, otherwise every byte read
// in `encoding`: always valid UTF-8.
std::string ToUtf8(std::string_view bytes, TextEncoding encoding);

}  // namespace traverse
