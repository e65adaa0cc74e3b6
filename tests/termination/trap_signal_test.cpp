// Fault signals as trap records: which trap code each stands for, and the
// read/write flag and accessed address of an access violation.
#include <gtest/gtest.h>

#if !defined(_WIN32)  // Windows has no fault signals: its traps are exception records

#include <signal.h>

#include "termination/trap_failure.hpp"
#include "termination/trap_signals.hpp"

namespace traverse {
namespace {

constexpr std::uintptr_t at = 0x401000;        // the faulting instruction
constexpr std::uintptr_t sp = 0x7FFD12340000;  // the stack pointer at the fault

TEST(TrapRecordOfSignal, NamesTheTrap) {
  struct {
    const char* name;
    SignalFault fault;  // signal, code, instruction, accessed, stack pointer, write
    std::uint32_t code;
    std::uintptr_t access;    // parameter 0
    std::uintptr_t accessed;  // parameter 1
  } cases[] = {
      {"read of null", {SIGSEGV, SEGV_MAPERR, at, 0, sp, false}, TrapAccessViolation, 0, 0},
      {"write of null", {SIGSEGV, SEGV_MAPERR, at, 8, sp, true}, TrapAccessViolation, 1, 8},
      {"write to read-only",
       {SIGSEGV, SEGV_ACCERR, at, 0x402000, sp, true},
       TrapAccessViolation,
       1,
       0x402000},
      {"call past the stack limit",
       {SIGSEGV, SEGV_MAPERR, at, sp - 8, sp, true},
       TrapStackOverflow,
       0,
       0},
      {"bus error",
       {SIGBUS, BUS_ADRERR, at, 0x7F0000, sp, false},
       TrapAccessViolation,
       0,
       0x7F0000},
      {"privileged", {SIGILL, ILL_PRVOPC, at, 0, sp, false}, TrapPrivilegedInstruction, 0, 0},
      {"illegal", {SIGILL, ILL_ILLOPN, at, 0, sp, false}, TrapIllegalInstruction, 0, 0},
      {"integer division", {SIGFPE, FPE_INTDIV, at, at, sp, false}, TrapIntDivideByZero, 0, 0},
      {"float division", {SIGFPE, FPE_FLTDIV, at, 0, sp, false}, TrapFloatDivideByZero, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrapRecord record = TrapRecordOf(c.fault);
    EXPECT_EQ(record.code, c.code);
    EXPECT_EQ(record.address, reinterpret_cast<const void*>(at));
    EXPECT_EQ(record.parameters[0], c.access);
    EXPECT_EQ(record.parameters[1], c.accessed);
  }
}

}  // namespace
}  // namespace traverse

#endif
