// Counts every allocation the test program makes through operator new, so a
// test can tell how many an operation made; and a platform that allocates
// nothing of its own, so that the count is the runtime's alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.hpp"

namespace traverse::testing {

// Allocations through any form of operator new since the program started.
std::size_t AllocationCount();

// Standard input from bytes the caller keeps alive, in reads of at most
// `chunk` bytes; standard output counted and dropped. Nothing allocates.
class QuietPlatform final : public platform::Platform {
 public:
  QuietPlatform(std::string_view input, std::uint32_t chunk, platform::FileType outputType)
      : input_(input), chunk_(chunk), outputType_(outputType) {}

  std::size_t bytesWritten = 0;

  platform::Handle GetStdHandle(platform::StdHandle which, std::int32_t& code) override;
  platform::Transfer Read(platform::Handle handle, void* buffer, std::uint32_t size) override;
  platform::Transfer Write(platform::Handle handle, const void* data, std::uint32_t size) override;
  platform::FileType GetFileType(platform::Handle handle) override;
  void CloseHandle(platform::Handle) override {}
  bool ModuleOf(const void*, platform::ModuleInfo&) override { return false; }
  void ProgramFileName(platform::ModuleInfo&) override {}
  void ToConsoleCodePage(char*, std::size_t) override {}
  [[noreturn]] void ExitProcess(int code) override;

 private:
  std::string_view input_;
  std::uint32_t chunk_;
  platform::FileType outputType_;
};

// Puts a QuietPlatform in place with both channels closed and nothing
// pending; restores the previous platform afterwards.
class QuietScope {
 public:
  explicit QuietScope(QuietPlatform& system);
  ~QuietScope();
  QuietScope(const QuietScope&) = delete;
  QuietScope& operator=(const QuietScope&) = delete;

 private:
  platform::Platform* previous_;
};

}  // namespace traverse::testing
