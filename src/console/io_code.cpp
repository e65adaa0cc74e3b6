#include "console/io_code.hpp"

#include <cstring>

namespace traverse {
namespace {

struct IoEntry {
  std::int32_t code;
  const char* message;
};

constexpr IoEntry ioTable[] = {
    {2, "File not found"},
    {3, "Invalid filename"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {IoReadBeyondEnd, "Read beyond end of file"},
    {101, "Disk full"},
    {IoInvalidNumber, "Invalid numeric input"},
};

}  // namespace

std::size_t IoMessage(std::int32_t code, char* text) {
  for (const IoEntry& entry : ioTable) {
    if (entry.code == code) {
      std::size_t length = std::strlen(entry.message);
      std::memcpy(text, entry.message, length);
      return length;
    }
  }
  // "I/O error %d", the code in signed decimal.
  constexpr char prefix[] = "I/O error ";
  std::size_t length = sizeof prefix - 1;
  std::memcpy(text, prefix, length);
  char digits[11];
  std::size_t count = 0;
  std::uint32_t magnitude = code < 0 ? 0u - static_cast<std::uint32_t>(code)
                                     : static_cast<std::uint32_t>(code);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (code < 0) text[length++] = '-';
  while (count > 0) text[length++] = digits[--count];
  return length;
}

void CheckIO() {
  if (PendingIoCode == 0) return;
  RaiseRuntimeError(KindIoError, TRAVERSE_CALLER_ADDRESS());
}

EInOutError* CreateIoFailure() {
  std::int32_t code = PendingIoCode;
  PendingIoCode = 0;
  char message[32];
  std::size_t length = IoMessage(code, message);
  return new EInOutError(std::string_view(message, length), code);
}

void RaiseKindFailure(std::uint8_t kind, const void* address) {
  TObject* failure = nullptr;
  if (kind == KindOutOfMemory) {
    failure = OutOfMemoryFailure;
  } else if (kind == KindInvalidPointer) {
    failure = InvalidPointerFailure;
  } else if (kind >= 3 && kind <= 24) {
    failure = NewKindFailure(kind);
    // Kinds of language features this program does not use have no class here.
    if (failure == nullptr) failure = new Exception("Runtime error");
  }
  if (failure == nullptr) failure = CreateIoFailure();
  RaiseFailure(failure, address);
}

}  // namespace traverse
