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

struct StoreCase {
  const char* name;
  Extended value;
  double stored;
};

class StorePasses : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StorePasses, RoundsToNearestWithoutFailing) {
  testing::PlatformScope scope;
  double stored = StoreReal(GetParam().value);
  EXPECT_EQ(stored, GetParam().stored);
  EXPECT_EQ(std::signbit(stored), std::signbit(GetParam().stored));
}

// DBL_MAX = (2 - 2^-52) * 2^1023; half its last place is 2^970, the step of
// the extended format there is 2^960.
INSTANTIATE_TEST_SUITE_P(
    FloatChecks, StorePasses,
    ::testing::Values(
        StoreCase{"LargestDouble", 0x1.fffffffffffffp1023L, 0x1.fffffffffffffp1023},
        StoreCase{"NegativeLargestDouble", -0x1.fffffffffffffp1023L, -0x1.fffffffffffffp1023},
        StoreCase{"JustBelowTheOverflowTie", 0x1.fffffffffffffp1023L + 0x1p970L - 0x1p960L,
                  0x1.fffffffffffffp1023},
        StoreCase{"SmallestNormal", 0x1p-1022L, 0x1p-1022},
        StoreCase{"SmallestDenormal", 0x1p-1074L, 0x1p-1074},
        StoreCase{"DenormalRoundedUp", 0x1.8p-1075L, 0x1p-1074},
        StoreCase{"TieBelowSmallestDenormalToZero", 0x1p-1075L, 0.0},
        StoreCase{"FarBelowToZero", 0x1p-16000L, 0.0},
        StoreCase{"NegativeFarBelowToNegativeZero", -0x1p-16000L, -0.0},
        StoreCase{"NegativeZero", -0.0L, -0.0},
        StoreCase{"InexactThird", 1.0L / 3, 0x1.5555555555555p-2}),
    [](const auto& test) { return std::string(test.param.name); });

struct FailureCase {
  const char* name;
  Extended dividend;
  Extended divisor;
  const char* failure;
};

class StoreFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StoreFails, RaisesItsClass) {
  EXPECT_EQ(FailureOf([] { StoreReal(GetParam().dividend); }), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    FloatChecks, StoreFails,
    ::testing::Values(
        // The tie between DBL_MAX and 2^1024 goes to the even 2^1024.
        FailureCase{"OverflowByRounding", 0x1.fffffffffffffp1023L + 0x1p970L, 0, "EOverflow"},
        FailureCase{"NegativeOverflowByRounding", -0x1.fffffffffffffp1023L - 0x1p970L, 0,
                    "EOverflow"},
        FailureCase{"TwoToThe1024", 0x1p1024L, 0, "EOverflow"},
        FailureCase{"LargestExtended", largestExtended, 0, "EOverflow"},
        FailureCase{"InfinityLeftByAnUncheckedOverflow", -infinity, 0, "EOverflow"},
        FailureCase{"NaN", quietNaN, 0, "EInvalidOp"}),
    [](const auto& test) { return std::string(test.param.name); });

class QuotientFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(QuotientFails, RaisesItsClass) {
  EXPECT_EQ(FailureOf([] { Quotient(GetParam().dividend, GetParam().divisor); }),
            GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    FloatChecks, QuotientFails,
    ::testing::Values(FailureCase{"OneByZero", 1, 0, "EZeroDivide"},
                      FailureCase{"MinusOneByZero", -1, 0, "EZeroDivide"},
                      FailureCase{"OneByMinusZero", 1, -0.0L, "EZeroDivide"},
                      FailureCase{"TinyByZero", 0x1p-16440L, 0, "EZeroDivide"},
                      FailureCase{"ZeroByZero", 0, 0, "EInvalidOp"},
                      FailureCase{"MinusZeroByZero", -0.0L, 0, "EInvalidOp"},
                      FailureCase{"ZeroByMinusZero", 0, -0.0L, "EInvalidOp"},
                      FailureCase{"InfinityByInfinity", infinity, -infinity, "EInvalidOp"},
                      FailureCase{"BeyondExtendedRange", largestExtended, 0.5L, "EOverflow"}),
    [](const auto& test) { return std::string(test.param.name); });

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
