// Running the child on Windows: CreateProcess with the standard handles
// redirected to files or an anonymous pipe, as a surveyor's script would.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
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
  const std::string& Path() const { return path_; }
  std::string File(const char* name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// A file handle the child can inherit.
HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition,
                       DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, disposition, flags, nullptr);
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

using Clock = std::chrono::steady_clock;

// Reads a pipe to its end, or until `deadline` when there is one; false when
// the deadline came first.
bool ReadAllUntil(HANDLE pipe, std::string& bytes, bool limited, Clock::time_point deadline) {
  if (!limited) {
    bytes = ReadAll(pipe);
    return true;
  }
  char block[4096];
  for (;;) {
    DWORD waiting = 0;
    if (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) == FALSE) {
      Check(::GetLastError() == ERROR_BROKEN_PIPE, "PeekNamedPipe");
      return true;
    }
    if (waiting == 0) {
      if (Clock::now() >= deadline) return false;
      ::Sleep(1);
      continue;
    }
    DWORD got = 0;
    Check(::ReadFile(pipe, block, sizeof block, &got, nullptr) != FALSE, "ReadFile");
    bytes.append(block, got);
  }
}

// The program's path with the separators Windows expects, quoted, then the
// arguments, each quoted (the tests' arguments hold no quotes or backslashes
// before a quote).
std::string CommandLineOf(std::string program, const std::vector<std::string>& arguments) {
  for (char& c : program)
    if (c == '/') c = '\\';
  std::string line = '"' + program + '"';
  for (const std::string& argument : arguments) line += " \"" + argument + '"';
  return line;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  OwnedHandle file(OpenInheritable(path, GENERIC_READ, OPEN_EXISTING));
  return ReadAll(file.Get());
}

ChildRun RunChild(const std::string& program, const ChildSetup& setup) {
  ScratchDirectory scratch;
  std::string inputPath = scratch.File("input");
  std::string outputPath = scratch.File("output");
  std::string errorPath = scratch.File("error");
  {
    OwnedHandle file(OpenInheritable(inputPath, GENERIC_WRITE, CREATE_ALWAYS));
    WriteAll(file.Get(), setup.input);
  }

  // A null handle is a standard handle the child does not have.
  OwnedHandle childInput;
  switch (setup.inputFrom) {
    case InputFrom::File:
      *childInput.Out() = OpenInheritable(inputPath, GENERIC_READ, OPEN_EXISTING);
      break;
    case InputFrom::Closed:
      break;
    case InputFrom::Directory:
      *childInput.Out() =
          OpenInheritable(scratch.Path(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
      break;
  }
  OwnedHandle childError(OpenInheritable(errorPath, GENERIC_WRITE, CREATE_ALWAYS));
  OwnedHandle childOutput;
  OwnedHandle pipeReader;
  switch (setup.output) {
    case OutputTo::File:
      *childOutput.Out() = OpenInheritable(outputPath, GENERIC_WRITE, CREATE_ALWAYS);
      break;
    case OutputTo::ErrorFile:  // the error file's own handle, so that both share one position
    case OutputTo::Closed:
      break;
    case OutputTo::FullDevice:
      throw std::runtime_error("Windows has no device that is always full");
    case OutputTo::Pipe:
    case OutputTo::PipeWithoutReader: {
      SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
      Check(::CreatePipe(pipeReader.Out(), childOutput.Out(), &inheritable, 0) != FALSE,
            "CreatePipe");
      Check(::SetHandleInformation(pipeReader.Get(), HANDLE_FLAG_INHERIT, 0) != FALSE,
            "SetHandleInformation");
      if (setup.output == OutputTo::PipeWithoutReader) pipeReader.Close();
      break;
    }
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput.Get();
  startup.hStdOutput = setup.output == OutputTo::ErrorFile ? childError.Get() : childOutput.Get();
  startup.hStdError = childError.Get();
  PROCESS_INFORMATION process{};
  std::string commandLine = CommandLineOf(program, setup.arguments);
  const Clock::time_point start = Clock::now();
  const bool limited = setup.timeLimit > 0;
  const Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(limited ? setup.timeLimit : 0));
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
  bool inTime = true;
  if (pipeReader.Get() != nullptr) {
    inTime = ReadAllUntil(pipeReader.Get(), run.output, limited, deadline);
    pipeReader.Close();
  }
  DWORD waitLimit = INFINITE;
  if (limited) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    waitLimit = inTime && left > 0 ? static_cast<DWORD>(left) : 0;
  }
  DWORD waited = ::WaitForSingleObject(processHandle.Get(), waitLimit);
  if (waited == WAIT_TIMEOUT) {
    ::TerminateProcess(processHandle.Get(), 1);
    waited = ::WaitForSingleObject(processHandle.Get(), INFINITE);
    run.killed = true;
  }
  Check(waited == WAIT_OBJECT_0, "WaitForSingleObject");
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  DWORD exitCode = 0;
  Check(::GetExitCodeProcess(processHandle.Get(), &exitCode) != FALSE, "GetExitCodeProcess");
  run.exitCode = static_cast<int>(exitCode);
  if (setup.output == OutputTo::File) run.output = ReadFileBytes(outputPath);
  run.error = ReadFileBytes(errorPath);
  return run;
}

}  // namespace traverse::e2e
