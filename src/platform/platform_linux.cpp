// The platform layer on Linux: file descriptors 0, 1 and 2 and POSIX calls.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.hpp"

// The first byte of the program's image (its ELF header) and the end of its
// data, defined by the linker. Weak, so that a linker without them leaves
// them null.
extern "C" {
extern const char __ehdr_start[] __attribute__((weak, visibility("hidden")));
extern const char _end[] __attribute__((weak, visibility("hidden")));
}

namespace traverse::platform {
namespace {

int DescriptorOf(StdHandle which) {
  switch (which) {
    case StdHandle::Input:
      return STDIN_FILENO;
    case StdHandle::Output:
      return STDOUT_FILENO;
    case StdHandle::Error:
      return STDERR_FILENO;
  }
  return -1;
}

// Copies the part of `path` after its last slash into `module.fileName`.
void SetFileName(ModuleInfo& module, const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  std::size_t length = std::strlen(name);
  if (length >= sizeof module.fileName) length = sizeof module.fileName - 1;
  std::memcpy(module.fileName, name, length);
  module.fileName[length] = '\0';
}

// The load address of the program's own image: this layer is a static
// library, so the image that holds this anchor is the program.
const void* ProgramBase() {
  static const char anchor = 0;
  Dl_info info{};
  return dladdr(&anchor, &info) != 0 ? info.dli_fbase : nullptr;
}

// Whether `address` lies in the program's own image. A statically linked
// program has no link map, so dladdr finds no module for its own code; the
// linker's bounds of the image do.
bool InProgramImage(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  const auto first = reinterpret_cast<std::uintptr_t>(__ehdr_start);
  const auto end = reinterpret_cast<std::uintptr_t>(_end);
  return first != 0 && first <= at && at < end;
}

class LinuxPlatform final : public Platform {
 public:
  Handle GetStdHandle(StdHandle which, std::int32_t& code) override {
    int fd = DescriptorOf(which);
    if (fcntl(fd, F_GETFD) == -1) {
      code = errno;
      return InvalidHandle;
    }
    code = 0;
    return fd;
  }

  Transfer Read(Handle handle, void* buffer, std::uint32_t size) override {
    for (;;) {
      ssize_t got = read(static_cast<int>(handle), buffer, size);
      if (got >= 0) return {static_cast<std::uint32_t>(got), 0};
      if (errno != EINTR) return {0, errno};
    }
  }

  Transfer Write(Handle handle, const void* data, std::uint32_t size) override {
    for (;;) {
      ssize_t put = write(static_cast<int>(handle), data, size);
      if (put >= 0) return {static_cast<std::uint32_t>(put), 0};
      if (errno != EINTR) return {0, errno};
    }
  }

  FileType GetFileType(Handle handle) override {
    struct stat status {};
    if (fstat(static_cast<int>(handle), &status) != 0) return FileType::Unknown;
    if (S_ISCHR(status.st_mode)) return FileType::Char;
    if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode) || S_ISDIR(status.st_mode))
      return FileType::Disk;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FileType::Pipe;
    return FileType::Unknown;
  }

  void CloseHandle(Handle handle) override { close(static_cast<int>(handle)); }

  bool ModuleOf(const void* address, ModuleInfo& module) override {
    Dl_info info{};
    if (address == nullptr) return false;
    if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr) {
      if (!InProgramImage(address)) return false;
      module.base = reinterpret_cast<std::uintptr_t>(__ehdr_start);
      ProgramFileName(module);
      return true;
    }
    module.base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    // The link map names the program itself by argv[0], which whoever started
    // it chose freely; its file name is asked of the system instead.
    if (info.dli_fbase == ProgramBase() || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
      ProgramFileName(module);
    } else {
      SetFileName(module, info.dli_fname);
    }
    return true;
  }

  void ProgramFileName(ModuleInfo& module) override {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0) length = 0;
    path[length] = '\0';
    SetFileName(module, path);
  }

  void ToConsoleCodePage(char*, std::size_t) override {}

  [[noreturn]] void ExitProcess(int code) override { _exit(code); }
};

LinuxPlatform realPlatform;
Platform* current = &realPlatform;

}  // namespace

Platform& Current() { return *current; }

Platform* Replace(Platform* replacement) {
  Platform* previous = current;
  current = replacement != nullptr ? replacement : &realPlatform;
  return previous;
}

Platform& System() { return realPlatform; }

void KeepMemorySparse(void* start, std::size_t size) {
  const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t alignedFirst = (first + pageSize - 1) & ~(pageSize - 1);
  const std::uintptr_t alignedLast = (first + size) & ~(pageSize - 1);
  if (alignedLast <= alignedFirst) return;
  // Advice only: a kernel without transparent huge pages refuses it, harmlessly.
  madvise(reinterpret_cast<void*>(alignedFirst), alignedLast - alignedFirst, MADV_NOHUGEPAGE);
}

bool WriteNewFileDurably(const std::string& path, const TextWriter& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = true;
  try {
    text([&](std::string_view piece) {
      while (written && !piece.empty()) {
        const ssize_t done = write(fd, piece.data(), piece.size());
        if (done < 0 && errno == EINTR) continue;
        written = done > 0;
        if (written) piece.remove_prefix(static_cast<std::size_t>(done));
      }
    });
  } catch (...) {  // the text failed: no file that looks complete is left
    close(fd);
    unlink(path.c_str());
    throw;
  }
  written = written && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (!written) unlink(path.c_str());
  return written;
}

unsigned long ProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
  struct stat status {};
  if ((path.empty() ? fstat(STDIN_FILENO, &status) : stat(path.c_str(), &status)) != 0 ||
      !S_ISREG(status.st_mode))
    return false;
  identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  return true;
}

void PrepareProcess() { signal(SIGPIPE, SIG_IGN); }

}  // namespace traverse::platform
