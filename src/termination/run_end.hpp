// How a run ends: the top-level handler for failures nothing else took, the
// end of a run with its finalisation, and the fallback runtime-error line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure/failures.hpp"

namespace traverse {

// The exit code of the process; only EndRun sets it.
extern std::int32_t ExitStatus;

// Non-null only on the fallback path, where it makes EndRun write the
// runtime-error line.
extern const void* RuntimeErrorAddress;

// The failure whose report is being written (it lives until the run ends).
extern RaisedFailure ReportedFailure;

// Hands `failure`, raised at `address`, to ReportHook, or ends the run with
// runtime error 217 while the hook is empty. A failure raised while the report
// is written replaces the one being reported and is reported instead. Does not
// return.
[[noreturn]] void TopLevelHandler(TObject* failure, const void* address);

// Ends the run with exit code `code`: the runtime-error line when
// RuntimeErrorAddress is set, then the finalisation in reverse order of
// start-up (hooks removed, standard output drained, channels closed), then
// the process exit.
[[noreturn]] void EndRun(std::int32_t code);

// The fallback end: RuntimeErrorAddress := address, then EndRun(number).
[[noreturn]] void RuntimeErrorExit(std::int32_t number, const void* address);

// Room for a runtime-error line with its CR LF.
inline constexpr std::size_t RuntimeErrorLineCapacity = 64;

// Writes "Runtime error 216 at 0012ABCD" and CR LF into `line`: the number
// right-aligned in three places, the absolute address in eight upper-case hex
// digits (more if it needs them). Returns the length, 31 for a three-digit
// number and a 32-bit address.
std::size_t FormatRuntimeErrorLine(std::int32_t number, const void* address, char* line,
                                   std::size_t capacity);

}  // namespace traverse
