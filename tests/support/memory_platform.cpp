#include "support/memory_platform.hpp"

#include <algorithm>
#include <cstring>

#include "console/io_code.hpp"
#include "console/text_channel.hpp"
#include "failure/failures.hpp"

namespace traverse::testing {

using platform::FileType;
using platform::Handle;
using platform::StdHandle;
using platform::Transfer;

void MemoryPlatform::SetInput(const std::string& bytes, std::size_t chunk) {
  if (chunk == 0) chunk = bytes.size();
  for (std::size_t at = 0; at < bytes.size(); at += chunk) reads.push_back({bytes.substr(at, chunk)});
}

Handle MemoryPlatform::GetStdHandle(StdHandle which, std::int32_t& code) {
  code = 0;
  switch (which) {
    case StdHandle::Input:
      if (inputAvailable) return 0;
      code = inputMissingCode;
      return platform::InvalidHandle;
    case StdHandle::Output:
      if (outputAvailable && !outputClosed) return 1;
      code = 9;
      return platform::InvalidHandle;
    case StdHandle::Error:
      return 2;
  }
  return platform::InvalidHandle;
}

Transfer MemoryPlatform::Read(Handle, void* buffer, std::uint32_t size) {
  ++readCount;
  if (reads.empty()) return {0, 0};
  ReadStep& step = reads.front();
  if (step.code != 0) {
    std::int32_t code = step.code;
    reads.pop_front();
    return {0, code};
  }
  std::size_t taken = std::min<std::size_t>(size, step.data.size());
  std::memcpy(buffer, step.data.data(), taken);
  step.data.erase(0, taken);
  if (step.data.empty()) reads.pop_front();
  return {static_cast<std::uint32_t>(taken), 0};
}

Transfer MemoryPlatform::Write(Handle handle, const void* data, std::uint32_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (handle == 2) {
    error.append(bytes, size);
    transcript.append(bytes, size);
    return {size, 0};
  }
  std::uint32_t taken = size;
  if (!writeSteps.empty()) {
    WriteStep step = writeSteps.front();
    writeSteps.pop_front();
    if (step.code != 0) return {0, step.code};
    if (step.limit != 0) taken = std::min(taken, step.limit);
  }
  writes.emplace_back(bytes, taken);
  output.append(bytes, taken);
  transcript.append(bytes, taken);
  return {taken, 0};
}

FileType MemoryPlatform::GetFileType(Handle handle) {
  return handle == 1 ? outputType : FileType::Char;
}

void MemoryPlatform::CloseHandle(Handle handle) {
  if (handle == 1) outputClosed = true;
}

bool MemoryPlatform::ModuleOf(const void*, platform::ModuleInfo& module) {
  if (!addressesInModule) return false;
  std::size_t length = std::min(moduleName.size(), sizeof module.fileName - 1);
  std::memcpy(module.fileName, moduleName.data(), length);
  module.fileName[length] = '\0';
  module.base = moduleBase;
  return true;
}

void MemoryPlatform::ProgramFileName(platform::ModuleInfo& module) {
  std::size_t length = std::min(moduleName.size(), sizeof module.fileName - 1);
  std::memcpy(module.fileName, moduleName.data(), length);
  module.fileName[length] = '\0';
}

void MemoryPlatform::ExitProcess(int code) { throw ProcessExit{code}; }

PlatformScope::PlatformScope() : previous_(platform::Replace(&platform_)) {
  ErrorHook = RaiseKindFailure;
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  PendingIoCode = 0;
}

PlatformScope::~PlatformScope() {
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  PendingIoCode = 0;
  ErrorHook = nullptr;
  platform::Replace(previous_);
}

}  // namespace traverse::testing
