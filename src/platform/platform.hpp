// The operating system, thinly: standard handles, reads, writes, file types,
// module lookup and process exit. The console runtime reaches the system only
// through `Platform`, so tests can put an in-memory platform in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace traverse::platform {

// A system handle: a file descriptor on Linux, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle InvalidHandle = -1;

enum class StdHandle { Input, Output, Error };

enum class FileType { Unknown, Char, Disk, Pipe };

// Outcome of one system read or write: `code` is 0 on success, else the
// system's own error code (errno, GetLastError) passed on unchanged.
struct Transfer {
  std::uint32_t bytes = 0;
  std::int32_t code = 0;
};

// The code of a write that took nothing without reporting an error (an I/O
// error on Linux, a write fault on Windows).
#if defined(_WIN32)
inline constexpr std::int32_t NoProgressCode = 29;
#else
inline constexpr std::int32_t NoProgressCode = 5;
#endif

// Where a code address lies: the file name of the module that holds it
// (without directory) and the module's load address.
struct ModuleInfo {
  char fileName[261] = {};
  std::uintptr_t base = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The standard handle, or InvalidHandle with the system's code in `code`.
  virtual Handle GetStdHandle(StdHandle which, std::int32_t& code) = 0;

  // One read of up to `size` bytes. End of data is success with 0 bytes (a
  // pipe whose writer has gone counts as end of data); interrupted reads are
  // retried.
  virtual Transfer Read(Handle handle, void* buffer, std::uint32_t size) = 0;

  // One write of up to `size` bytes; it may take fewer. Interrupted writes are
  // retried. A reader that went away is an error code, never a signal.
  virtual Transfer Write(Handle handle, const void* data, std::uint32_t size) = 0;

  virtual FileType GetFileType(Handle handle) = 0;
  virtual void CloseHandle(Handle handle) = 0;

  // The module that holds `address`; false when it lies in no module.
  virtual bool ModuleOf(const void* address, ModuleInfo& module) = 0;

  // The program's own file name, without directory.
  virtual void ProgramFileName(ModuleInfo& module) = 0;

  // Converts report text in place to the console's code page (no-op where the
  // console takes the bytes as they are).
  virtual void ToConsoleCodePage(char* text, std::size_t length) = 0;

  [[noreturn]] virtual void ExitProcess(int code) = 0;
};

// The platform in use: the real one unless a test has put another in place.
Platform& Current();

// Puts `replacement` in place (nullptr restores the real platform); returns the
// one that was in place.
Platform* Replace(Platform* replacement);

// The real platform of this build.
Platform& System();

// Asks the system to back [start, start + size) with small pages only, so that
// a large static table costs memory only for the pages written to (a system
// that hands out huge pages on first touch would otherwise commit megabytes).
void KeepMemorySparse(void* start, std::size_t size);

// Text written piece by piece: the writer hands each piece to its argument.
using TextWriter = std::function<void(const std::function<void(std::string_view)>&)>;

// Creates the file `path`, which must not exist yet, writes every byte that
// `text` writes to it and forces them to the disk before closing it; false
// when any step failed (and the file is then removed again).
bool WriteNewFileDurably(const std::string& path, const TextWriter& text);

// A number that no other process running now has: the process id.
unsigned long ProcessNumber();

// Which file a name leads to, through links: the device and inode on Linux,
// the volume's serial number and the file index on Windows. Two names of one
// file (a hard link, a symbolic link, ./x) have the same identity.
struct FileIdentity {
  std::uint64_t device = 0, index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`, or of standard input where `path` is
// empty; false where it is no file of data (none, a device, a pipe, a
// console) or cannot be examined.
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// Ignores the signals that would end the process behind the runtime's back
// (a write to a pipe whose reader has gone).
void PrepareProcess();

}  // namespace traverse::platform
