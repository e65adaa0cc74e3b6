// ParseReal and ParseInteger: the token syntax, exact values, the sign of
// zero, where the scan stops, rejections and overflow. Expected reals are
// hexadecimal literals worked out with exact rational arithmetic, rounding
// to extended after every step exactly as the conversion does
// (tools/extended_reference.py).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <string_view>

#include "console/number_reading.hpp"
#include "console/raised_class.hpp"
#include "support/exact_real.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using namespace std::string_view_literals;
using testing::ExactScaled;
using testing::PlatformScope;
using testing::RaisedClass;

// The sign, exponent and significand of an extended value, for messages.
std::string Bits(Extended value) {
  unsigned char bytes[10];
  std::memcpy(bytes, &value, sizeof bytes);
  std::string text = "0x";
  for (int i = 9; i >= 0; --i) {
    text += "0123456789abcdef"[bytes[i] >> 4];
    text += "0123456789abcdef"[bytes[i] & 15];
    if (i == 8) text += ':';
  }
  return text;
}

// Same value and, for zeros, the same sign.
::testing::AssertionResult SameExtended(Extended actual, Extended expected) {
  if (actual == expected && std::signbit(actual) == std::signbit(expected))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << Bits(actual) << ", want " << Bits(expected);
}

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
      {"1000", 0x1.f4p+9L, 4, true},
      {"+1000", 0x1.f4p+9L, 5, true},
      {"1.e2", 0x1.9p+6L, 4, true},
      {"1e-0", 0x1p+0L, 4, true},
      {"0.5", 0x1p-1L, 3, true},
      {"-0.5", -0x1p-1L, 4, true},
      {"12.5", 0x1.9p+3L, 4, true},
      {"219.0346", 0x1.b611b71758e21966p+7L, 8, true},
      {"5432123.456", 0x1.4b8cedd2f1a9fbe8p+22L, 11, true},
      {"1e000000003", 0x1.f4p+9L, 11, true},
      // Leading zeros of an exponent never count against its length.
      {"1e00000000000000003", 0x1.f4p+9L, 19, true},
  });
}

TEST(ParseReal, ZeroKeepsTheSignOfTheToken) {
  CheckRealCases({
      {".", 0.0L, 1, true},
      {"+.", 0.0L, 2, true},
      {"e5", 0.0L, 2, true},
      {"+e5", 0.0L, 3, true},
      {"-e5", -0.0L, 3, true},
      {"+.E-7", 0.0L, 5, true},
      {"0", 0.0L, 1, true},
      {"+0", 0.0L, 2, true},
      {"-0", -0.0L, 2, true},
      {"-.", -0.0L, 2, true},
      {"-0.0e-5", -0.0L, 7, true},
      {"000.000", 0.0L, 7, true},
      {"1E-5120", 0.0L, 7, true},
      {"-1E-5120", -0.0L, 8, true},
      {"1e-999999999", 0.0L, 12, true},
  });
}

TEST(ParseReal, HugeExponentOfZeroMantissaGivesZero) {
  CheckRealCases({
      {"0E5120", 0.0L, 6, true},
      {"-0E5120", -0.0L, 7, true},
      {"0E99999999999", 0.0L, 13, true},
      {"-0E99999999999", -0.0L, 14, true},
      {"1E-99999999999", 0.0L, 14, true},
      {"0.000e999999999999999999999999", 0.0L, 30, true},
  });
}

TEST(ParseReal, RoundsEachDigitStepAndTheScalingOnce) {
  CheckRealCases({
      {"0.1", 0x1.999999999999999ap-4L, 3, true},
      {"0.0000000000000000001", 0x1.d83c94fb6d2ac34ap-64L, 21, true},
      {"123456789012345678.9", 0x1.b69b4ba630f34ee6p+56L, 20, true},
      {"9999999999999999999", 0x1.158e460913cffffep+63L, 19, true},
      {"9999999999999999999e27", 0x1.c06a5ec5433c60dap+152L, 22, true},
      {"1e27", 0x1.9d971e4fe8401e74p+89L, 4, true},
      {"1e-27", 0x1.3ce9a36f23c0fc9p-90L, 5, true},
      {"1e28", 0x1.027e72f1f1281308p+93L, 4, true},
      {"1e-28", 0x1.fb0f6be50601941cp-94L, 5, true},
      // Around 2^64, where the digit steps stop being exact: ties go to even.
      {"18446744073709551609", 0x1.fffffffffffffff2p+63L, 20, true},
      {"18446744073709551615", 0x1.fffffffffffffffep+63L, 20, true},
      {"18446744073709551616", 0x1p+64L, 20, true},
      {"18446744073709551617", 0x1p+64L, 20, true},
      {"18446744073709551619", 0x1.0000000000000004p+64L, 20, true},
      // Full 64-byte tokens.
      {"1234567890123456789012345678901234567890123456789012345678901234",
       0x1.80230187937a317p+209L, 64, true},
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
      {"1E4931", 0x1.584784422d97f146p+16380L, 6, true},
      {"1E4932", 0x1.ae596552b8fded9ap+16383L, 6, true},
      {"1.18973149535723176509e4932", 0x1.fffffffffffffffep+16383L, 27, true},
      {"3.3621031431120935063e-4932", 0x1.0000000000000002p-16382L, 27, true},
      // Below the normal range the value fades through denormals to zero.
      {"1e-4940", 0x1.98c9e3988p-16411L, 7, true},
      {"1e-4950", 0x1.8p-16444L, 7, true},
      {"3.6e-4951", 0x1p-16445L, 9, true},
      {"1.9e-4951", 0x1p-16445L, 9, true},
      {"1.8e-4951", 0.0L, 9, true},
      {"1e-4951", 0.0L, 7, true},
  });
}

TEST(ParseReal, RejectsAtTheFirstByteOutOfPlace) {
  CheckRealCases({
      {"", 0.0L, 0, false},
      {"+", 0.0L, 1, false},
      {"-", 0.0L, 1, false},
      {"--1", 0.0L, 1, false},
      {"+-1", 0.0L, 1, false},
      {"12,5", 0x1.8p+3L, 2, false},
      {"1.2.3", 0x1.8p+3L, 3, false},
      {"1e", 0x1p+0L, 2, false},
      {"1e+", 0x1p+0L, 3, false},
      {"1e-+5", 0x1p+0L, 3, false},
      {"E", 0.0L, 1, false},
      {"e+", 0.0L, 2, false},
      {"1.5E", 0x1.ep+3L, 4, false},
      {"1e5.", 0x1p+0L, 3, false},
      {"1e5e", 0x1p+0L, 3, false},
      {"1e99999999999x", 0x1p+0L, 13, false},
      {"12a", 0x1.8p+3L, 2, false},
      {"-12a", 0x1.8p+3L, 3, false},
      {"$10", 0.0L, 0, false},
      {"0x10", 0.0L, 1, false},
      {"INF", 0.0L, 0, false},
      {"inf", 0.0L, 0, false},
      {"NaN", 0.0L, 0, false},
      {"1\xff", 0x1p+0L, 1, false},
      {"\x80", 0.0L, 0, false},
      {"1\0"sv, 0x1p+0L, 1, false},
      {"1:", 0x1p+0L, 1, false},
      {"1/", 0x1p+0L, 1, false},
      {"12345678901234567890123,", 0x1.4ea15b273b38a122p+73L, 23, false},
  });
}

TEST(ParseReal, RaisesOverflowBeyondTheExtendedRange) {
  PlatformScope scope;
  for (std::string_view token :
       {"1E4933"sv, "-1E4933"sv, "1.189731495357231766e4932"sv, "1E5000"sv, "1E5119"sv,
        "0.0001e5123"sv, "1E5120"sv, "-1E5120"sv, "1e999999999"sv, "1E99999999999"sv,
        "1E99999999999999999999999999"sv}) {
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

// Short tokens (at most 19 digits, scale within 27) are correctly rounded,
// wherever the point stands and however the exponent is written.
TEST(ParseReal, ShortTokensAreCorrectlyRounded) {
  std::mt19937_64 random(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string token;
    const std::uint64_t signChoice = random() % 3;
    if (signChoice == 1) token += '+';
    if (signChoice == 2) token += '-';
    const int digitCount = 1 + static_cast<int>(random() % 19);
    const int pointAt = static_cast<int>(random() % static_cast<std::uint64_t>(digitCount + 2));
    const int fractionDigits = pointAt <= digitCount ? digitCount - pointAt : 0;
    std::uint64_t value = 0;
    for (int i = 0; i < digitCount; ++i) {
      if (i == pointAt) token += '.';
      // Runs of zeros and nines find the rounding ties and carries.
      const std::uint64_t kind = random() % 4;
      const unsigned digit = kind == 0 ? 0u : kind == 1 ? 9u : static_cast<unsigned>(random() % 10);
      token += static_cast<char>('0' + digit);
      value = value * 10 + digit;
    }
    if (pointAt == digitCount) token += '.';
    const int scale = static_cast<int>(random() % 55) - 27;
    const int exponent = scale + fractionDigits;
    if (exponent != 0 || random() % 2 == 0) {
      token += random() % 2 == 0 ? 'e' : 'E';
      if (exponent < 0) token += '-';
      if (exponent >= 0 && random() % 2 == 0) token += '+';
      if (random() % 4 == 0) token += '0';
      token += std::to_string(std::abs(exponent));
    }
    Extended expected = ExactScaled(value, scale);
    if (signChoice == 2) expected = -expected;

    const ScanResult<Extended> result = ParseReal(token);
    ASSERT_TRUE(result.ok) << token;
    ASSERT_EQ(result.stop, token.data() + token.size()) << token;
    ASSERT_TRUE(SameExtended(result.value, expected)) << token;
  }
}

// A random byte string from the alphabet of numbers, or any byte now and
// then; `limit` bytes at most.
std::string RandomToken(std::mt19937_64& random, std::string_view alphabet, std::size_t limit) {
  std::string token(static_cast<std::size_t>(random() % (limit + 1)), '\0');
  for (char& byte : token) {
    byte = random() % 16 == 0 ? static_cast<char>(random() % 256)
                              : alphabet[static_cast<std::size_t>(random() % alphabet.size())];
  }
  return token;
}

// The whole grammar, against a regular expression.
TEST(ParseReal, AcceptsExactlyTheGrammarOfReals) {
  PlatformScope scope;
  const std::regex real(R"([+-]?[0-9]*(\.[0-9]*)?([eE][+-]?[0-9]+)?)");
  std::mt19937_64 random(7);
  for (int round = 0; round < 20000; ++round) {
    const std::string token = RandomToken(random, "0123456789+-.eE", 12);
    const bool grammatical =
        std::regex_match(token, real) && !token.empty() && token != "+" && token != "-";
    ScanResult<Extended> result{};
    const std::string raised = RaisedClass([&] { result = ParseReal(token); });
    if (!raised.empty()) {
      ASSERT_EQ(raised, "EOverflow") << token;
      ASSERT_TRUE(grammatical) << token;
      continue;
    }
    ASSERT_EQ(result.ok, grammatical) << token;
    ASSERT_GE(result.stop, token.data()) << token;
    ASSERT_LE(result.stop, token.data() + token.size()) << token;
    if (result.ok) {
      ASSERT_EQ(result.stop, token.data() + token.size()) << token;
    }
  }
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
      {"0", 0, 1, true},
      {"-0", 0, 2, true},
      {"+7", 7, 2, true},
      {"010", 10, 3, true},
      {"2147483647", 2147483647, 10, true},
      {"+2147483647", 2147483647, 11, true},
      {"-2147483648", -2147483647 - 1, 11, true},
      {"-00000000000000000002147483648", -2147483647 - 1, 30, true},
      {"00000000000000000000000000000000", 0, 32, true},
      {"00000000000000000000000000000007", 7, 32, true},
      {"2147483648", 0, 9, false},
      {"-2147483649", 0, 10, false},
      {"99999999999", 0, 9, false},
      {"12.0", 0, 2, false},
      {"1e2", 0, 1, false},
      {"12a", 0, 2, false},
      {"1:", 0, 1, false},
      {"1/", 0, 1, false},
      {"0$1", 0, 1, false},
      {"1\xff", 0, 1, false},
  });
}

TEST(ParseInteger, HexadecimalIsTwosComplement) {
  CheckIntegerCases({
      {"$1F", 31, 3, true},
      {"x1F", 31, 3, true},
      {"X1f", 31, 3, true},
      {"0x1F", 31, 4, true},
      {"0X1f", 31, 4, true},
      {"+$10", 16, 4, true},
      {"-$1", -1, 3, true},
      {"$FFFFFFFF", -1, 9, true},
      {"$ffffffff", -1, 9, true},
      {"-$FFFFFFFF", 1, 10, true},
      {"$7FFFFFFF", 2147483647, 9, true},
      {"$80000000", -2147483647 - 1, 9, true},
      {"-$80000000", -2147483647 - 1, 10, true},
      {"$0", 0, 2, true},
      {"$aBcDeF", 0xABCDEF, 7, true},
      {"$0000000000000000000000000001", 1, 29, true},
      {"0x00000000FFFFFFFF", -1, 18, true},
      {"$100000000", 0, 9, false},
      {"$", 0, 1, false},
      {"x", 0, 1, false},
      {"0x", 0, 2, false},
      {"-0X", 0, 3, false},
      {"$G", 0, 1, false},
      {"$g", 0, 1, false},
      {"$@", 0, 1, false},
      {"$`", 0, 1, false},
      {"$-1", 0, 1, false},
      {"0x-1", 0, 2, false},
      {"xx1", 0, 1, false},
      {"0xx1", 0, 2, false},
      {"$1.0", 0, 2, false},
  });
}

TEST(ParseInteger, RejectsSignsOutOfPlace) {
  CheckIntegerCases({
      {"", 0, 0, false},
      {"+", 0, 1, false},
      {"-", 0, 1, false},
      {"--1", 0, 1, false},
      {"+-1", 0, 1, false},
      {"1-", 0, 1, false},
      {"$+1", 0, 1, false},
  });
}

// Every 32-bit value comes back from each of its written forms.
TEST(ParseInteger, ReadsBackEveryWrittenForm) {
  static constexpr std::string_view hexPrefixes[] = {"$", "x", "X", "0x", "0X"};
  std::mt19937_64 random(42);
  for (int round = 0; round < 20000; ++round) {
    const std::uint32_t bits = static_cast<std::uint32_t>(random());
    const std::int32_t expected = static_cast<std::int32_t>(bits);

    std::string decimal;
    const std::uint64_t magnitude =
        expected < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(std::int64_t{expected})
                     : static_cast<std::uint64_t>(expected);
    if (expected < 0) decimal += '-';
    if (expected >= 0 && random() % 2 == 0) decimal += '+';
    decimal += std::string(random() % 8, '0');
    decimal += std::to_string(magnitude);

    // Written positive, or negated under a "-" sign; digits in either case.
    const bool negated = random() % 2 == 0;
    std::uint32_t written = negated ? 0u - bits : bits;
    std::string digits;
    do {
      const unsigned nibble = written & 15;
      digits.insert(digits.begin(),
                    (random() % 2 == 0 ? "0123456789abcdef" : "0123456789ABCDEF")[nibble]);
      written >>= 4;
    } while (written != 0);
    std::string hex = negated ? "-" : "";
    hex += hexPrefixes[random() % 5];
    hex += std::string(random() % 8, '0');
    hex += digits;

    for (const std::string& token : {decimal, hex}) {
      const ScanResult<std::int32_t> result = ParseInteger(token);
      ASSERT_TRUE(result.ok) << token;
      ASSERT_EQ(result.value, expected) << token;
      ASSERT_EQ(result.stop, token.data() + token.size()) << token;
    }
  }
}

// The grammar, against a regular expression; tokens are too short to run
// out of the 32 bits.
TEST(ParseInteger, AcceptsExactlyTheGrammarOfIntegers) {
  const std::regex integer(R"([+-]?([0-9]+|(\$|[xX]|0[xX])[0-9a-fA-F]+))");
  std::mt19937_64 random(11);
  for (int round = 0; round < 20000; ++round) {
    const std::string token = RandomToken(random, "0123456789abcdefABCDEFxX$+-.", 9);
    const ScanResult<std::int32_t> result = ParseInteger(token);
    ASSERT_EQ(result.ok, std::regex_match(token, integer)) << token;
    ASSERT_GE(result.stop, token.data()) << token;
    ASSERT_LE(result.stop, token.data() + token.size()) << token;
    if (result.ok) {
      ASSERT_EQ(result.stop, token.data() + token.size()) << token;
    }
  }
}

}  // namespace
}  // namespace traverse
