// What the number tests share: the failure an action raised, and equality of
// extended values that tells the zeros apart.
#pragma once

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "failure/extended.hpp"
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

// Same value and, for zeros, the same sign.
inline ::testing::AssertionResult SameExtended(Extended actual, Extended expected) {
  if (actual == expected && std::signbit(actual) == std::signbit(expected))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << std::hexfloat << "got " << actual << ", want " << expected;
}

}  // namespace traverse::testing
