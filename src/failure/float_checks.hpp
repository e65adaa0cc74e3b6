// The floating-point environment and the explicit checks that stand in for
// hardware traps: a store that overflows the double range and a quotient by
// zero raise their failures at the position of the faulting operation.
#pragma once

#include "failure/extended.hpp"

namespace traverse {

// Empties the x87 register stack, clears its flags and loads 64-bit precision,
// round to nearest, every exception masked; the SSE unit likewise.
void ResetFloatingPoint();

// The x87 control word loaded by ResetFloatingPoint.
inline constexpr unsigned short DefaultControlWord = 0x037F;

// The x87 control word now in force.
unsigned short CurrentControlWord();

// Rounds `value` to double for storing. Raises EOverflow when the double is
// infinite (a finite value that rounds beyond the double range, or an
// extended overflow that no earlier check caught) and EInvalidOp for a NaN;
// denormals and zero pass with their IEEE default results.
[[gnu::noinline]] double StoreReal(Extended value);

// `dividend / divisor` in extended precision. Raises EZeroDivide for x/0 with
// x non-zero, EInvalidOp for 0/0 (either zero may be negative) and for
// infinity/infinity, EOverflow when finite operands give a quotient beyond
// the extended range. A quotient that underflows passes.
[[gnu::noinline]] Extended Quotient(Extended dividend, Extended divisor);

// `value` unchanged when finite; EOverflow when an extended operation has run
// out of the extended range, EInvalidOp when it had no defined result (NaN).
[[gnu::noinline]] Extended CheckExtended(Extended value);

}  // namespace traverse
