// Runs a program as a child process with its standard handles redirected and
// collects what it wrote and how it ended. Shared by every end-to-end suite.
#pragma once

#include <string>
#include <vector>

namespace traverse::e2e {

// Where the child's standard output goes.
enum class OutputTo {
  File,               // a file of its own
  Pipe,               // a pipe the test reads to its end
  PipeWithoutReader,  // a pipe whose reading end is closed before the child starts
  ErrorFile,          // the same file as standard error, so the order of both shows
  Closed,             // no standard output at all
  FullDevice,         // /dev/full: every write fails with "no space"
};

// Where the child's standard input comes from.
enum class InputFrom {
  File,       // a file holding the input bytes
  Closed,     // no standard input at all
  Directory,  // a directory: it opens, but every read fails
};

// One child run beyond its program.
struct ChildSetup {
  std::string input;
  InputFrom inputFrom = InputFrom::File;
  OutputTo output = OutputTo::File;
  double timeLimit = 0;  // seconds; a child still running then is killed (0: no limit)
  std::vector<std::string> arguments;  // after the program's name
};

struct ChildRun {
  std::string output;   // empty for PipeWithoutReader and ErrorFile
  std::string error;    // with ErrorFile: both, in the order written
  int exitCode = -1;    // -1 when the child ended by a signal
  int signal = 0;       // the signal that ended it, 0 when it exited
  double seconds = 0;   // from the start to the end of the child
  bool killed = false;  // ended by the test at its time limit
};

// What differs between the platforms in what a child reports: the file name
// of a program (a regular expression), the code of a write to a pipe whose
// reader has gone (EPIPE; ERROR_NO_DATA on Windows), the code of a read from
// a directory (EISDIR; ERROR_INVALID_FUNCTION), and whether a device exists
// whose every write fails (OutputTo::FullDevice; Windows has none).
#if defined(_WIN32)
inline const std::string ProgramSuffixPattern = "\\.exe";
inline constexpr int BrokenPipeCode = 232;
inline constexpr int DirectoryReadCode = 1;
inline bool HasFullDevice() {
  return false;
}
#else
inline const std::string ProgramSuffixPattern = "";
inline constexpr int BrokenPipeCode = 32;
inline constexpr int DirectoryReadCode = 21;
bool HasFullDevice();
#endif

// The bytes of the file at `path`, exactly as stored.
std::string ReadFileBytes(const std::string& path);

// The bytes of the bundled example file `name` (in examples/).
inline std::string ReadExample(const std::string& name) {
  return ReadFileBytes(std::string(EXAMPLES_DIR) + "/" + name);
}

// Runs `program` as `setup` says and waits for it, at most its time limit.
ChildRun RunChild(const std::string& program, const ChildSetup& setup);

// Runs `program` with `input` as its standard input (a file) and waits for it.
inline ChildRun RunChild(const std::string& program, const std::string& input,
                         OutputTo output = OutputTo::File) {
  return RunChild(program, ChildSetup{input, InputFrom::File, output, 0, {}});
}

}  // namespace traverse::e2e
