#include "traverse/extended_math.hpp"

#if !defined(__i386__) && !defined(__x86_64__)
#error "the traverse computations need the x87 unit"
#endif

namespace traverse {
namespace {

// fsin and fcos leave an argument of this magnitude or more unreduced.
constexpr Extended trigonometricLimit = 0x1p63L;

bool BeyondTrigonometricRange(Extended x) {
  return x >= trigonometricLimit || x <= -trigonometricLimit;
}

}  // namespace

Extended ArcTangent(Extended x) {
  // fpatan takes arctan(st1 / st0) and pops once; with st0 = 1 that is
  // arctan(x) itself.
  Extended result;
  __asm__("fpatan" : "=t"(result) : "0"(Extended(1)), "u"(x) : "st(1)");
  return result;
}

Extended Sine(Extended x) {
  if (BeyondTrigonometricRange(x)) return 0;
  Extended result;
  __asm__("fsin" : "=t"(result) : "0"(x));
  return result;
}

Extended Cosine(Extended x) {
  if (BeyondTrigonometricRange(x)) return 0;
  Extended result;
  __asm__("fcos" : "=t"(result) : "0"(x));
  return result;
}

}  // namespace traverse
