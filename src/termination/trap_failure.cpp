#include "termination/trap_failure.hpp"

#include <new>
#include <string_view>

#include "platform/platform.hpp"
#include "termination/bounded_text.hpp"

namespace traverse {
namespace {

struct TrapEntry {
  std::uint32_t code;
  std::uint8_t kind;
  std::int32_t number;
};

constexpr TrapEntry trapTable[] = {
    {TrapFloatDivideByZero, KindZeroDivide, 200},
    {TrapFloatInvalid, KindInvalidOp, 207},
    {TrapFloatStackCheck, KindInvalidOp, 207},
    {TrapFloatInexact, KindInvalidOp, 207},
    {TrapFloatOverflow, KindOverflow, 205},
    {TrapFloatUnderflow, KindUnderflow, 206},
    {TrapFloatDenormal, KindUnderflow, 206},
    {TrapIntDivideByZero, KindDivByZero, 200},
    {TrapIntOverflow, KindIntOverflow, 215},
    {TrapArrayBounds, KindRangeError, 201},
    {TrapAccessViolation, KindAccessViolation, 216},
    {TrapPrivilegedInstruction, KindPrivilege, 218},
    {TrapStackOverflow, KindStackOverflow, 202},
    {TrapControlC, KindControlC, 217},
};

constexpr std::int32_t unknownTrapNumber = 255;

const TrapEntry* FindTrap(std::uint32_t code) {
  for (const TrapEntry& entry : trapTable)
    if (entry.code == code) return &entry;
  return nullptr;
}

// Every class FailureFromTrap makes adds nothing to EExternal, so one size
// and alignment fit them all.
static_assert(sizeof(EAccessViolation) == TrapFailureSize &&
              sizeof(EExternalException) == TrapFailureSize &&
              sizeof(EStackOverflow) == TrapFailureSize && sizeof(EDivByZero) == TrapFailureSize);

// A new T with `message`, on the heap or in `storage`.
template <typename T>
T* Make(void* storage, std::string_view message) {
  return storage != nullptr ? new (storage) T(message) : new T(message);
}

// The failure of a trap kind 3 to 9 or 12 to 14, with the kind's message.
EExternal* MakeKindFailure(std::uint8_t kind, void* storage) {
  std::string_view message = KindMessage(kind);
  switch (kind) {
    case KindDivByZero:
      return Make<EDivByZero>(storage, message);
    case KindRangeError:
      return Make<ERangeError>(storage, message);
    case KindIntOverflow:
      return Make<EIntOverflow>(storage, message);
    case KindInvalidOp:
      return Make<EInvalidOp>(storage, message);
    case KindZeroDivide:
      return Make<EZeroDivide>(storage, message);
    case KindOverflow:
      return Make<EOverflow>(storage, message);
    case KindUnderflow:
      return Make<EUnderflow>(storage, message);
    case KindPrivilege:
      return Make<EPrivilege>(storage, message);
    case KindControlC:
      return Make<EControlC>(storage, message);
    case KindStackOverflow:
      return Make<EStackOverflow>(storage, message);
    default:
      return nullptr;
  }
}

// "Access violation at address %p in module '%s'. %s of address %p", or
// without the module part when the fault address lies in none.
EExternal* MakeAccessViolation(const TrapRecord& record, void* storage) {
  char message[Exception::MessageCapacity];
  BoundedText text(message, sizeof message);
  text.Append("Access violation at address ");
  text.AppendHex(reinterpret_cast<std::uintptr_t>(record.address), 8);
  platform::ModuleInfo module;
  if (record.address != nullptr && platform::Current().ModuleOf(record.address, module)) {
    text.Append(" in module '");
    text.Append(module.fileName);
    text.Append('\'');
  }
  text.Append(record.parameters[0] == 0 ? ". Read of address " : ". Write of address ");
  text.AppendHex(record.parameters[1], 8);
  return Make<EAccessViolation>(storage, text.Text());
}

// "External exception %x": the code in upper-case hexadecimal, no padding.
EExternal* MakeExternalException(const TrapRecord& record, void* storage) {
  char message[48];
  BoundedText text(message, sizeof message);
  text.Append("External exception ");
  text.AppendHex(record.code, 1);
  return Make<EExternalException>(storage, text.Text());
}

}  // namespace

std::uint8_t TrapKind(std::uint32_t code) {
  const TrapEntry* entry = FindTrap(code);
  return entry != nullptr ? entry->kind : std::uint8_t{KindExternalException};
}

std::int32_t TrapRuntimeErrorNumber(std::uint32_t code) {
  const TrapEntry* entry = FindTrap(code);
  return entry != nullptr ? entry->number : unknownTrapNumber;
}

TObject* FailureFromTrapAt(const TrapRecord& record, void* storage) {
  std::uint8_t kind = TrapKind(record.code);
  EExternal* failure = nullptr;
  if (kind == KindAccessViolation) {
    failure = MakeAccessViolation(record, storage);
  } else {
    failure = MakeKindFailure(kind, storage);
    if (failure == nullptr) failure = MakeExternalException(record, storage);
  }
  failure->Record = record;
  return failure;
}

TObject* FailureFromTrap(const TrapRecord& record) {
  return FailureFromTrapAt(record, nullptr);
}

}  // namespace traverse
