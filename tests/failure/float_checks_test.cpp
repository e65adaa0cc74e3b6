// The checked store and quotient at the edges of the double and extended
// ranges: what must fail, with which class, and what must pass unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "failure/failures.hpp"
#include "failure/float_checks.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

constexpr Extended infinity = std::numeric_limits<Extended>::infinity();
constexpr Extended quietNaN = std::numeric_limits<Extended>::quiet_NaN();
constexpr Extended largestExtended = std::numeric_limits<Extended>::max();

// The class name of the failure `operation` raises, "" when it raises none.
template <typename Operation>
std::string FailureOf(Operation operation) {
  testing::PlatformScope scope;
  try {
    operation();
  } catch (const RaisedFailure& raised) {
    std::unique_ptr<TObject> failure(raised.object);
    EXPECT_NE(raised.address, nullptr);
    return failure->ClassName();
  }
  return "";
}

// DBL_MAX = (2 - 2^-52) * 2^1023; half its last place is 2^970, the step of
// the extended format there is 2^960. The tie between DBL_MAX and 2^1024 goes
// to the even 2^1024: an overflow by rounding. Results too small for a double
// become denormals or zeros and never fail.
TEST(FloatChecks, StoreRoundsToNearestAndFailsBeyondTheDoubleRange) {
  const struct {
    const char* name;
    Extended value;
    double stored;
    const char* failure;
  } cases[] = {
      {"largest double", 0x1.fffffffffffffp1023L, 0x1.fffffffffffffp1023, ""},
      {"just below the overflow tie", 0x1.fffffffffffffp1023L + 0x1p970L - 0x1p960L,
       0x1.fffffffffffffp1023, ""},
      {"smallest normal", 0x1p-1022L, 0x1p-1022, ""},
      {"denormal rounded up", 0x1.8p-1075L, 0x1p-1074, ""},
      {"tie below the smallest denormal", 0x1p-1075L, 0.0, ""},
      {"negative, far below", -0x1p-16000L, -0.0, ""},
      {"inexact third", 1.0L / 3, 0x1.5555555555555p-2, ""},
      {"overflow by rounding", 0x1.fffffffffffffp1023L + 0x1p970L, 0, "EOverflow"},
      {"negative overflow by rounding", -0x1.fffffffffffffp1023L - 0x1p970L, 0, "EOverflow"},
      {"largest extended", largestExtended, 0, "EOverflow"},
      {"infinity left by an unchecked overflow", -infinity, 0, "EOverflow"},
      {"NaN", quietNaN, 0, "EInvalidOp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double stored = 0;
    EXPECT_EQ(FailureOf([&] { stored = StoreReal(c.value); }), c.failure);
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(std::signbit(stored), std::signbit(c.stored));
  }
}

TEST(FloatChecks, QuotientFailsOnZeroDivisorsAndOverflow) {
  const struct {
    Extended dividend;
    Extended divisor;
    const char* failure;
  } cases[] = {
      {1, 0, "EZeroDivide"},
      {-1, 0, "EZeroDivide"},
      {1, -0.0L, "EZeroDivide"},
      {0x1p-16440L, 0, "EZeroDivide"},
      {0, 0, "EInvalidOp"},
      {-0.0L, 0, "EInvalidOp"},
      {0, -0.0L, "EInvalidOp"},
      {infinity, -infinity, "EInvalidOp"},
      {largestExtended, 0.5L, "EOverflow"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { Quotient(c.dividend, c.divisor); }), c.failure)
        << c.dividend << " / " << c.divisor;
  }
}

TEST(FloatChecks, QuotientIsExtendedAndMayUnderflow) {
  testing::PlatformScope scope;
  // 1/3 to 64 bits: 0xAAAA...AAA|AAA... rounds up in its last place.
  EXPECT_EQ(Quotient(1, 3), 0xAAAAAAAAAAAAAAABp-65L);
  EXPECT_EQ(Quotient(0x1p-16000L, 0x1p440L), 0x1p-16440L);  // denormal extended
  EXPECT_EQ(Quotient(-0x1p-16000L, 0x1p1000L), 0.0L);
  EXPECT_TRUE(std::signbit(Quotient(-0x1p-16000L, 0x1p1000L)));
  EXPECT_EQ(Quotient(0, -5), 0.0L);
}

TEST(FloatChecks, CheckExtendedPassesFiniteAndFailsOtherwise) {
  testing::PlatformScope scope;
  EXPECT_EQ(CheckExtended(largestExtended), largestExtended);
  EXPECT_EQ(CheckExtended(0x1p-16445L), 0x1p-16445L);
  EXPECT_EQ(FailureOf([] { CheckExtended(infinity); }), "EOverflow");
  EXPECT_EQ(FailureOf([] { CheckExtended(quietNaN); }), "EInvalidOp");
}

TEST(FloatChecks, ResetLoadsExtendedPrecisionRoundToNearestAllMasked) {
  unsigned short spoilt = 0x0C7F;  // 24-bit precision, round toward zero
  __asm__ volatile("fldcw %0" : : "m"(spoilt));
  ResetFloatingPoint();
  EXPECT_EQ(CurrentControlWord(), 0x037F);
  volatile Extended one = 1;
  EXPECT_EQ(one / 3, 0xAAAAAAAAAAAAAAABp-65L);
}

}  // namespace
}  // namespace traverse
