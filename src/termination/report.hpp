// The one report of a failed run: its text, and the path that writes it to
// standard error after everything written before the failure has reached
// standard output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure/failures.hpp"
#include "platform/platform.hpp"

namespace traverse {

// Room for a report: at most 1023 characters and the terminating zero.
inline constexpr std::size_t ReportCapacity = 1024;

// Writes "Exception %s in module %s at %p.\r\n%s%s\r\n" into `buffer`: class
// name, module file name, module-relative address (eight or more upper-case
// hex digits), message, and a full stop when the message is not empty and
// lacks one. Cut at capacity - 1 characters; returns the length.
std::size_t ComposeFailureReport(const TObject* failure, const void* address, char* buffer,
                                 std::size_t capacity);

// Hands the bytes waiting for standard output to the system when its channel
// is open for output; returns the write's error code, 0 when it succeeded or
// nothing was waiting.
std::int32_t DrainBeforeReport();

// Writes the report of `failure` at `address`, converted to the console's code
// page, and CR LF to standard error; failing writes are silent.
void WriteFailureReport(const TObject* failure, const void* address);

// The report hook: drains standard output and checks the code it leaves (a
// failing drain raises an EInOutError that replaces this failure), writes the
// report, and ends the run with exit code 1.
[[noreturn]] void ReportFailure(TObject* failure, const void* address);

// The report of a failure found by a trap handler, where nothing may be
// raised: as ReportFailure, but the EInOutError of a failing drain, built in
// static storage, replaces the failure directly.
[[noreturn]] void ReportTrapFailure(TObject* failure, const void* address);

// Writes every byte of `text` to the standard handle `which`, retrying short
// writes; gives up silently at the first error or when the handle is missing.
void WriteToStandardHandle(platform::StdHandle which, const char* text, std::size_t length);

}  // namespace traverse
