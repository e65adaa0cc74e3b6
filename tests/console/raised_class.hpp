// Runs an action that may raise a failure and tells which class it raised.
#pragma once

#include <string>

#include "failure/failures.hpp"

namespace traverse::testing {

// The class name of the failure `action` raised, or "" when it returned. The
// failure object is released, since nothing else will own it.
template <typename Action>
std::string RaisedClass(Action&& action) {
  try {
    action();
  } catch (const RaisedFailure& failure) {
    std::string name = failure.object->ClassName();
    delete failure.object;
    return name;
  }
  return "";
}

}  // namespace traverse::testing
