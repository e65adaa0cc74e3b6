// A job that cannot be read or adjusted: what was expected, what was found,
// and the input line where it was (0 where no one line is to blame), with the
// file it is in where that is not the input itself (a control point file).
#pragma once

#include <stdexcept>
#include <string>

namespace traverse {

class JobError : public std::runtime_error {
 public:
  JobError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  JobError(std::string file, int line, const std::string& message)
      : std::runtime_error(message), line_(line), file_(std::move(file)) {}
  int line() const { return line_; }
  const std::string& file() const { return file_; }  // "" for the input itself

 private:
  int line_;
  std::string file_;
};

}  // namespace traverse
