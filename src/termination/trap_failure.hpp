// Platform traps as failures: the trap table (trap code to runtime-error kind
// and number) and FailureFromTrap, the trap hook of a run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure/failures.hpp"

namespace traverse {

// The platform's 32-bit trap codes this system tells apart.
inline constexpr std::uint32_t TrapAccessViolation = 0xC0000005;
inline constexpr std::uint32_t TrapIllegalInstruction = 0xC000001D;
inline constexpr std::uint32_t TrapArrayBounds = 0xC000008C;
inline constexpr std::uint32_t TrapFloatDenormal = 0xC000008D;
inline constexpr std::uint32_t TrapFloatDivideByZero = 0xC000008E;
inline constexpr std::uint32_t TrapFloatInexact = 0xC000008F;
inline constexpr std::uint32_t TrapFloatInvalid = 0xC0000090;
inline constexpr std::uint32_t TrapFloatOverflow = 0xC0000091;
inline constexpr std::uint32_t TrapFloatStackCheck = 0xC0000092;
inline constexpr std::uint32_t TrapFloatUnderflow = 0xC0000093;
inline constexpr std::uint32_t TrapIntDivideByZero = 0xC0000094;
inline constexpr std::uint32_t TrapIntOverflow = 0xC0000095;
inline constexpr std::uint32_t TrapPrivilegedInstruction = 0xC0000096;
inline constexpr std::uint32_t TrapStackOverflow = 0xC00000FD;
inline constexpr std::uint32_t TrapControlC = 0xC000013A;
// A C++ exception of no class of ours, reported as the foreign failure it is.
inline constexpr std::uint32_t TrapForeignException = 0xE06D7363;

// The runtime-error kind of a trap code: 22 for a code the table lacks.
std::uint8_t TrapKind(std::uint32_t code);

// The runtime error number of a trap code, used while TrapHook is empty: 255
// for a code the table lacks.
std::int32_t TrapRuntimeErrorNumber(std::uint32_t code);

// The trap hook: a new failure object for the trap `record`, which every
// object derived from EExternal keeps.
TObject* FailureFromTrap(const TrapRecord& record);

// Room for any failure FailureFromTrap makes.
inline constexpr std::size_t TrapFailureSize = sizeof(EExternal);

// FailureFromTrap built in `storage` (TrapFailureSize bytes, aligned for
// EExternal) instead of the heap: for the trap handler, where the heap may be
// the thing that faulted.
TObject* FailureFromTrapAt(const TrapRecord& record, void* storage);

}  // namespace traverse
