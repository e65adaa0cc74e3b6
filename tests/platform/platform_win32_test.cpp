// The Windows platform layer against the real system: pipes, files and
// devices, the codes it passes on, and where an address lies.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.hpp"

namespace traverse::platform {
namespace {

Handle ToHandle(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}

// An anonymous pipe whose ends close with the test.
struct Pipe {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  Pipe() { EXPECT_NE(CreatePipe(&reader, &writer, nullptr, 0), FALSE); }
  ~Pipe() {
    CloseReader();
    CloseWriter();
  }
  void CloseReader() {
    if (reader != nullptr) ::CloseHandle(reader);
    reader = nullptr;
  }
  void CloseWriter() {
    if (writer != nullptr) ::CloseHandle(writer);
    writer = nullptr;
  }
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The file name of the running program, without directory, as the system has it.
std::string OwnFileName() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const char* backslash = std::strrchr(path, '\\');
  return backslash != nullptr ? backslash + 1 : path;
}

// A process started without a standard handle has a null one, which counts as
// none: the channel stays closed, as for a closed descriptor on Linux.
TEST(Win32Platform, NullStandardHandleIsNoHandle) {
  HANDLE saved = ::GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_NE(SetStdHandle(STD_INPUT_HANDLE, nullptr), FALSE);
  std::int32_t code = 0;
  Handle missing = System().GetStdHandle(StdHandle::Input, code);
  SetStdHandle(STD_INPUT_HANDLE, saved);
  EXPECT_EQ(missing, InvalidHandle);
  EXPECT_EQ(code, ERROR_INVALID_HANDLE);

  Handle present = System().GetStdHandle(StdHandle::Input, code);
  EXPECT_EQ(present, ToHandle(saved));
  EXPECT_EQ(code, 0);
}

TEST(Win32Platform, ReadsAPipeToItsEndWhenTheWriterHasGone) {
  Platform& system = System();
  Pipe pipe;
  DWORD put = 0;
  ASSERT_NE(WriteFile(pipe.writer, "abc", 3, &put, nullptr), FALSE);
  pipe.CloseWriter();
  char buffer[128];
  Transfer first = system.Read(ToHandle(pipe.reader), buffer, sizeof buffer);
  EXPECT_EQ(first.code, 0);
  EXPECT_EQ(std::string(buffer, first.bytes), "abc");
  // ERROR_BROKEN_PIPE is the end of the data, not a failure.
  Transfer end = system.Read(ToHandle(pipe.reader), buffer, sizeof buffer);
  EXPECT_EQ(end.code, 0);
  EXPECT_EQ(end.bytes, 0u);
}

TEST(Win32Platform, PassesTheSystemCodesOnUnchanged) {
  Platform& system = System();
  char buffer[16];
  Transfer read = system.Read(ToHandle(nullptr), buffer, sizeof buffer);
  EXPECT_EQ(read.code, ERROR_INVALID_HANDLE);
  EXPECT_EQ(read.bytes, 0u);

  // A reader that has gone is an error code, not the end of the process.
  Pipe pipe;
  pipe.CloseReader();
  Transfer write = system.Write(ToHandle(pipe.writer), "x", 1);
  EXPECT_EQ(write.code, ERROR_NO_DATA);
  EXPECT_EQ(write.bytes, 0u);
}

TEST(Win32Platform, WritesAndReadsADiskFile) {
  Platform& system = System();
  char directory[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
  ASSERT_NE(GetTempFileNameA(directory, "trv", 0, path), 0u);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(system.GetFileType(ToHandle(file)), FileType::Disk);
  Transfer put = system.Write(ToHandle(file), "line\r\n", 6);
  EXPECT_EQ(put.code, 0);
  EXPECT_EQ(put.bytes, 6u);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char buffer[128];
  Transfer got = system.Read(ToHandle(file), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, got.bytes), "line\r\n");
  got = system.Read(ToHandle(file), buffer, sizeof buffer);
  EXPECT_EQ(got.code, 0);
  EXPECT_EQ(got.bytes, 0u);  // end of the file
  system.CloseHandle(ToHandle(file));
}

TEST(Win32Platform, TellsTheFileTypes) {
  Platform& system = System();
  Pipe pipe;
  EXPECT_EQ(system.GetFileType(ToHandle(pipe.reader)), FileType::Pipe);
  HANDLE device = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(system.GetFileType(ToHandle(device)), FileType::Char);
  ::CloseHandle(device);
  EXPECT_EQ(system.GetFileType(ToHandle(nullptr)), FileType::Unknown);
}

TEST(Win32Platform, FindsTheModuleOfACodeAddress) {
  Platform& system = System();
  ModuleInfo own;
  ASSERT_TRUE(system.ModuleOf(reinterpret_cast<const void*>(&OwnFileName), own));
  EXPECT_EQ(std::string(own.fileName), OwnFileName());
  EXPECT_EQ(own.base, reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)));

  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  ModuleInfo library;
  ASSERT_TRUE(system.ModuleOf(reinterpret_cast<const void*>(GetProcAddress(kernel, "GetStdHandle")),
                              library));
  EXPECT_EQ(Lower(library.fileName), "kernel32.dll");
  EXPECT_EQ(library.base, reinterpret_cast<std::uintptr_t>(kernel));
}

TEST(Win32Platform, AddressesOutsideEveryModuleHaveNone) {
  Platform& system = System();
  ModuleInfo module;
  EXPECT_FALSE(system.ModuleOf(nullptr, module));
  auto heap = std::make_unique<int>(7);
  EXPECT_FALSE(system.ModuleOf(heap.get(), module));
  int local = 0;
  EXPECT_FALSE(system.ModuleOf(&local, module));
  void* reserved = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(reserved, nullptr);
  EXPECT_FALSE(system.ModuleOf(reserved, module));  // not committed
  VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(Win32Platform, ProgramFileNameHasNoDirectory) {
  ModuleInfo module;
  System().ProgramFileName(module);
  EXPECT_EQ(Lower(module.fileName), "platform_tests.exe");
}

TEST(Win32Platform, ReportTextGoesToTheOemCodePage) {
  char ascii[] = "Exception EInOutError in module traverse.exe at 00001234.\r\n";
  const std::string before = ascii;
  System().ToConsoleCodePage(ascii, std::strlen(ascii));
  EXPECT_EQ(std::string(ascii), before);

  if (GetACP() != 1252 || GetOEMCP() != 437)
    GTEST_SKIP() << "code pages " << GetACP() << " and " << GetOEMCP();
  // e acute is 0xE9 in Windows-1252 and 0x82 in code page 437; the byte past
  // the length stays as it is.
  char accented[] = "\xE9t\xE9\xE9";
  System().ToConsoleCodePage(accented, 3);
  EXPECT_EQ(std::string(accented), "\x82t\x82\xE9");
}

}  // namespace
}  // namespace traverse::platform
