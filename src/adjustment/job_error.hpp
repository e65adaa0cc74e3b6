// A job that cannot be read or adjusted: what was expected, what was found,
// and the input line where it was (0 where no one line is to blame).
#pragma once

#include <stdexcept>
#include <string>

namespace traverse {

class JobError : public std::runtime_error {
 public:
  JobError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

}  // namespace traverse
