// ParseReal and ParseInteger: the token syntax, exact values, the sign of
// zero, where the scan stops, rejections and overflow. Expected reals are
// hexadecimal literals worked out with exact rational arithmetic, rounding
// to extended after every step exactly as the conversion does
// (tools/extended_reference.py). Random tokens against the grammar and
// against a correctly rounded reference are the fuzz targets' part.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "console/extended_checks.hpp"
#include "console/number_reading.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using namespace std::string_view_literals;
using testing::PlatformScope;
using testing::RaisedClass;
using testing::SameExtended;

ScanResult<Extended> ParseReal(std::string_view token) {
  return traverse::ParseReal(token.data(), token.data() + token.size());
}

ScanResult<std::int32_t> ParseInteger(std::string_view token) {
  return traverse::ParseInteger(token.data(), token.data() + token.size());
}

struct RealCase {
  std::string_view token;
  Extended value;  // on rejection: the unscaled mantissa without sign
  std::ptrdiff_t stop;
  bool ok;
};

void CheckRealCases(std::initializer_list<RealCase> cases) {
  for (const RealCase& c : cases) {
    SCOPED_TRACE(std::string(c.token));
    const ScanResult<Extended> result = ParseReal(c.token);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.stop - c.token.data(), c.stop);
    EXPECT_TRUE(SameExtended(result.value, c.value));
  }
}

TEST(ParseReal, AcceptsEveryPlaceOfPointAndExponent) {
  CheckRealCases({
      {"1e3", 0x1.f4p+9L, 3, true},
      {"1E+3", 0x1.f4p+9L, 4, true},
      {"1000.", 0x1.f4p+9L, 5, true},
      {".1e4", 0x1.f4p+9L, 4, true},
      {"+1000", 0x1.f4p+9L, 5, true},
      {"1.e2", 0x1.9p+6L, 4, true},
      {"1e-0", 0x1p+0L, 4, true},
      {"-0.5", -0x1p-1L, 4, true},
      {"219.0346", 0x1.b611b71758e21966p+7L, 8, true},
      {"5432123.456", 0x1.4b8cedd2f1a9fbe8p+22L, 11, true},
      // Leading zeros of an exponent never count against its length.
      {"1e00000000000000003", 0x1.f4p+9L, 19, true},
  });
}

TEST(ParseReal, ZeroKeepsTheSignOfTheToken) {
  CheckRealCases({
      {".", 0.0L, 1, true},
      {"e5", 0.0L, 2, true},
      {"-e5", -0.0L, 3, true},
      {"+.E-7", 0.0L, 5, true},
      {"-0", -0.0L, 2, true},
      {"-.", -0.0L, 2, true},
      {"000.000", 0.0L, 7, true},
      {"-1E-5120", -0.0L, 8, true},
      {"1e-999999999", 0.0L, 12, true},
      // A zero mantissa is zero at any exponent, however huge: no infinity.
      {"0E5120", 0.0L, 6, true},
      {"-0E5120", -0.0L, 7, true},
      {"0.000e999999999999999999999999", 0.0L, 30, true},
  });
}

TEST(ParseReal, RoundsEachDigitStepAndTheScalingOnce) {
  CheckRealCases({
      {"0.1", 0x1.999999999999999ap-4L, 3, true},
      {"123456789012345678.9", 0x1.b69b4ba630f34ee6p+56L, 20, true},
      {"9999999999999999999e27", 0x1.c06a5ec5433c60dap+152L, 22, true},
      {"1e27", 0x1.9d971e4fe8401e74p+89L, 4, true},
      {"1e28", 0x1.027e72f1f1281308p+93L, 4, true},
      {"1e-28", 0x1.fb0f6be50601941cp-94L, 5, true},
      // Around 2^64, where the digit steps stop being exact: ties go to even.
      {"18446744073709551609", 0x1.fffffffffffffff2p+63L, 20, true},
      {"18446744073709551615", 0x1.fffffffffffffffep+63L, 20, true},
      {"18446744073709551617", 0x1p+64L, 20, true},
      {"18446744073709551619", 0x1.0000000000000004p+64L, 20, true},
      // Full 64-byte tokens.
      {"9999999999999999999999999999999999999999999999999999999999999999",
       0x1.84f03e93ff9f4dacp+212L, 64, true},
      {"0.000000000000000000000000000000000000000000000000000000000000001",
       0x1.a53fc9631d10c81ep-210L, 65, true},
  });
}

TEST(ParseReal, ReachesBothEndsOfTheExtendedRange) {
  CheckRealCases({
      {"1E400", 0x1.b4ec7f91973ff3cap+1328L, 5, true},
      {"1E-400", 0x1.2bfcfc0f923df5f4p-1329L, 6, true},
      {"1E4932", 0x1.ae596552b8fded9ap+16383L, 6, true},
      {"1.18973149535723176509e4932", 0x1.fffffffffffffffep+16383L, 27, true},
      {"3.3621031431120935063e-4932", 0x1.0000000000000002p-16382L, 27, true},
      // Below the normal range the value fades through denormals to zero.
      {"1e-4950", 0x1.8p-16444L, 7, true},
      {"3.6e-4951", 0x1p-16445L, 9, true},
      {"1.9e-4951", 0x1p-16445L, 9, true},
      {"1.8e-4951", 0.0L, 9, true},
  });
}

TEST(ParseReal, RejectsAtTheFirstByteOutOfPlace) {
  CheckRealCases({
      {"", 0.0L, 0, false},
      {"+", 0.0L, 1, false},
      {"-", 0.0L, 1, false},
      {"--1", 0.0L, 1, false},
      {"12,5", 0x1.8p+3L, 2, false},
      {"1.2.3", 0x1.8p+3L, 3, false},
      {"1e", 0x1p+0L, 2, false},
      {"1e+", 0x1p+0L, 3, false},
      {"1e-+5", 0x1p+0L, 3, false},
      {"e+", 0.0L, 2, false},
      {"1.5E", 0x1.ep+3L, 4, false},
      {"1e5.", 0x1p+0L, 3, false},
      {"1e99999999999x", 0x1p+0L, 13, false},
      {"-12a", 0x1.8p+3L, 3, false},
      {"$10", 0.0L, 0, false},
      {"0x10", 0.0L, 1, false},
      {"INF", 0.0L, 0, false},
      {"NaN", 0.0L, 0, false},
      // Bytes next to the digits, and bytes with the high bit set.
      {"1:", 0x1p+0L, 1, false},
      {"1/", 0x1p+0L, 1, false},
      {"1\xff", 0x1p+0L, 1, false},
      {"\x80", 0.0L, 0, false},
      {"1\0"sv, 0x1p+0L, 1, false},
      {"12345678901234567890123,", 0x1.4ea15b273b38a122p+73L, 23, false},
  });
}

TEST(ParseReal, RaisesOverflowBeyondTheExtendedRange) {
  PlatformScope scope;
  // 1E5120 and up overflow like 1E5000: a non-zero mantissa never reads as infinity.
  for (std::string_view token :
       {"1E4933"sv, "-1E4933"sv, "1.189731495357231766e4932"sv, "1E5000"sv, "0.0001e5123"sv,
        "1E5120"sv, "-1E5120"sv, "1E99999999999999999999999999"sv}) {
    SCOPED_TRACE(std::string(token));
    EXPECT_EQ(RaisedClass([&] { ParseReal(token); }), "EOverflow");
  }
}

// Tokens longer than any channel passes still convert safely.
TEST(ParseReal, LongTokensKeepExponentAndFractionApart) {
  const std::string smallFraction = "0." + std::string(200, '0') + "1e5000";
  const std::string offsetExponent = "0." + std::string(5200, '0') + "1e5201";
  CheckRealCases({
      {smallFraction, 0x1.e8bdc93cec9a90dcp+15941L, 208, true},
      {offsetExponent, 0x1p+0L, 5208, true},
  });

  // A mantissa of 5000 digits leaves the extended range while it is summed.
  PlatformScope scope;
  const std::string wideMantissa = "1" + std::string(5000, '0') + "e-4990";
  EXPECT_EQ(RaisedClass([&] { ParseReal(wideMantissa); }), "EOverflow");
}

struct IntegerCase {
  std::string_view token;
  std::int32_t value;  // 0 on rejection
  std::ptrdiff_t stop;
  bool ok;
};

void CheckIntegerCases(std::initializer_list<IntegerCase> cases) {
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(std::string(c.token));
    const ScanResult<std::int32_t> result = ParseInteger(c.token);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.stop - c.token.data(), c.stop);
    if (c.ok) {
      EXPECT_EQ(result.value, c.value);
    }
  }
}

TEST(ParseInteger, DecimalUpToTheSigned32BitRange) {
  CheckIntegerCases({
      {"-0", 0, 2, true},
      {"+7", 7, 2, true},
      {"010", 10, 3, true},
      {"2147483647", 2147483647, 10, true},
      {"-2147483648", -2147483647 - 1, 11, true},
      {"-00000000000000000002147483648", -2147483647 - 1, 30, true},
      {"00000000000000000000000000000007", 7, 32, true},
      {"2147483648", 0, 9, false},
      {"-2147483649", 0, 10, false},
      {"99999999999", 0, 9, false},
      {"12.0", 0, 2, false},
      {"1e2", 0, 1, false},
      {"1:", 0, 1, false},
      {"1/", 0, 1, false},
      {"0$1", 0, 1, false},
      {"1\xff", 0, 1, false},
      {"", 0, 0, false},
      {"-", 0, 1, false},
      {"+-1", 0, 1, false},
      {"1-", 0, 1, false},
  });
}

TEST(ParseInteger, HexadecimalIsTwosComplement) {
  CheckIntegerCases({
      {"$1F", 31, 3, true},
      {"x1F", 31, 3, true},
      {"X1f", 31, 3, true},
      {"0X1f", 31, 4, true},
      {"+$10", 16, 4, true},
      {"-$1", -1, 3, true},
      {"$FFFFFFFF", -1, 9, true},
      {"-$FFFFFFFF", 1, 10, true},
      {"$7FFFFFFF", 2147483647, 9, true},
      {"$80000000", -2147483647 - 1, 9, true},
      {"-$80000000", -2147483647 - 1, 10, true},
      {"$aBcDeF", 0xABCDEF, 7, true},
      {"$0000000000000000000000000001", 1, 29, true},
      {"0x00000000FFFFFFFF", -1, 18, true},
      {"$100000000", 0, 9, false},
      {"$", 0, 1, false},
      {"0x", 0, 2, false},
      // Bytes next to the letters of the digits.
      {"$G", 0, 1, false},
      {"$g", 0, 1, false},
      {"$@", 0, 1, false},
      {"$`", 0, 1, false},
      {"$-1", 0, 1, false},
      {"$+1", 0, 1, false},
      {"0x-1", 0, 2, false},
      {"0xx1", 0, 2, false},
      {"$1.0", 0, 2, false},
  });
}

}  // namespace
}  // namespace traverse
