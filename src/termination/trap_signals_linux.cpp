#include <signal.h>
#include <ucontext.h>

#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "termination/report.hpp"
#include "termination/run_end.hpp"
#include "termination/trap_failure.hpp"
#include "termination/trap_signals.hpp"

namespace traverse {
namespace {

// A fault this close to the stack pointer is the stack running into its limit.
constexpr std::uintptr_t stackOverflowReach = 64 * 1024;

// The runtime error number of a failure that cannot be reported.
constexpr std::int32_t unreportedFailureNumber = 217;

// Room for the handler itself, also when the fault is a stack overflow.
alignas(16) unsigned char alternateStack[256 * 1024];

// The failure object of the trap path: the heap may be what faulted, so it is
// built here instead.
alignas(EExternal) unsigned char trapFailureStorage[TrapFailureSize];

volatile sig_atomic_t trapInProgress = 0;

std::uint32_t TrapCodeOf(const SignalFault& fault) {
  switch (fault.signal) {
    case SIGSEGV: {
      std::uintptr_t low = fault.stackPointer - stackOverflowReach;
      std::uintptr_t high = fault.stackPointer + stackOverflowReach;
      bool nearStackPointer =
          fault.stackPointer > stackOverflowReach && fault.accessed >= low && fault.accessed < high;
      return nearStackPointer ? TrapStackOverflow : TrapAccessViolation;
    }
    case SIGBUS:
      return TrapAccessViolation;
    case SIGILL:
      return fault.code == ILL_PRVOPC || fault.code == ILL_PRVREG ? TrapPrivilegedInstruction
                                                                  : TrapIllegalInstruction;
    case SIGFPE:
      switch (fault.code) {
        case FPE_INTDIV:
          return TrapIntDivideByZero;
        case FPE_INTOVF:
          return TrapIntOverflow;
        case FPE_FLTDIV:
          return TrapFloatDivideByZero;
        case FPE_FLTOVF:
          return TrapFloatOverflow;
        case FPE_FLTUND:
          return TrapFloatUnderflow;
        case FPE_FLTRES:
          return TrapFloatInexact;
        case FPE_FLTSUB:
          return TrapArrayBounds;
        default:
          return TrapFloatInvalid;
      }
    default:
      return 0;
  }
}

// What the kernel saved about the fault.
SignalFault FaultOf(int signal, const siginfo_t* info, const void* context) {
  SignalFault fault;
  fault.signal = signal;
  fault.code = info->si_code;
  fault.accessed = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  fault.instruction = static_cast<std::uintptr_t>(machine->gregs[REG_RIP]);
  fault.stackPointer = static_cast<std::uintptr_t>(machine->gregs[REG_RSP]);
  fault.write = (machine->gregs[REG_ERR] & 2) != 0;  // page-fault error code: bit 1 = write
#elif defined(__i386__)
  fault.instruction = static_cast<std::uintptr_t>(machine->gregs[REG_EIP]);
  fault.stackPointer = static_cast<std::uintptr_t>(machine->gregs[REG_ESP]);
  fault.write = (machine->gregs[REG_ERR] & 2) != 0;
#else
  (void)machine;
#endif
  return fault;
}

void OnTrapSignal(int signal, siginfo_t* info, void* context) {
  // A fault while a fault is being reported: the run ends without a second
  // report rather than looping.
  if (trapInProgress != 0) platform::Current().ExitProcess(1);
  trapInProgress = 1;
  ResetFloatingPoint();
  TrapRecord record = TrapRecordOf(FaultOf(signal, info, context));
  if (TrapHook == nullptr) RuntimeErrorExit(TrapRuntimeErrorNumber(record.code), record.address);
  if (ReportHook == nullptr) RuntimeErrorExit(unreportedFailureNumber, record.address);
  ReportTrapFailure(FailureFromTrapAt(record, trapFailureStorage), record.address);
}

}  // namespace

TrapRecord TrapRecordOf(const SignalFault& fault) {
  TrapRecord record;
  record.code = TrapCodeOf(fault);
  record.address = reinterpret_cast<const void*>(fault.instruction);
  if (record.code == TrapAccessViolation) {
    record.parameters[0] = fault.write ? 1 : 0;
    record.parameters[1] = fault.accessed;
  }
  return record;
}

void InstallTrapHandlers() {
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnTrapSignal;
  sigemptyset(&action.sa_mask);
  // SA_NODEFER: a fault inside the handler enters it again and ends the run,
  // where a blocked fault signal would kill the process without a word.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(signal, &action, nullptr);
}

}  // namespace traverse
