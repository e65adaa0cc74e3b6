// Faults that no explicit check covers arrive on Windows as structured
// exceptions. Nothing in the program handles them, so they reach the
// unhandled-exception filter installed here, which reports the trap record like
// any other failure and ends the run.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "termination/report.hpp"
#include "termination/run_end.hpp"
#include "termination/trap_failure.hpp"
#include "termination/trap_signals.hpp"

namespace traverse {
namespace {

// The runtime error number of a failure that cannot be reported.
constexpr std::int32_t unreportedFailureNumber = 217;

// Stack kept free for the filter: after a stack overflow it runs on what is
// left of the faulting thread's stack.
constexpr ULONG stackGuarantee = 64 * 1024;

// The report of a trap runs on a fiber with a stack of its own, made at
// start-up, as the Linux handlers run on an alternate stack: after a stack
// overflow the faulting stack has no room for it.
constexpr SIZE_T reportStackSize = 256 * 1024;
LPVOID reportFiber = nullptr;
TrapRecord pendingTrap;

// The failure object of the trap path: the heap may be what faulted, so it is
// built here instead.
alignas(EExternal) unsigned char trapFailureStorage[TrapFailureSize];

volatile LONG trapInProgress = 0;

// The trap record of a structured exception: code, flags, fault address, and
// for an access violation read (0) or write and the accessed address.
TrapRecord TrapRecordOf(const EXCEPTION_RECORD& exception) {
  TrapRecord record;
  record.code = static_cast<std::uint32_t>(exception.ExceptionCode);
  record.flags = static_cast<std::uint32_t>(exception.ExceptionFlags);
  record.address = exception.ExceptionAddress;
  for (DWORD k = 0; k < 2 && k < exception.NumberParameters; ++k)
    record.parameters[k] = static_cast<std::uintptr_t>(exception.ExceptionInformation[k]);
  return record;
}

// Reports `pendingTrap` and ends the run.
[[noreturn]] void ReportPendingTrap() {
  const TrapRecord& record = pendingTrap;
  if (TrapHook == nullptr) RuntimeErrorExit(TrapRuntimeErrorNumber(record.code), record.address);
  if (ReportHook == nullptr) RuntimeErrorExit(unreportedFailureNumber, record.address);
  ReportTrapFailure(FailureFromTrapAt(record, trapFailureStorage), record.address);
}

void WINAPI RunReportFiber(LPVOID) {
  ReportPendingTrap();
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  // A fault while a fault is being reported: the run ends without a second
  // report rather than looping.
  if (InterlockedExchange(&trapInProgress, 1) != 0) platform::Current().ExitProcess(1);
  ResetFloatingPoint();
  pendingTrap = TrapRecordOf(*pointers->ExceptionRecord);
  if (reportFiber != nullptr) SwitchToFiber(reportFiber);  // does not come back
  ReportPendingTrap();
}

}  // namespace

void InstallTrapHandlers() {
  ULONG guarantee = stackGuarantee;
  SetThreadStackGuarantee(&guarantee);
  // Only a fiber can switch to another; the main thread becomes one here. If
  // either step fails, the report runs on the faulting stack.
  if (reportFiber == nullptr && ConvertThreadToFiber(nullptr) != nullptr)
    reportFiber = CreateFiber(reportStackSize, RunReportFiber, nullptr);
  SetUnhandledExceptionFilter(OnUnhandledException);
}

}  // namespace traverse
