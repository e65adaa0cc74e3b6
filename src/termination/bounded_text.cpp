#include "termination/bounded_text.hpp"

namespace traverse {

BoundedText::BoundedText(char* buffer, std::size_t capacity)
    : buffer_(buffer), capacity_(capacity) {
  if (capacity_ > 0) buffer_[0] = '\0';
}

void BoundedText::Append(std::string_view text) {
  for (char character : text) Append(character);
}

void BoundedText::Append(char character) {
  if (length_ + 1 >= capacity_) return;
  buffer_[length_++] = character;
  buffer_[length_] = '\0';
}

void BoundedText::AppendHex(std::uint64_t value, int minDigits) {
  char digits[16];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int pad = count; pad < minDigits; ++pad) Append('0');
  while (count > 0) Append(digits[--count]);
}

void BoundedText::AppendDecimal(std::int64_t value, int width) {
  char digits[20];
  int count = 0;
  std::uint64_t magnitude =
      value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int used = count + (value < 0 ? 1 : 0);
  for (int pad = used; pad < width; ++pad) Append(' ');
  if (value < 0) Append('-');
  while (count > 0) Append(digits[--count]);
}

}  // namespace traverse
