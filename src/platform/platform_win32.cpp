// The platform layer on Windows: the standard handles and the Win32 calls the
// program's home platform provides.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform.hpp"

namespace traverse::platform {
namespace {

// Module paths are taken up to MAX_PATH (260) characters; a longer one is cut.
constexpr DWORD modulePathCapacity = MAX_PATH;

DWORD StdHandleId(StdHandle which) {
  switch (which) {
    case StdHandle::Input:
      return STD_INPUT_HANDLE;
    case StdHandle::Output:
      return STD_OUTPUT_HANDLE;
    case StdHandle::Error:
      return STD_ERROR_HANDLE;
  }
  return STD_ERROR_HANDLE;
}

HANDLE ToWin32(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The system's code for the call that just failed, as the signed value the
// console runtime keeps.
std::int32_t LastErrorCode() {
  return static_cast<std::int32_t>(::GetLastError());
}

// Copies the part of `path` after its last backslash into `module.fileName`.
void SetFileName(ModuleInfo& module, const char* path) {
  const char* backslash = std::strrchr(path, '\\');
  const char* name = backslash != nullptr ? backslash + 1 : path;
  std::size_t length = std::strlen(name);
  if (length >= sizeof module.fileName) length = sizeof module.fileName - 1;
  std::memcpy(module.fileName, name, length);
  module.fileName[length] = '\0';
}

// The file name of `module` (nullptr: the program's own image) into `path`
// (modulePathCapacity + 1 bytes); false when the system has none.
bool ModuleFileName(HMODULE module, char* path) {
  DWORD length = ::GetModuleFileNameA(module, path, modulePathCapacity);
  // A path longer than the buffer comes back cut and, before Vista, without
  // its terminating zero: end it ourselves.
  path[length < modulePathCapacity ? length : modulePathCapacity] = '\0';
  return length != 0;
}

class Win32Platform final : public Platform {
 public:
  Handle GetStdHandle(StdHandle which, std::int32_t& code) override {
    HANDLE handle = ::GetStdHandle(StdHandleId(which));
    if (handle == INVALID_HANDLE_VALUE) {
      code = LastErrorCode();
      return InvalidHandle;
    }
    // A process started without the handle has a null one: no handle at all,
    // as a closed descriptor is on Linux, rather than one whose every read
    // and write fails.
    if (handle == nullptr) {
      code = ERROR_INVALID_HANDLE;
      return InvalidHandle;
    }
    code = 0;
    return reinterpret_cast<Handle>(handle);
  }

  Transfer Read(Handle handle, void* buffer, std::uint32_t size) override {
    DWORD got = 0;
    if (::ReadFile(ToWin32(handle), buffer, size, &got, nullptr) != FALSE) return {got, 0};
    DWORD error = ::GetLastError();
    // The writer of a pipe has closed its end: that is the end of the data.
    if (error == ERROR_BROKEN_PIPE) return {0, 0};
    return {0, static_cast<std::int32_t>(error)};
  }

  Transfer Write(Handle handle, const void* data, std::uint32_t size) override {
    DWORD put = 0;
    if (::WriteFile(ToWin32(handle), data, size, &put, nullptr) == FALSE)
      return {0, LastErrorCode()};
    // A write that succeeds but takes nothing would have the caller offer the
    // same bytes for ever.
    if (put == 0 && size != 0) return {0, NoProgressCode};
    return {put, 0};
  }

  FileType GetFileType(Handle handle) override {
    switch (::GetFileType(ToWin32(handle))) {
      case FILE_TYPE_CHAR:
        return FileType::Char;
      case FILE_TYPE_DISK:
        return FileType::Disk;
      case FILE_TYPE_PIPE:
        return FileType::Pipe;
      default:
        return FileType::Unknown;
    }
  }

  void CloseHandle(Handle handle) override { ::CloseHandle(ToWin32(handle)); }

  bool ModuleOf(const void* address, ModuleInfo& module) override {
    MEMORY_BASIC_INFORMATION region{};
    if (address == nullptr || ::VirtualQuery(address, &region, sizeof region) == 0) return false;
    if (region.State != MEM_COMMIT || region.AllocationBase == nullptr) return false;
    char path[modulePathCapacity + 1];
    // Only an image has a file name for its allocation base.
    if (!ModuleFileName(static_cast<HMODULE>(region.AllocationBase), path)) return false;
    SetFileName(module, path);
    module.base = reinterpret_cast<std::uintptr_t>(region.AllocationBase);
    return true;
  }

  void ProgramFileName(ModuleInfo& module) override {
    char path[modulePathCapacity + 1];
    if (!ModuleFileName(nullptr, path)) path[0] = '\0';
    SetFileName(module, path);
  }

  void ToConsoleCodePage(char* text, std::size_t length) override {
    // The buffer form of CharToOemA: the same conversion, in place, bounded by
    // the length instead of a terminating zero. Report texts are short.
    ::CharToOemBuffA(text, text, static_cast<DWORD>(length));
  }

  [[noreturn]] void ExitProcess(int code) override { ::ExitProcess(static_cast<UINT>(code)); }
};

Win32Platform realPlatform;
Platform* current = &realPlatform;

}  // namespace

Platform& Current() {
  return *current;
}

Platform* Replace(Platform* replacement) {
  Platform* previous = current;
  current = replacement != nullptr ? replacement : &realPlatform;
  return previous;
}

Platform& System() {
  return realPlatform;
}

void KeepMemorySparse(void*, std::size_t) {
  // Static data is committed page by page on first touch; nothing to ask for.
}

void PrepareProcess() {
  // A console program: faults and missing media are reported on the standard
  // handles or end the process, never as a dialog box that waits for a click.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

bool WriteNewFileDurably(const std::string& path, const TextWriter& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  try {
    text([&](std::string_view piece) {
      while (written && !piece.empty()) {
        DWORD done = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 20));
        written = WriteFile(file, piece.data(), size, &done, nullptr) && done > 0;
        if (written) piece.remove_prefix(done);
      }
    });
  } catch (...) {  // the text failed: no file that looks complete is left
    ::CloseHandle(file);
    DeleteFileA(path.c_str());
    throw;
  }
  written = written && FlushFileBuffers(file);
  written = CloseHandle(file) && written;
  if (!written) DeleteFileA(path.c_str());
  return written;
}

unsigned long ProcessNumber() {
  return static_cast<unsigned long>(GetCurrentProcessId());
}

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
  // Opened for no access at all, so that a file another program holds open
  // can still be examined; a folder needs the backup flag to be opened.
  HANDLE file = path.empty() ? ::GetStdHandle(STD_INPUT_HANDLE)
                             : CreateFileA(path.c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                           nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileType(file) == FILE_TYPE_DISK &&
                     GetFileInformationByHandle(file, &information) != 0 &&
                     (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (!path.empty()) CloseHandle(file);
  if (!known) return false;
  identity = {information.dwVolumeSerialNumber,
              (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                  information.nFileIndexLow};
  return true;
}

}  // namespace traverse::platform
