// The working precision of every expression: the x87 extended format.
#pragma once

#include <limits>

namespace traverse {

using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64,
              "long double must be the x87 extended format (64-bit significand)");

}  // namespace traverse
