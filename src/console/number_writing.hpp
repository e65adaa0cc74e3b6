// The text of a real in fixed notation (scientific beyond 2^120), of an
// integer, and the digit machinery under them. Nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure/extended.hpp"

namespace traverse {

// Longest text FormatFixed can make.
inline constexpr std::size_t FixedTextCapacity = 255;

// Writes the fixed-point text of x with at least `width` characters (padded
// with spaces on the left) and `decimals` decimals into `text` (room for
// FixedTextCapacity characters) and returns its length.
std::size_t FormatFixed(Extended x, std::int32_t width, std::int32_t decimals, char* text);

struct NormalizedDecimal {
  Extended value;         // in [1, 16)
  std::int32_t exponent;  // x = value × 10^exponent
};

// For a >= 10: a scaled by a power of ten into [1, 16), and that power.
NormalizedDecimal NormalizeDecimal(Extended a);

// For 0 <= a < 16 and n >= 0: the decimal digits D0 .. Dn of a (D0 the tens,
// "0" or "1"; D1 the units; D2.. the decimals), rounded at Dn, as characters
// '0'..'9' in digits[0..n]. Only the first 18 after D0 come from a; the rest
// are "0".
void DigitString(Extended a, std::int32_t n, char* digits);

// Longest text FormatInteger can make ("-2147483648").
inline constexpr std::size_t IntegerTextCapacity = 11;

// Writes the decimal text of value into `text` and returns its length.
std::size_t FormatInteger(std::int32_t value, char* text);

}  // namespace traverse
