// The replaced global allocation functions count and pass on to malloc. They
// live in the object that defines AllocationCount, so a test program gets
// them exactly when one of its tests asks for the count.
#include "support/allocation_counter.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "console/io_code.hpp"
#include "console/text_channel.hpp"

namespace {

std::atomic<std::size_t> allocations{0};

void* CountedAllocation(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  // malloc(0) may return null; operator new must not.
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return CountedAllocation(size);
}
void* operator new[](std::size_t size) {
  return CountedAllocation(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

namespace traverse::testing {

using platform::FileType;
using platform::Handle;
using platform::StdHandle;
using platform::Transfer;

std::size_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

Handle QuietPlatform::GetStdHandle(StdHandle which, std::int32_t& code) {
  code = 0;
  switch (which) {
    case StdHandle::Input:
      return 0;
    case StdHandle::Output:
      return 1;
    case StdHandle::Error:
      return 2;
  }
  return platform::InvalidHandle;
}

Transfer QuietPlatform::Read(Handle, void* buffer, std::uint32_t size) {
  const std::size_t taken = std::min<std::size_t>({size, chunk_, input_.size()});
  std::memcpy(buffer, input_.data(), taken);
  input_.remove_prefix(taken);
  return {static_cast<std::uint32_t>(taken), 0};
}

Transfer QuietPlatform::Write(Handle, const void*, std::uint32_t size) {
  bytesWritten += size;
  return {size, 0};
}

FileType QuietPlatform::GetFileType(Handle handle) {
  return handle == 1 ? outputType_ : FileType::Char;
}

void QuietPlatform::ExitProcess(int code) {
  std::_Exit(code);
}

QuietScope::QuietScope(QuietPlatform& system) : previous_(platform::Replace(&system)) {
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  PendingIoCode = 0;
}

QuietScope::~QuietScope() {
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  PendingIoCode = 0;
  platform::Replace(previous_);
}

}  // namespace traverse::testing
