// The exact reference of the real-number reader's target: a short decimal
// value scaled by a power of ten and rounded once to the nearest extended
// value, worked out in integer arithmetic so that no floating-point
// conversion of the system is trusted to check another. The fuzz build is
// clang on a 64-bit target, which has 128-bit integers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "failure/extended.hpp"

namespace traverse::fuzzing {

// value × 10^scale rounded to the nearest extended (ties to even), exactly:
// |value| < 2^64 and |scale| <= 27, so 5^|scale| < 2^63 and the work fits in
// 128 bits.
inline Extended ExactScaled(std::uint64_t value, int scale) {
  __extension__ using Wide = unsigned __int128;
  if (value == 0) return 0.0L;
  std::uint64_t fivePower = 1;
  for (int i = 0; i < std::abs(scale); ++i) fivePower *= 5;
  Wide quotient = value;
  Wide remainder = 0;
  std::uint64_t divisor = 1;
  if (scale >= 0) {
    quotient *= fivePower;
  } else {
    divisor = fivePower;
    remainder = quotient % divisor;
    quotient /= divisor;
  }
  int binaryExponent = scale;
  // Long division, one bit at a time, until the quotient has 66 bits.
  while (quotient >> 65 == 0) {
    remainder <<= 1;
    quotient <<= 1;
    if (remainder >= divisor) {
      quotient |= 1;
      remainder -= divisor;
    }
    --binaryExponent;
  }
  int shift = 0;
  while (quotient >> (64 + shift) != 0) ++shift;
  std::uint64_t significand = static_cast<std::uint64_t>(quotient >> shift);
  const Wide dropped = quotient & ((Wide{1} << shift) - 1);
  const Wide half = Wide{1} << (shift - 1);
  if (dropped > half || (dropped == half && (remainder != 0 || (significand & 1) != 0))) {
    ++significand;
    if (significand == 0) {  // carried out of 64 bits
      significand = std::uint64_t{1} << 63;
      ++shift;
    }
  }
  return std::ldexp(Extended(significand), binaryExponent + shift);
}

}  // namespace traverse::fuzzing
