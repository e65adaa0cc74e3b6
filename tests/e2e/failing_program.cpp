// A test-only program: the real start-up and end of a run around a dialogue
// that writes some lines and then fails the way its first input line asks:
// "<mode> <lines>", for example "zerodivide 20".
#include <cstdint>
#include <stdexcept>
#include <string>

#include "console/io_code.hpp"
#include "console/text_output.hpp"
#include "termination/failure_hooks.hpp"
#include "failure/failures.hpp"
#include "failure/float_checks.hpp"
#include "termination/start_run.hpp"
#include "platform/platform.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace traverse {
namespace {

// The first line of standard input, read straight from the handle.
std::string FirstLine() {
  platform::Platform& system = platform::Current();
  std::int32_t code = 0;
  platform::Handle input = system.GetStdHandle(platform::StdHandle::Input, code);
  std::string line;
  char byte = 0;
  while (input != platform::InvalidHandle && system.Read(input, &byte, 1).bytes == 1 &&
         byte != '\n')
    if (byte != '\r') line += byte;
  return line;
}

// "Point k written" and CR LF for k = 1 to `count`, each a statement.
void WriteLines(int count) {
  for (int k = 1; k <= count; ++k) {
    WriteText(OutputChannel, "Point " + std::to_string(k) + " written");
    WriteLineEnd(OutputChannel);
    CheckIO();
  }
}

volatile int integerZero = 0;
volatile int integerSeven = 7;  // 1 / x compiles to no division at all
volatile double realZero = 0;
int* volatile nowhere = nullptr;
volatile bool deepEnough = false;

// Recurses until the stack runs out; the volatile frame keeps the calls real.
[[gnu::noinline]] int Descend(int depth) {
  volatile char frame[512];
  frame[depth % 512] = static_cast<char>(depth);
  if (deepEnough) return frame[0];
  return Descend(depth + 1) + frame[0];
}

// The faults themselves, out of the sanitizers' sight so that the hardware
// meets them.
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void WriteNowhere() {
  *nowhere = 1;
}
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void DivideByZero() {
  integerZero = integerSeven / integerZero;
}

#if defined(_WIN32)
// An access violation (a write of address 0x10) raised by the system's own
// call rather than by the processor.
[[gnu::noinline]] void RaiseAccessViolation() {
  const ULONG_PTR parameters[2] = {1, 0x10};
  RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 2, parameters);
}
#endif

[[gnu::noinline]] void Throw() {
  throw std::runtime_error("thrown through noexcept");
}
[[gnu::noinline]] void CallNoexcept() noexcept {
  Throw();
}

void Dialogue() {
  std::string line = FirstLine();
  std::size_t space = line.find(' ');
  std::string mode = line.substr(0, space);
  WriteLines(space == std::string::npos ? 0 : std::stoi(line.substr(space + 1)));

  if (mode == "ok") return;
  if (mode == "io") PendingIoCode = IoInvalidNumber;
  CheckIO();
  if (mode == "zerodivide") StoreReal(Quotient(1, realZero));
  if (mode == "invalidop") StoreReal(Quotient(realZero, realZero));
  if (mode == "overflow") StoreReal(Extended(1e300) * 1e300);
  if (mode == "outofmemory") throw std::bad_alloc();
  if (mode == "standard") throw std::runtime_error("table full");
  if (mode == "foreign") throw 42;
  if (mode == "noexcept") CallNoexcept();
  if (mode == "segv") WriteNowhere();
  if (mode == "intdiv") DivideByZero();
  if (mode == "stack") integerZero = Descend(0);
#if defined(_WIN32)
  if (mode == "raise") RaiseAccessViolation();
#endif
  if (mode == "unhooked") {
    RemoveFailureHooks();
    StoreReal(Quotient(1, realZero));
  }
  throw std::runtime_error("unknown mode " + mode);
}

}  // namespace
}  // namespace traverse

int main() {
  traverse::RunProgram(traverse::Dialogue);
}
