// The entry of the unit test programs: the arithmetic environment the program
// entry sets up, then every test. Windows starts a thread with 53-bit x87
// precision, so the tests must not rely on what the system hands them.
#include <gtest/gtest.h>

#include "failure/float_checks.hpp"

int main(int argc, char** argv) {
  traverse::ResetFloatingPoint();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
