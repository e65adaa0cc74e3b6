// The pending I/O code and its check: console operations store a code and
// return; the check after each statement turns it into an EInOutError.
#pragma once

#include <cstdint>
#include <string_view>

#include "failure/failures.hpp"

namespace traverse {

inline constexpr std::int32_t IoReadBeyondEnd = 100;
inline constexpr std::int32_t IoHandleMissing = 104;  // standard input cannot be had
inline constexpr std::int32_t IoOutputMissing = 105;  // standard output cannot be had
inline constexpr std::int32_t IoInvalidNumber = 106;

// Writes the message of an I/O code ("Disk full", "I/O error 104") into
// `text` (room for at least 32 characters) and returns its length.
std::size_t IoMessage(std::int32_t code, char* text);

// Returns when no code is pending; otherwise raises the I/O failure at the
// position just after its own call.
[[gnu::noinline]] void CheckIO();

// Takes the pending code (clearing it) and returns a new EInOutError with the
// code's message and the code.
EInOutError* CreateIoFailure();

// The error hook of a run: raises the failure of `kind` at `address`: the
// preallocated heap failures for kinds 1 and 2, a new object of the kind's
// class for kinds 3 to 24, the I/O failure of CreateIoFailure for the others.
[[noreturn]] void RaiseKindFailure(std::uint8_t kind, const void* address);

}  // namespace traverse
