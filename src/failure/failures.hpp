// The failure class tree, the runtime-error kinds, the failure hooks and the
// raise path shared by every layer above.
#pragma once

#include <cstdint>
#include <string_view>

namespace traverse {

// Root of every failure object. Each class gives its own name for the report.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
};

// A failure with a message. The message lives in the object itself, so a
// failure can be built where the heap cannot be trusted.
class Exception : public TObject {
 public:
  static constexpr std::size_t MessageCapacity = 512;
  explicit Exception(std::string_view message);
  const char* ClassName() const override { return "Exception"; }
  std::string_view Message() const { return {message_, length_}; }

 private:
  char message_[MessageCapacity];
  std::size_t length_;
};

class EInOutError : public Exception {
 public:
  EInOutError(std::string_view message, std::int32_t code) : Exception(message), ErrorCode(code) {}
  const char* ClassName() const override { return "EInOutError"; }
  std::int32_t ErrorCode;
};

class EHeapException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EHeapException"; }
  bool AllowRelease = true;
};

// The platform's record of a trap, kept by every failure derived from EExternal.
struct TrapRecord {
  std::uint32_t code = 0;
  std::uint32_t flags = 0;
  const void* address = nullptr;
  std::uintptr_t parameters[2] = {};
};

class EExternal : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EExternal"; }
  TrapRecord Record{};
};

#define TRAVERSE_FAILURE_CLASS(Name, Base)                           \
  class Name : public Base {                                         \
   public:                                                           \
    using Base::Base;                                                \
    const char* ClassName() const override { return #Name; }         \
  }

TRAVERSE_FAILURE_CLASS(EOutOfMemory, EHeapException);
TRAVERSE_FAILURE_CLASS(EInvalidPointer, EHeapException);
TRAVERSE_FAILURE_CLASS(EIntError, EExternal);
TRAVERSE_FAILURE_CLASS(EDivByZero, EIntError);
TRAVERSE_FAILURE_CLASS(ERangeError, EIntError);
TRAVERSE_FAILURE_CLASS(EIntOverflow, EIntError);
TRAVERSE_FAILURE_CLASS(EMathError, EExternal);
TRAVERSE_FAILURE_CLASS(EInvalidOp, EMathError);
TRAVERSE_FAILURE_CLASS(EZeroDivide, EMathError);
TRAVERSE_FAILURE_CLASS(EOverflow, EMathError);
TRAVERSE_FAILURE_CLASS(EUnderflow, EMathError);
TRAVERSE_FAILURE_CLASS(EAccessViolation, EExternal);
TRAVERSE_FAILURE_CLASS(EPrivilege, EExternal);
TRAVERSE_FAILURE_CLASS(EStackOverflow, EExternal);
TRAVERSE_FAILURE_CLASS(EControlC, EExternal);
TRAVERSE_FAILURE_CLASS(EExternalException, EExternal);

#undef TRAVERSE_FAILURE_CLASS

// What travels from the raise point to the top-level handler: the failure
// object and the code address it was raised at.
struct RaisedFailure {
  TObject* object;
  const void* address;
};

// Raises `object` as a failure at `address`; never returns.
[[noreturn]] void RaiseFailure(TObject* object, const void* address);

// The causes of a runtime error.
enum RuntimeErrorKind : std::uint8_t {
  KindIoError = 0,
  KindOutOfMemory = 1,
  KindInvalidPointer = 2,
  KindDivByZero = 3,
  KindRangeError = 4,
  KindIntOverflow = 5,
  KindInvalidOp = 6,
  KindZeroDivide = 7,
  KindOverflow = 8,
  KindUnderflow = 9,
  KindAccessViolation = 11,
  KindPrivilege = 12,
  KindControlC = 13,
  KindStackOverflow = 14,
  KindExternalException = 22,
};

// The runtime error number of a kind, used when no failure hook is installed.
std::int32_t RuntimeErrorNumber(std::uint8_t kind);

// The message of kinds 1 to 14 ("Range check error"); empty for the others.
std::string_view KindMessage(std::uint8_t kind);

// A new failure object of the kind's class with the kind's message, for kinds
// 3 to 14; nullptr for the others (I/O, heap and external kinds are built
// elsewhere).
TObject* NewKindFailure(std::uint8_t kind);

// The pending I/O code of this thread; 0 when nothing is pending.
extern thread_local std::int32_t PendingIoCode;

// The failure hooks; empty at start and again after the hooks are removed.
using ErrorHookFn = void (*)(std::uint8_t kind, const void* address);
using TrapHookFn = TObject* (*)(const TrapRecord& record);
using ReportHookFn = void (*)(TObject* failure, const void* address);
extern ErrorHookFn ErrorHook;
extern TrapHookFn TrapHook;
extern ReportHookFn ReportHook;

// The two failures that must be raisable without allocating; created when the
// hooks are installed, released when they are removed.
extern EOutOfMemory* OutOfMemoryFailure;
extern EInvalidPointer* InvalidPointerFailure;

// The fallback end of a run, used while ErrorHook is empty; set once at start.
using RuntimeErrorExitFn = void (*)(std::int32_t number, const void* address);
void SetRuntimeErrorExit(RuntimeErrorExitFn exit);

// Raises the failure of `kind` (low 7 bits) at `address` through ErrorHook,
// or ends the run with the kind's runtime error number when it is empty.
[[noreturn]] void RaiseRuntimeError(std::uint8_t kind, const void* address);

// The code address just after the call of the function that uses it.
#define TRAVERSE_CALLER_ADDRESS() \
  (__builtin_extract_return_addr(__builtin_return_address(0)))

}  // namespace traverse
