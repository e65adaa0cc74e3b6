#include "child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace traverse::e2e {
namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + " failed, errno " + std::to_string(errno));
}

// A directory of its own for one child's files, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    path_ =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/traverse-e2e-XXXXXX";
    Check(mkdtemp(path_.data()) != nullptr, "mkdtemp");
  }
  ~ScratchDirectory() {
    for (const std::string& file : files_) unlink(file.c_str());
    rmdir(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  std::string File(const char* name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

void WriteFile(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Check(fd >= 0, "open");
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    Check(put > 0, "write");
    done += static_cast<std::size_t>(put);
  }
  close(fd);
}

using Clock = std::chrono::steady_clock;

// Reads `fd` to its end, or until `deadline` when there is one; false when the
// deadline came first.
bool ReadAllUntil(int fd, std::string& bytes, bool limited, Clock::time_point deadline) {
  char block[4096];
  for (;;) {
    if (limited) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd ready{fd, POLLIN, 0};
      const int polled = poll(&ready, 1, static_cast<int>(left));
      if (polled < 0 && errno == EINTR) continue;
      Check(polled >= 0, "poll");
      if (polled == 0) return false;
    }
    ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    Check(got >= 0, "read");
    if (got == 0) return true;
    bytes.append(block, static_cast<std::size_t>(got));
  }
}

// Waits for `child`, killing it at `deadline` when there is one; true when it
// had to be killed.
bool WaitForChild(pid_t child, int& status, bool limited, Clock::time_point deadline) {
  for (;;) {
    const pid_t ended = waitpid(child, &status, limited ? WNOHANG : 0);
    if (ended == child) return false;
    if (ended < 0) {
      Check(errno == EINTR, "waitpid");
      continue;
    }
    if (Clock::now() >= deadline) {
      kill(child, SIGKILL);
      while (waitpid(child, &status, 0) < 0) Check(errno == EINTR, "waitpid");
      return true;
    }
    usleep(1000);
  }
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  Check(fd >= 0, "open");
  std::string bytes;
  ReadAllUntil(fd, bytes, false, {});
  close(fd);
  return bytes;
}

bool HasFullDevice() {
  return access("/dev/full", W_OK) == 0;
}

ChildRun RunChild(const std::string& program, const ChildSetup& setup) {
  ScratchDirectory scratch;
  std::string inputPath = scratch.File("input");
  std::string outputPath = scratch.File("output");
  std::string errorPath = scratch.File("error");
  WriteFile(inputPath, setup.input);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  switch (setup.inputFrom) {
    case InputFrom::File:
      posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
      break;
    case InputFrom::Closed:
      posix_spawn_file_actions_addclose(&actions, 0);
      break;
    case InputFrom::Directory:
      posix_spawn_file_actions_addopen(&actions, 0, scratch.Path().c_str(), O_RDONLY | O_DIRECTORY,
                                       0);
      break;
  }
  // O_APPEND: when both handles share the file, each write lands after the last.
  posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
  int pipeEnds[2] = {-1, -1};
  switch (setup.output) {
    case OutputTo::File:
      posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
      break;
    case OutputTo::ErrorFile:
      posix_spawn_file_actions_adddup2(&actions, 2, 1);
      break;
    case OutputTo::Closed:
      posix_spawn_file_actions_addclose(&actions, 1);
      break;
    case OutputTo::FullDevice:
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
      break;
    case OutputTo::Pipe:
    case OutputTo::PipeWithoutReader:
      Check(pipe2(pipeEnds, O_CLOEXEC) == 0, "pipe");
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      if (setup.output == OutputTo::PipeWithoutReader) {
        close(pipeEnds[0]);
        pipeEnds[0] = -1;
      }
      break;
  }

  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& argument : setup.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const Clock::time_point start = Clock::now();
  const bool limited = setup.timeLimit > 0;
  const Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(limited ? setup.timeLimit : 0));
  int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  errno = spawned;
  Check(spawned == 0, "posix_spawn");

  ChildRun run;
  bool inTime = true;
  if (pipeEnds[0] >= 0) {
    inTime = ReadAllUntil(pipeEnds[0], run.output, limited, deadline);
    close(pipeEnds[0]);
  }
  int status = 0;
  if (!inTime) {
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0) Check(errno == EINTR, "waitpid");
    run.killed = true;
  } else {
    run.killed = WaitForChild(child, status, limited, deadline);
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  if (setup.output == OutputTo::File) run.output = ReadFileBytes(outputPath);
  run.error = ReadFileBytes(errorPath);
  return run;
}

}  // namespace traverse::e2e
