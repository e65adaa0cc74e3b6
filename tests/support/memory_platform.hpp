// An in-memory platform for tests: scripted reads of chosen sizes, writes that
// fail or take fewer bytes, handles that cannot be had, and an exit that
// throws instead of ending the test program.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace traverse::testing {

// One scripted read: the bytes it delivers (at most what is asked; the rest
// stays for the next read), or the error code it fails with.
struct ReadStep {
  std::string data;
  std::int32_t code = 0;
};

// One scripted write: accepts at most `limit` bytes (0: everything offered),
// or fails with `code`.
struct WriteStep {
  std::uint32_t limit = 0;
  std::int32_t code = 0;
};

// Thrown by ExitProcess so that a test can look at how the run ended.
struct ProcessExit {
  int code;
};

class MemoryPlatform final : public platform::Platform {
 public:
  // Standard input: scripted reads, then end of data.
  std::deque<ReadStep> reads;
  bool inputAvailable = true;
  std::int32_t inputMissingCode = 9;
  std::size_t readCount = 0;

  // Standard output and error.
  bool outputAvailable = true;
  platform::FileType outputType = platform::FileType::Pipe;
  std::deque<WriteStep> writeSteps;  // consumed one per write to standard output
  std::vector<std::string> writes;   // what each write to standard output took
  std::string output;                // everything standard output took
  std::string error;                 // everything standard error took
  std::string transcript;            // both of them, in the order written
  bool outputClosed = false;

  // The module every address lies in (none when `addressesInModule` is
  // false); the program's own file has the same name.
  std::string moduleName = "traverse.exe";
  std::uintptr_t moduleBase = 0;
  bool addressesInModule = true;

  // Feeds `bytes` as standard input, `chunk` bytes per read at most (0: as
  // many as asked).
  void SetInput(const std::string& bytes, std::size_t chunk = 0);

  platform::Handle GetStdHandle(platform::StdHandle which, std::int32_t& code) override;
  platform::Transfer Read(platform::Handle handle, void* buffer, std::uint32_t size) override;
  platform::Transfer Write(platform::Handle handle, const void* data, std::uint32_t size) override;
  platform::FileType GetFileType(platform::Handle handle) override;
  void CloseHandle(platform::Handle handle) override;
  bool ModuleOf(const void* address, platform::ModuleInfo& module) override;
  void ProgramFileName(platform::ModuleInfo& module) override;
  void ToConsoleCodePage(char*, std::size_t) override {}
  [[noreturn]] void ExitProcess(int code) override;
};

// Puts a fresh MemoryPlatform in place for one test, with both channels
// closed, nothing pending and failures raised as C++ exceptions
// (RaisedFailure); restores the real platform afterwards.
class PlatformScope {
 public:
  PlatformScope();
  ~PlatformScope();
  PlatformScope(const PlatformScope&) = delete;
  PlatformScope& operator=(const PlatformScope&) = delete;
  MemoryPlatform& operator*() { return platform_; }
  MemoryPlatform* operator->() { return &platform_; }

 private:
  MemoryPlatform platform_;
  platform::Platform* previous_;
};

}  // namespace traverse::testing
