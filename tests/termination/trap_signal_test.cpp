// Fault signals as trap records: which trap code each stands for, and the
// read/write flag and accessed address of an access violation.
#include <gtest/gtest.h>

#if !defined(_WIN32)  // Windows has no fault signals: its traps are exception records

#include <signal.h>

#include <string>

#include "failure/trap_failure.hpp"
#include "failure/trap_signals.hpp"

namespace traverse {
namespace {

constexpr std::uintptr_t stackPointer = 0x7FFD12340000;

struct SignalCase {
  const char* name;
  SignalFault fault;
  std::uint32_t code;
  std::uintptr_t access;    // parameter 0
  std::uintptr_t accessed;  // parameter 1
};

class TrapRecordOfSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(TrapRecordOfSignal, NamesTheTrap) {
  const SignalCase& test = GetParam();
  TrapRecord record = TrapRecordOf(test.fault);
  EXPECT_EQ(record.code, test.code);
  EXPECT_EQ(record.address, reinterpret_cast<const void*>(test.fault.instruction));
  EXPECT_EQ(record.parameters[0], test.access);
  EXPECT_EQ(record.parameters[1], test.accessed);
}

INSTANTIATE_TEST_SUITE_P(
    Traps, TrapRecordOfSignal,
    ::testing::Values(SignalCase{"ReadOfNull",
                                 {SIGSEGV, SEGV_MAPERR, 0x401000, 0, stackPointer, false},
                                 TrapAccessViolation,
                                 0,
                                 0},
                      SignalCase{"WriteOfNull",
                                 {SIGSEGV, SEGV_MAPERR, 0x401000, 8, stackPointer, true},
                                 TrapAccessViolation,
                                 1,
                                 8},
                      SignalCase{"WriteToReadOnly",
                                 {SIGSEGV, SEGV_ACCERR, 0x401000, 0x402000, stackPointer, true},
                                 TrapAccessViolation,
                                 1,
                                 0x402000},
                      SignalCase{
                          "CallPastTheStackLimit",
                          {SIGSEGV, SEGV_MAPERR, 0x401000, stackPointer - 8, stackPointer, true},
                          TrapStackOverflow,
                          0,
                          0},
                      SignalCase{"BusError",
                                 {SIGBUS, BUS_ADRERR, 0x401000, 0x7F0000, stackPointer, false},
                                 TrapAccessViolation,
                                 0,
                                 0x7F0000},
                      SignalCase{"PrivilegedInstruction",
                                 {SIGILL, ILL_PRVOPC, 0x401000, 0, stackPointer, false},
                                 TrapPrivilegedInstruction,
                                 0,
                                 0},
                      SignalCase{"IllegalInstruction",
                                 {SIGILL, ILL_ILLOPN, 0x401000, 0, stackPointer, false},
                                 TrapIllegalInstruction,
                                 0,
                                 0},
                      SignalCase{"IntegerDivisionByZero",
                                 {SIGFPE, FPE_INTDIV, 0x401000, 0x401000, stackPointer, false},
                                 TrapIntDivideByZero,
                                 0,
                                 0},
                      SignalCase{"FloatDivisionByZero",
                                 {SIGFPE, FPE_FLTDIV, 0x401000, 0, stackPointer, false},
                                 TrapFloatDivideByZero,
                                 0,
                                 0}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace traverse

#endif
