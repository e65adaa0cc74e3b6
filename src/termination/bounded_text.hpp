// Text built into a caller's fixed buffer: appends stop at the capacity, so a
// report is cut rather than overrun, and nothing is allocated (the trap
// handler builds its report with these too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace traverse {

class BoundedText {
 public:
  // `capacity` counts the terminating zero; the text holds at most
  // capacity - 1 characters and is always zero-terminated (capacity > 0).
  BoundedText(char* buffer, std::size_t capacity);

  void Append(std::string_view text);
  void Append(char character);

  // Upper-case hexadecimal digits of `value`, at least `minDigits` of them with
  // leading zeros, and as many more as the value needs.
  void AppendHex(std::uint64_t value, int minDigits);

  // Signed decimal, right-aligned in `width` characters (more when needed).
  void AppendDecimal(std::int64_t value, int width = 0);

  std::size_t Length() const { return length_; }
  std::string_view Text() const { return {buffer_, length_}; }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

}  // namespace traverse
