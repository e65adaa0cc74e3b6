// Whether the tests run under CPU emulation: 32-bit Windows programs under
// wine on a Linux kernel that runs no 32-bit code itself go through qemu. The
// test runner then sets TRAVERSE_CPU_EMULATED to 1. The emulator computes the
// x87 sine and cosine in double precision only, and hands wine no trap number
// for a processor fault, so the tests that need either are skipped there.
#pragma once

#include <cstdlib>
#include <string_view>

namespace traverse::testing {

inline bool UnderCpuEmulation() {
  const char* emulated = std::getenv("TRAVERSE_CPU_EMULATED");
  return emulated != nullptr && std::string_view(emulated) == "1";
}

// The reason given for a test skipped under CPU emulation.
inline constexpr const char* EmulatedX87Reason =
    "the CPU emulator computes the x87 sine and cosine in double precision";
inline constexpr const char* EmulatedFaultReason =
    "the CPU emulator does not tell which fault the processor raised";

}  // namespace traverse::testing
