#include "termination/failure_hooks.hpp"

#include <new>

#include "console/io_code.hpp"
#include "failure/failures.hpp"
#include "termination/report.hpp"
#include "termination/trap_failure.hpp"

namespace traverse {
namespace {

// The preallocated failures live in static storage: raising them must work
// when the heap has nothing left to give.
alignas(EOutOfMemory) unsigned char outOfMemoryStorage[sizeof(EOutOfMemory)];
alignas(EInvalidPointer) unsigned char invalidPointerStorage[sizeof(EInvalidPointer)];

// Sets the release-allowed flag and ends the object's life.
template <typename T>
void Release(T*& failure) {
  if (failure == nullptr) return;
  failure->AllowRelease = true;
  failure->~T();
  failure = nullptr;
}

}  // namespace

void InstallFailureHooks() {
  if (OutOfMemoryFailure == nullptr) {
    OutOfMemoryFailure = new (outOfMemoryStorage) EOutOfMemory(KindMessage(KindOutOfMemory));
    OutOfMemoryFailure->AllowRelease = false;
  }
  if (InvalidPointerFailure == nullptr) {
    InvalidPointerFailure =
        new (invalidPointerStorage) EInvalidPointer(KindMessage(KindInvalidPointer));
    InvalidPointerFailure->AllowRelease = false;
  }
  ErrorHook = RaiseKindFailure;
  TrapHook = FailureFromTrap;
  ReportHook = ReportFailure;
}

void RemoveFailureHooks() {
  ErrorHook = nullptr;
  TrapHook = nullptr;
  ReportHook = nullptr;
  Release(OutOfMemoryFailure);
  Release(InvalidPointerFailure);
}

}  // namespace traverse
