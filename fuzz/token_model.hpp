// An independent model of how the number reads split standard input: blanks
// and empty lines are skipped, a token runs to the next blank, a SUB byte or
// the end of data ends the input, and each read statement then discards the
// rest of its line. The fuzz targets hold the channel to it.
#pragma once

#include <cstddef>
#include <string_view>

namespace traverse::fuzzing {

class TokenModel {
 public:
  explicit TokenModel(std::string_view input) : input_(input) {}

  // The next token of a number read, or false when the input ends first.
  bool NextToken(std::string_view& token) {
    while (at_ < input_.size() && Blank(input_[at_]) && input_[at_] != Sub) ++at_;
    if (at_ == input_.size() || input_[at_] == Sub) return false;
    const std::size_t start = at_;
    while (at_ < input_.size() && !Blank(input_[at_])) ++at_;  // SUB is a blank too
    token = input_.substr(start, at_ - start);
    return true;
  }

  // The rest of the line and its line feed; a SUB or the end of data stops it.
  void SkipLine() {
    while (at_ < input_.size() && input_[at_] != Sub) {
      if (input_[at_++] == '\n') return;
    }
  }

 private:
  static constexpr char Sub = 26;
  static bool Blank(char byte) { return static_cast<unsigned char>(byte) <= 32; }

  std::string_view input_;
  std::size_t at_ = 0;
};

}  // namespace traverse::fuzzing
