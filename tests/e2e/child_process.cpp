#include "child_process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

std::string ReadAll(int fd) {
  std::string bytes;
  char block[4096];
  for (;;) {
    ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    Check(got >= 0, "read");
    if (got == 0) return bytes;
    bytes.append(block, static_cast<std::size_t>(got));
  }
}

std::string ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  Check(fd >= 0, "open");
  std::string bytes = ReadAll(fd);
  close(fd);
  return bytes;
}

}  // namespace

ChildRun RunChild(const std::string& program, const std::string& input, OutputTo output) {
  ScratchDirectory scratch;
  std::string inputPath = scratch.File("input");
  std::string outputPath = scratch.File("output");
  std::string errorPath = scratch.File("error");
  WriteFile(inputPath, input);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
  // O_APPEND: when both handles share the file, each write lands after the last.
  posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
  int pipeEnds[2] = {-1, -1};
  switch (output) {
    case OutputTo::File:
      posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
      break;
    case OutputTo::ErrorFile:
      posix_spawn_file_actions_adddup2(&actions, 2, 1);
      break;
    case OutputTo::Pipe:
    case OutputTo::PipeWithoutReader:
      Check(pipe2(pipeEnds, O_CLOEXEC) == 0, "pipe");
      posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
      if (output == OutputTo::PipeWithoutReader) {
        close(pipeEnds[0]);
        pipeEnds[0] = -1;
      }
      break;
  }

  std::vector<char*> argv = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  errno = spawned;
  Check(spawned == 0, "posix_spawn");

  ChildRun run;
  if (pipeEnds[0] >= 0) {
    run.output = ReadAll(pipeEnds[0]);
    close(pipeEnds[0]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) Check(errno == EINTR, "waitpid");
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  if (output == OutputTo::File) run.output = ReadFile(outputPath);
  run.error = ReadFile(errorPath);
  return run;
}

}  // namespace traverse::e2e
