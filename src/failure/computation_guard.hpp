// The dialogue's computations raise failures (EZeroDivide, EOverflow, ...)
// that end a dialogue run with a report. The adjustment report turns them into
// a JobError with a plain message instead.
#pragma once

#include <string>

#include "failure/failures.hpp"

namespace traverse {

// While alive, a failure raised by a computation travels as a C++ exception
// (RaisedFailure) whatever hooks are installed; the hook in force before is
// restored at the end.
class FailuresAsExceptions {
 public:
  FailuresAsExceptions();
  ~FailuresAsExceptions();
  FailuresAsExceptions(const FailuresAsExceptions&) = delete;
  FailuresAsExceptions& operator=(const FailuresAsExceptions&) = delete;

 private:
  ErrorHookFn saved_;
};

// The message of a caught failure ("Floating point overflow"); releases the
// failure object.
std::string TakeFailureMessage(const RaisedFailure& failure);

}  // namespace traverse
