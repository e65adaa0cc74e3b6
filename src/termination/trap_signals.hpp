// Faults that no explicit check covers (an access violation, a stack
// overflow, an integer division by zero) arrive as signals on Linux and as
// structured exceptions on Windows; these handlers turn each into its trap
// record and report it like any other failure.
#pragma once

#include <cstdint>

#include "failure/failures.hpp"

namespace traverse {

#if !defined(_WIN32)
// What the system tells about a fault signal.
struct SignalFault {
  int signal = 0;
  int code = 0;                     // si_code
  std::uintptr_t instruction = 0;   // the faulting instruction
  std::uintptr_t accessed = 0;      // si_addr
  std::uintptr_t stackPointer = 0;  // at the fault
  bool write = false;               // the access was a write
};

// The trap record of a fault signal: the platform trap code it stands for, the
// fault address, and for an access violation read (0) or write (1) and the
// accessed address.
TrapRecord TrapRecordOf(const SignalFault& fault);
#endif

// Installs the handlers for SIGSEGV, SIGBUS, SIGILL and SIGFPE on an alternate
// stack (so that a stack overflow can be reported); on Windows, the
// unhandled-exception filter, with stack kept for it after an overflow. A handler reports the
// fault through objects in static storage and ends the run; it never returns
// into the faulting code. The console interrupt keeps its default action.
void InstallTrapHandlers();

}  // namespace traverse
