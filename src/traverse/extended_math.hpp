// Arctangent, sine and cosine in extended precision, taken from the x87 unit
// itself, so that every build on x86 computes the same bits.
#pragma once

#include "failure/extended.hpp"

namespace traverse {

// arctan(x) in radians, from the x87 partial arctangent.
Extended ArcTangent(Extended x);

// sin(x) of x in radians; 0 when |x| is 2^63 or more (beyond the x87 range).
Extended Sine(Extended x);

// cos(x) of x in radians; 0 when |x| is 2^63 or more (beyond the x87 range).
Extended Cosine(Extended x);

}  // namespace traverse
