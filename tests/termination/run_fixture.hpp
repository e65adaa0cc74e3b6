// A run over the in-memory platform with the failure hooks installed, and the
// way to watch it end: ExitProcess throws testing::ProcessExit.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "termination/failure_hooks.hpp"
#include "failure/failures.hpp"
#include "termination/run_end.hpp"
#include "support/memory_platform.hpp"

namespace traverse::testing {

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ExitStatus = 0;
    RuntimeErrorAddress = nullptr;
    ReportedFailure = {nullptr, nullptr};
    SetRuntimeErrorExit(RuntimeErrorExit);
    InstallFailureHooks();
  }

  void TearDown() override { RemoveFailureHooks(); }

  // The exit code with which `body` ends the run; nullopt when it returns.
  static std::optional<int> ExitCodeOf(const std::function<void()>& body) {
    try {
      body();
    } catch (const ProcessExit& exit) {
      return exit.code;
    }
    return std::nullopt;
  }

  // A code address inside the module of the in-memory platform.
  static const void* At(std::uintptr_t offset) { return reinterpret_cast<const void*>(offset); }

  PlatformScope scope;
};

}  // namespace traverse::testing
