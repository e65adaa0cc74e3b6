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
  if (std::isinf(result) && !std::isinf(value))
    RaiseRuntimeError(KindOverflow, TRAVERSE_CALLER_ADDRESS());
  if (std::isnan(result)) RaiseRuntimeError(KindInvalidOp, TRAVERSE_CALLER_ADDRESS());
  return result;
}

Extended Quotient(Extended dividend, Extended divisor) {
  if (divisor == 0) {
    RaiseRuntimeError(dividend == 0 || std::isnan(dividend) ? KindInvalidOp : KindZeroDivide,
                      TRAVERSE_CALLER_ADDRESS());
  }
  return dividend / divisor;
}

Extended CheckExtended(Extended value) {
  if (std::isinf(value)) RaiseRuntimeError(KindOverflow, TRAVERSE_CALLER_ADDRESS());
  return value;
}

}  // namespace traverse
