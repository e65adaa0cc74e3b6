// The texts of reals and integers, byte for byte. Expected texts come from
// exact rational arithmetic over the extended format (tools/fixed_text_cases.py),
// never from a library's own conversion.
#include "console/number_writing.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace traverse {
namespace {

constexpr char Sentinel = '#';

// FormatFixed into a buffer of exactly FixedTextCapacity, with a guard byte
// behind it that must survive.
std::string Fixed(Extended x, std::int32_t width, std::int32_t decimals) {
  char text[FixedTextCapacity + 1];
  text[FixedTextCapacity] = Sentinel;
  const std::size_t length = FormatFixed(x, width, decimals, text);
  EXPECT_LE(length, FixedTextCapacity);
  EXPECT_EQ(text[FixedTextCapacity], Sentinel);
  return std::string(text, length);
}

// The extended value with these memory fields, for encodings no arithmetic makes.
Extended FromFields(std::uint64_t significand, std::uint16_t signExponent) {
  unsigned char bytes[sizeof(Extended)] = {};
  std::memcpy(bytes, &significand, sizeof significand);
  std::memcpy(bytes + 8, &signExponent, sizeof signExponent);
  Extended x;
  std::memcpy(&x, bytes, sizeof x);
  return x;
}

struct FixedCase {
  Extended x;
  std::int32_t width;
  std::int32_t decimals;
  const char* text;
};

void ExpectTexts(const FixedCase* begin, const FixedCase* end) {
  for (const FixedCase* row = begin; row != end; ++row) {
    EXPECT_EQ(Fixed(row->x, row->width, row->decimals), row->text)
        << "x = " << std::hexfloat << row->x << ", width " << row->width << ", decimals "
        << row->decimals;
  }
}

TEST(FormatFixedTest, WorkedTableOfCoordinates) {
  constexpr Extended inf = std::numeric_limits<Extended>::infinity();
  // Decimal literals without a suffix: the double nearest to each value.
  const FixedCase rows[] = {
      {0.0, 5, 2, " 0.00"},
      {-0.0, 5, 2, "-0.00"},
      {1.005, 5, 2, " 1.00"},
      {-0.004, 5, 2, "-0.00"},
      {0.125, 5, 2, " 0.13"},
      {0.015, 5, 2, " 0.02"},
      {0.995, 5, 2, " 1.00"},
      {2.675, 5, 2, " 2.67"},
      {9.999, 5, 2, "10.00"},
      {99.995, 5, 2, "100.00"},
      {-1.5, 5, 2, "-1.50"},
      {-250.5, 5, 2, "-250.50"},
      {12345.678, 5, 2, "12345.68"},
      {5432123.456, 5, 2, "5432123.46"},
      {1234567.125, 5, 2, "1234567.13"},
      {1e20, 5, 2, "100000000000000000000.00"},
      {1e36, 5, 2, "1000000000000000042000000000000000000.00"},
      {0x1p120, 5, 2, " 1.3E+0036"},
      {1e37, 5, 2, " 1.0E+0037"},
      {-2e40, 5, 2, "-2.0E+0040"},
      {inf, 5, 2, " +Inf"},
      {-inf, 5, 2, " -Inf"},
      {std::numeric_limits<Extended>::quiet_NaN(), 5, 2, "  Nan"},
  };
  ExpectTexts(std::begin(rows), std::end(rows));
}

// Ties and near-ties at the printed place, and the digits beyond the 18 that
// come from the value. The comment names the decimal a double stands for.
TEST(FormatFixedTest, RoundsAtThePrintedPlace) {
  const FixedCase rows[] = {
      {0x1.47ae147ae147bp-8L, 5, 2, " 0.01"},                    // 0.005
      {0x1.03d70a3d70a3dp+0L, 5, 2, " 1.01"},                    // 1.015
      {0x1.3fd70a3d70a3dp+3L, 5, 2, " 9.99"},                    // 9.995
      {0x1.4028f5c28f5c3p+3L, 5, 2, "10.01"},                    // 10.005
      {0x1.f400a3d70a3d7p+9L, 5, 2, "1000.00"},                  // 1000.005
      {-0x1.0000000000000p-3L, 5, 2, "-0.13"},                   // -0.125
      {-0x1.47ae147ae147bp-8L, 5, 2, "-0.01"},                   // -0.005
      {0x1.4000000000000p+1L, 0, 0, "3"},                        // 2.5
      {-0x1.0000000000000p-1L, 0, 0, "-1"},                      // -0.5
      {0x1.f5c28f5c28f5cp-2L, 0, 0, "0"},                        // 0.49
      {0x1.f3ffef9db22d1p+9L, 0, 3, "1000.000"},                 // 999.9995
      {-0x1.56e1fc2f8f359p-997L, 5, 2, "-0.00"},                 // -1e-300
      {0x1.5555555555555p-2L, 0, 17, "0.33333333333333331"},     // 1/3
      {0x1.999999999999ap-4L, 0, 20, "0.10000000000000001000"},  // 0.1
      {0x1.81cd6c8b43958p+13L, 0, 13, "12345.6779999999999"},    // 12345.678
      {0x1.18b54f22aeb03p+50L, 5, 2, "1234567890123456.75"},     // 1234567890123456.7
      {0x1.3426172c74d82p+116L, 5, 2, "99999999999999996900000000000000000.00"},     // 1e35
      {0x1.fffffffffffffp+119L, 5, 2, "1329227995784915725000000000000000000.00"},   // below 2^120
      {-0x1.fffffffffffffp+119L, 0, 1, "-1329227995784915725000000000000000000.0"},  // -below 2^120
  };
  ExpectTexts(std::begin(rows), std::end(rows));
}

// From 2^120 up: c = width - 8 mantissa digits (2 to 18) and four exponent
// digits. The normalisation estimates the decimal exponent from the binary one
// with a factor just under log10 2, so it can stop at a value in [10, 16): for
// 1.06e37 (binary exponent 122) it divides by 10^36 once and leaves 10.6, whose
// binary exponent 3 asks for no further step. Such a mantissa is D0 .. D(c-1),
// rounded at the printed place: "1.1E+0037", not the "1.0E+0037" of rounding
// one place further. 1.05451e37 at c = 4 ("1.055", not "1.054") and the
// largest extended value (11.89 after normalising: "1.2", not "1.1") are the
// same case. 9.96e36 carries into a new leading digit; 1.65e38 is normalised
// in two steps (10^37, then 10).
TEST(FormatFixedTest, ScientificFormFromTwoToThe120) {
  const FixedCase rows[] = {
      {0x1.df8e7a76c909fp+122L, 5, 2, " 1.0E+0037"},                                 // 9.96e36
      {0x1.fe5f1661a1860p+122L, 5, 2, " 1.1E+0037"},                                 // 1.06e37
      {0x1.fbba6486ce3bbp+122L, 12, 2, " 1.055E+0037"},                              // 1.05451e37
      {0x1.fbb7ed70179b0p+122L, 12, 2, " 1.054E+0037"},                              // 1.05449e37
      {0x1.e15cb3998bb94p+126L, 5, 2, " 1.6E+0038"},                                 // 1.5996e38
      {0x1.f087605722464p+126L, 5, 2, " 1.6E+0038"},                                 // 1.65e38
      {-0x1.d6329f1c35ca5p+133L, 12, 2, "-2.000E+0040"},                             // -2e40
      {0x1.0000000000000p+120L, 26, 2, " 1.32922799578491587E+0036"},                // 2^120
      {0x1.0000000000000p+120L, 40, 2, "               1.32922799578491587E+0036"},  // 2^120
      {0x1.fe5f1661a1860p+122L, 26, 2, " 1.06000000000000005E+0037"},                // 1.06e37
      {0x1.fffffffffffffp+1023L, 5, 2, " 1.8E+0308"},     // largest double
      {-0xFFFFFFFFFFFFFFFFp+16320L, 5, 2, "-1.2E+4932"},  // -largest extended
  };
  ExpectTexts(std::begin(rows), std::end(rows));
}

TEST(FormatFixedTest, ClampsWidthAndDecimalsToKeepWithin255Characters) {
  EXPECT_EQ(Fixed(1.5, 300, 2), std::string(251, ' ') + "1.50");
  EXPECT_EQ(Fixed(std::numeric_limits<Extended>::quiet_NaN(), 1000, 0),
            std::string(252, ' ') + "Nan");
  EXPECT_EQ(Fixed(0.125, 0, 300), "0.125" + std::string(213, '0'));

  // The longest fixed text: a sign, 37 integer digits, the point, 216 decimals.
  const Extended longest = -0x1.fffffffffffffp+119L;
  const std::string longestText = "-1329227995784915725000000000000000000." + std::string(216, '0');
  ASSERT_EQ(longestText.size(), FixedTextCapacity);
  EXPECT_EQ(Fixed(longest, 0, 216), longestText);
  EXPECT_EQ(Fixed(longest, 255, 216), longestText);
  EXPECT_EQ(Fixed(longest, 100000, 100000), longestText);

  // The width is a minimum: a longer text is written whole.
  EXPECT_EQ(Fixed(-12345.678, 3, 2), "-12345.68");
  // Negative bounds, which no caller passes, count as zero.
  EXPECT_EQ(Fixed(2.5, -4, -1), "3");
}

// Encodings with an exponent field of all ones are infinities or NaNs by
// their bits; an unnormal, which the x87 refuses as an operand, is a NaN too.
TEST(FormatFixedTest, SpecialEncodings) {
  const FixedCase rows[] = {
      {FromFields(0x8000000000000000u, 0x7FFF), 0, 2, "+Inf"},
      {FromFields(0x8000000000000000u, 0xFFFF), 7, 2, "   -Inf"},
      {FromFields(0xC000000000000000u, 0xFFFF), 5, 2, "  Nan"},  // negative quiet NaN
      {FromFields(0x8000000000000001u, 0x7FFF), 5, 2, "  Nan"},  // signalling NaN
      {FromFields(0x0000000000000000u, 0x7FFF), 5, 2, "  Nan"},  // pseudo-infinity
      {FromFields(0x4000000000000000u, 0x4000), 5, 2, "  Nan"},  // unnormal
      {FromFields(0x0000000000000001u, 0x0000), 5, 2, " 0.00"},  // smallest denormal
      {FromFields(0x0000000000000001u, 0x8000), 5, 2, "-0.00"},
      {FromFields(0x8000000000000000u, 0x0000), 5, 2, " 0.00"},  // pseudo-denormal
  };
  ExpectTexts(std::begin(rows), std::end(rows));
}

TEST(NormalizeDecimalTest, ScalesIntoOneToSixteen) {
  struct Row {
    Extended a;
    Extended value;
    std::int32_t exponent;
  };
  const Row rows[] = {
      {0x1.4000000000000p+3L, 0xA000000000000000p-60L, 0},          // 10
      {0xFFFFFFFFFFFFFFFFp-60L, 0xFFFFFFFFFFFFFFFFp-60L, 0},        // just under 16
      {0x1.812f9cf7920e3p+119L, 0xA0000000000001E9p-60L, 35},       // 1e36
      {0x1.f087605722464p+126L, 0xD333333333333186p-63L, 38},       // 1.65e38
      {0xFFFFFFFFFFFFFFFFp+16320L, 0xBE5B66ECBCE0B7B1p-60L, 4931},  // largest extended
  };
  for (const Row& row : rows) {
    const NormalizedDecimal result = NormalizeDecimal(row.a);
    EXPECT_EQ(result.value, row.value) << std::hexfloat << row.a;
    EXPECT_EQ(result.exponent, row.exponent) << std::hexfloat << row.a;
  }
}

// Outside its range the normalisation must still end: zero and infinity have
// no decimal exponent to find.
TEST(NormalizeDecimalTest, EndsOnZeroAndInfinity) {
  EXPECT_EQ(NormalizeDecimal(0.0L).exponent, 0);
  EXPECT_EQ(NormalizeDecimal(std::numeric_limits<Extended>::infinity()).exponent, 0);
}

// D0 .. Dn, rounded at Dn; nothing written past Dn. The "tie" value makes
// a × 10^17 exactly 6000000000000004.5, which rounds to the even ...4.
TEST(DigitStringTest, DigitsRoundedAtTheLastPlace) {
  struct Row {
    Extended a;
    std::int32_t n;
    const char* digits;
  };
  const Row rows[] = {
      {0x0.0p+0L, 0, "0"},                                          // 0
      {0x1.4000000000000p+2L, 0, "1"},                              // 5
      {0x1.399999999999ap+2L, 0, "0"},                              // 4.9
      {0x1.fff7ced916873p+3L, 2, "160"},                            // 15.999
      {0x9FFFFFFFFFFFFFFFp-60L, 17, "100000000000000000"},          // 10 - 2^-60
      {0xF5C28F5C28F5F671p-68L, 18, "0006000000000000004"},         // tie
      {0xF5C28F5C28F5F671p-68L, 17, "000600000000000000"},          // tie
      {0xAAAAAAAAAAAAAAABp-65L, 25, "00333333333333333330000000"},  // 1/3
      {0x1.eb851eb851eb8p-7L, 3, "0002"},                           // 0.015
  };
  for (const Row& row : rows) {
    char digits[64];
    std::memset(digits, Sentinel, sizeof digits);
    DigitString(row.a, row.n, digits);
    const std::size_t count = static_cast<std::size_t>(row.n) + 1;
    EXPECT_EQ(std::string(digits, count), row.digits) << std::hexfloat << row.a << ", n " << row.n;
    EXPECT_EQ(digits[count], Sentinel) << std::hexfloat << row.a << ", n " << row.n;
  }
}

}  // namespace
}  // namespace traverse
