// Converting number tokens: reals in decimal notation with an optional
// exponent, integers in decimal or hexadecimal. Nothing allocates.
#pragma once

#include <cstdint>

#include "failure/extended.hpp"

namespace traverse {

// Result of a conversion: the value, where the scan stopped (the end of the
// token when it was accepted, else the rejected byte or the end) and whether
// the token was accepted.
template <typename T>
struct ScanResult {
  T value;
  const char* stop;
  bool ok;
};

// Converts the whole token [first, last) (1 to 64 bytes, no blanks; any
// other length and any bytes are handled safely, an empty token is rejected).
// On rejection the value is the mantissa accumulated before the rejected
// byte, unscaled and without sign. Raises EOverflow when the value runs out of
// the extended range.
ScanResult<Extended> ParseReal(const char* first, const char* last);

// Converts the whole token [first, last) (1 to 32 bytes, no blanks; any
// other length and any bytes are handled safely). On rejection the value is 0.
ScanResult<std::int32_t> ParseInteger(const char* first, const char* last);

}  // namespace traverse
