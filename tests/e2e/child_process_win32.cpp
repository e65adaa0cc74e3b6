// Running the child on Windows: CreateProcess with the standard handles
// redirected to files or an anonymous pipe, as a surveyor's script would.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

void Check(bool ok, const char* what) {
  if (!ok)
    throw std::runtime_error(std::string(what) + " failed, error " +
                             std::to_string(::GetLastError()));
}

// Closes a handle when it goes out of scope.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE Get() const { return handle_; }
  HANDLE* Out() { return &handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A directory of its own for one child's files, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char base[MAX_PATH + 1];
    DWORD length = ::GetTempPathA(sizeof base, base);
    Check(length != 0 && length < sizeof base, "GetTempPath");
    static unsigned serial = 0;
    path_ = std::string(base) + "traverse-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++serial);
    Check(::CreateDirectoryA(path_.c_str(), nullptr) != FALSE, "CreateDirectory");
  }
  ~ScratchDirectory() {
    for (const std::string& file : files_) ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(path_.c_str());
  }
  std::string File(const char* name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// A file handle the child can inherit.
HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(handle != INVALID_HANDLE_VALUE, "CreateFile");
  return handle;
}

void WriteAll(HANDLE handle, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD put = 0;
    Check(::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                      nullptr) != FALSE &&
              put > 0,
          "WriteFile");
    done += put;
  }
}

// Everything up to the end of the data; a pipe whose writers have all gone
// ends it too.
std::string ReadAll(HANDLE handle) {
  std::string bytes;
  char block[4096];
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(handle, block, sizeof block, &got, nullptr) == FALSE) {
      Check(::GetLastError() == ERROR_BROKEN_PIPE, "ReadFile");
      return bytes;
    }
    if (got == 0) return bytes;
    bytes.append(block, got);
  }
}

std::string ReadFileBytes(const std::string& path) {
  OwnedHandle file(OpenInheritable(path, GENERIC_READ, OPEN_EXISTING));
  return ReadAll(file.Get());
}

// The program's path with the separators Windows expects, quoted as the one
// word of a command line.
std::string CommandLineOf(std::string program) {
  for (char& c : program)
    if (c == '/') c = '\\';
  return '"' + program + '"';
}

}  // namespace

ChildRun RunChild(const std::string& program, const std::string& input, OutputTo output) {
  ScratchDirectory scratch;
  std::string inputPath = scratch.File("input");
  std::string outputPath = scratch.File("output");
  std::string errorPath = scratch.File("error");
  {
    OwnedHandle file(OpenInheritable(inputPath, GENERIC_WRITE, CREATE_ALWAYS));
    WriteAll(file.Get(), input);
  }

  OwnedHandle childInput(OpenInheritable(inputPath, GENERIC_READ, OPEN_EXISTING));
  OwnedHandle childError(OpenInheritable(errorPath, GENERIC_WRITE, CREATE_ALWAYS));
  OwnedHandle childOutput;
  OwnedHandle pipeReader;
  switch (output) {
    case OutputTo::File:
      *childOutput.Out() = OpenInheritable(outputPath, GENERIC_WRITE, CREATE_ALWAYS);
      break;
    case OutputTo::ErrorFile:
      break;  // the error file's own handle, so that both share one position
    case OutputTo::Pipe:
    case OutputTo::PipeWithoutReader: {
      SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
      Check(::CreatePipe(pipeReader.Out(), childOutput.Out(), &inheritable, 0) != FALSE,
            "CreatePipe");
      Check(::SetHandleInformation(pipeReader.Get(), HANDLE_FLAG_INHERIT, 0) != FALSE,
            "SetHandleInformation");
      if (output == OutputTo::PipeWithoutReader) pipeReader.Close();
      break;
    }
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput.Get();
  startup.hStdOutput = output == OutputTo::ErrorFile ? childError.Get() : childOutput.Get();
  startup.hStdError = childError.Get();
  PROCESS_INFORMATION process{};
  std::string commandLine = CommandLineOf(program);
  Check(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process) != FALSE,
        "CreateProcess");
  OwnedHandle processHandle(process.hProcess);
  OwnedHandle threadHandle(process.hThread);
  // Only the child holds its handles now: the pipe ends when the child does.
  childInput.Close();
  childOutput.Close();
  childError.Close();

  ChildRun run;
  if (pipeReader.Get() != nullptr) {
    run.output = ReadAll(pipeReader.Get());
    pipeReader.Close();
  }
  Check(::WaitForSingleObject(processHandle.Get(), INFINITE) == WAIT_OBJECT_0,
        "WaitForSingleObject");
  DWORD exitCode = 0;
  Check(::GetExitCodeProcess(processHandle.Get(), &exitCode) != FALSE, "GetExitCodeProcess");
  run.exitCode = static_cast<int>(exitCode);
  if (output == OutputTo::File) run.output = ReadFileBytes(outputPath);
  run.error = ReadFileBytes(errorPath);
  return run;
}

}  // namespace traverse::e2e
