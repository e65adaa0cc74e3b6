#include "float_checks.hpp"

#include <cmath>

#include "failure/failures.hpp"

namespace traverse {

void ResetFloatingPoint() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned short controlWord = DefaultControlWord;
  __asm__ volatile("fninit\n\tfldcw %0" : : "m"(controlWord));
#if defined(__SSE__)
  unsigned int mxcsr = 0x1F80;  // every exception masked, round to nearest
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
#endif
}

unsigned short CurrentControlWord() {
  unsigned short controlWord = 0;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("fnstcw %0" : "=m"(controlWord));
#endif
  return controlWord;
}

double StoreReal(Extended value) {
  // Through memory, so that no register keeps the extended bits (32-bit x86).
  volatile double stored = static_cast<double>(value);
  double result = stored;
  // An infinite extended value can only come from an operation that ran out of
  // range unchecked; with trapping arithmetic it would have failed as an
  // overflow where it happened, so it fails as one here, before it is kept.
  if (std::isinf(result)) RaiseRuntimeError(KindOverflow, TRAVERSE_CALLER_ADDRESS());
  if (std::isnan(result)) RaiseRuntimeError(KindInvalidOp, TRAVERSE_CALLER_ADDRESS());
  return result;
}

Extended Quotient(Extended dividend, Extended divisor) {
  if (divisor == 0) {
    RaiseRuntimeError(dividend == 0 || std::isnan(dividend) ? KindInvalidOp : KindZeroDivide,
                      TRAVERSE_CALLER_ADDRESS());
  }
  Extended quotient = dividend / divisor;
  if (std::isnan(quotient) && !std::isnan(dividend) && !std::isnan(divisor))
    RaiseRuntimeError(KindInvalidOp, TRAVERSE_CALLER_ADDRESS());  // infinity / infinity
  if (std::isinf(quotient) && std::isfinite(dividend))
    RaiseRuntimeError(KindOverflow, TRAVERSE_CALLER_ADDRESS());
  return quotient;
}

Extended CheckExtended(Extended value) {
  if (std::isinf(value)) RaiseRuntimeError(KindOverflow, TRAVERSE_CALLER_ADDRESS());
  if (std::isnan(value)) RaiseRuntimeError(KindInvalidOp, TRAVERSE_CALLER_ADDRESS());
  return value;
}

}  // namespace traverse
