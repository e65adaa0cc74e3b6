#include "failures.hpp"

#include <cstdlib>
#include <cstring>

namespace traverse {

Exception::Exception(std::string_view message) : message_{}, length_(message.size()) {
  if (length_ >= MessageCapacity) length_ = MessageCapacity - 1;
  std::memcpy(message_, message.data(), length_);
  message_[length_] = '\0';
}

void RaiseFailure(TObject* object, const void* address) { throw RaisedFailure{object, address}; }

namespace {

struct KindEntry {
  std::uint8_t kind;
  std::int32_t number;
  std::string_view message;
};

// Kinds with a class of their own in this system. Kind 0 takes its number from
// the pending I/O code and its message from the I/O table.
constexpr KindEntry kindTable[] = {
    {KindOutOfMemory, 203, "Out of memory"},
    {KindInvalidPointer, 204, "Invalid pointer operation"},
    {KindDivByZero, 200, "Division by zero"},
    {KindRangeError, 201, "Range check error"},
    {KindIntOverflow, 215, "Integer overflow"},
    {KindInvalidOp, 207, "Invalid floating point operation"},
    {KindZeroDivide, 200, "Floating point division by zero"},
    {KindOverflow, 205, "Floating point overflow"},
    {KindUnderflow, 206, "Floating point underflow"},
    {KindAccessViolation, 216, "Access violation"},
    {KindPrivilege, 218, "Privileged instruction"},
    {KindControlC, 217, "Control-C hit"},
    {KindStackOverflow, 202, "Stack overflow"},
};

// A kind this system never raises itself gets the number of a trap it does
// not know.
constexpr std::int32_t unknownKindNumber = 255;

const KindEntry* FindKind(std::uint8_t kind) {
  for (const KindEntry& entry : kindTable)
    if (entry.kind == kind) return &entry;
  return nullptr;
}

RuntimeErrorExitFn runtimeErrorExit = nullptr;

}  // namespace

std::int32_t RuntimeErrorNumber(std::uint8_t kind) {
  const KindEntry* entry = FindKind(kind);
  return entry != nullptr ? entry->number : unknownKindNumber;
}

std::string_view KindMessage(std::uint8_t kind) {
  const KindEntry* entry = FindKind(kind);
  return entry != nullptr ? entry->message : std::string_view{};
}

TObject* NewKindFailure(std::uint8_t kind) {
  std::string_view message = KindMessage(kind);
  switch (kind) {
    case KindDivByZero:
      return new EDivByZero(message);
    case KindRangeError:
      return new ERangeError(message);
    case KindIntOverflow:
      return new EIntOverflow(message);
    case KindInvalidOp:
      return new EInvalidOp(message);
    case KindZeroDivide:
      return new EZeroDivide(message);
    case KindOverflow:
      return new EOverflow(message);
    case KindUnderflow:
      return new EUnderflow(message);
    case KindAccessViolation:
      return new EAccessViolation(message);
    case KindPrivilege:
      return new EPrivilege(message);
    case KindControlC:
      return new EControlC(message);
    case KindStackOverflow:
      return new EStackOverflow(message);
    default:
      return nullptr;
  }
}

thread_local std::int32_t PendingIoCode = 0;

EOutOfMemory* OutOfMemoryFailure = nullptr;
EInvalidPointer* InvalidPointerFailure = nullptr;

ErrorHookFn ErrorHook = nullptr;
TrapHookFn TrapHook = nullptr;
ReportHookFn ReportHook = nullptr;

void SetRuntimeErrorExit(RuntimeErrorExitFn exit) { runtimeErrorExit = exit; }

void RaiseRuntimeError(std::uint8_t kind, const void* address) {
  kind &= 0x7F;
  if (ErrorHook != nullptr) {
    ErrorHook(kind, address);
  } else if (runtimeErrorExit != nullptr) {
    runtimeErrorExit(kind == KindIoError ? PendingIoCode : RuntimeErrorNumber(kind), address);
  }
  // Neither path may return; without an end of run installed there is no
  // runtime to end in order.
  std::abort();
}

}  // namespace traverse
