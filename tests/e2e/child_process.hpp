// Runs a program as a child process with its standard handles redirected and
// collects what it wrote and how it ended. Shared by every end-to-end suite.
#pragma once

#include <string>

namespace traverse::e2e {

// Where the child's standard output goes.
enum class OutputTo {
  File,               // a file of its own
  Pipe,               // a pipe the test reads to its end
  PipeWithoutReader,  // a pipe whose reading end is closed before the child starts
  ErrorFile,          // the same file as standard error, so the order of both shows
};

struct ChildRun {
  std::string output;  // empty for PipeWithoutReader and ErrorFile
  std::string error;   // with ErrorFile: both, in the order written
  int exitCode = -1;   // -1 when the child ended by a signal
  int signal = 0;      // the signal that ended it, 0 when it exited
};

// Runs `program` with `input` as its standard input (a file) and waits for it.
ChildRun RunChild(const std::string& program, const std::string& input,
                  OutputTo output = OutputTo::File);

}  // namespace traverse::e2e
