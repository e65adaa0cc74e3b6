// Scaling an extended value by a power of ten, through three tables of
// correctly rounded extended constants.
#pragma once

#include <cstdint>

#include "failure/extended.hpp"

namespace traverse {

extern const Extended PowersOfTenLow[32];   // 10^0 .. 10^31
extern const Extended PowersOfTenMid[16];   // [j] = 10^(32 j), j = 1..15; [0] unused
extern const Extended PowersOfTenHigh[10];  // [i] = 10^(512 i), i = 1..9; [0] unused

// v × 10^e (v ÷ 10^-e for e < 0), one rounded operation per table step.
// Results below the extended range fade to zero; e of -5120 or less gives
// zero. A result above the range raises EOverflow; so does e of 5120 or more
// with a non-zero v (a zero v stays zero).
Extended ScaleByPowerOfTen(Extended v, std::int32_t e);

}  // namespace traverse
