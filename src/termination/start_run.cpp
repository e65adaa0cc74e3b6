#include "termination/start_run.hpp"

#include <exception>
#include <new>

#include "console/io_code.hpp"
#include "console/text_channel.hpp"
#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "termination/failure_hooks.hpp"
#include "termination/report.hpp"
#include "termination/run_end.hpp"
#include "termination/trap_failure.hpp"
#include "termination/trap_signals.hpp"

namespace traverse {
namespace {

// The failure standing for a C++ exception of no class of ours; built here so
// that reporting it needs no allocation.
alignas(EExternal) unsigned char foreignFailureStorage[TrapFailureSize];
static_assert(sizeof(Exception) <= TrapFailureSize);

// An exception that would otherwise end the process without a report (one
// thrown where no handler can be found, or out of a noexcept function).
[[noreturn]] void OnTerminate() {
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (...) {
      HandleCurrentException();
    }
  }
  TrapRecord record;
  record.code = TrapForeignException;
  TopLevelHandler(FailureFromTrapAt(record, foreignFailureStorage), nullptr);
}

// The last bytes of standard output, written while a failure can still be
// reported: results that never reached their file must not end with code 0.
void DrainAtNormalEnd() {
  std::int32_t code = DrainBeforeReport();
  if (code != 0) PendingIoCode = code;
  CheckIO();
}

}  // namespace

void StartRun() {
  ResetFloatingPoint();
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  platform::PrepareProcess();
  SetRuntimeErrorExit(RuntimeErrorExit);
  InstallTrapHandlers();
  std::set_terminate(OnTerminate);
  InstallFailureHooks();
}

void RunDialogue(void (*dialogue)()) {
  try {
    dialogue();
    DrainAtNormalEnd();
  } catch (...) {
    HandleCurrentException();
  }
  EndRun(0);
}

void RunProgram(void (*dialogue)()) {
  StartRun();
  RunDialogue(dialogue);
}

void HandleCurrentException() {
  try {
    throw;
  } catch (const RaisedFailure& raised) {
    TopLevelHandler(raised.object, raised.address);
  } catch (const std::bad_alloc&) {
    // Without the hooks the fallback line needs an address to be written at
    // all; the throw site is unknown, so it is where the failure arrived.
    if (OutOfMemoryFailure == nullptr)
      RuntimeErrorExit(RuntimeErrorNumber(KindOutOfMemory), TRAVERSE_CALLER_ADDRESS());
    TopLevelHandler(OutOfMemoryFailure, nullptr);
  } catch (const std::exception& error) {
    TopLevelHandler(new (foreignFailureStorage) Exception(error.what()), nullptr);
  } catch (...) {
    TrapRecord record;
    record.code = TrapForeignException;
    TopLevelHandler(FailureFromTrapAt(record, foreignFailureStorage), nullptr);
  }
}

}  // namespace traverse
