// ScaleByPowerOfTen and its tables: the table entries, every boundary between
// the three tables, both ends of the extended range, and exponents beyond the
// tables. Expected values are hexadecimal literals worked out with exact
// rational arithmetic, rounding to extended after every table step
// (tools/extended_reference.py --scale).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "console/extended_checks.hpp"
#include "console/powers_of_ten.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using testing::PlatformScope;
using testing::RaisedClass;
using testing::SameExtended;

// The entries up to 10^27 are exact: each is ten times the one before.
TEST(PowersOfTen, ExactEntriesAreTheirIntegers) {
  std::uint64_t power = 1;
  for (int k = 0; k <= 19; ++k) {
    EXPECT_EQ(PowersOfTenLow[k], Extended(power)) << k;
    if (k < 19) power *= 10;
  }
  for (int k = 20; k <= 27; ++k) {
    EXPECT_EQ(PowersOfTenLow[k], PowersOfTenLow[k - 1] * 10.0L) << k;
    EXPECT_EQ(PowersOfTenLow[k] / 10.0L, PowersOfTenLow[k - 1]) << k;
  }
}

// One rounded entry of each table, worked out independently of the table
// generator; the scaling cases below reach the entries at the boundaries.
TEST(PowersOfTen, RoundedEntriesAreNearest) {
  EXPECT_EQ(PowersOfTenLow[28], 0x1.027e72f1f1281308p+93L);
  EXPECT_EQ(PowersOfTenMid[15], 0x1.707db1b80f2b44c4p+1594L);
  EXPECT_EQ(PowersOfTenHigh[5], 0x1.194aa9804143e14cp+8504L);
}

struct ScaleCase {
  Extended value;
  std::int32_t exponent;
  Extended expected;
};

TEST(ScaleByPowerOfTen, StepsThroughEveryTableBoundaryAndFadesToZero) {
  const ScaleCase cases[] = {
      {1.5L, 0, 1.5L},
      {-0.0L, 0, -0.0L},
      {7.0L, 27, 0x1.69e43a85eb381aa6p+92L},
      {7.0L, -27, 0x1.154c6f013f48dcfep-87L},
      {1.0L, 31, 0x1.f8def8808b02452cp+102L},
      {1.0L, 32, 0x1.3b8b5b5056e16b3cp+106L},
      {1.0L, 33, 0x1.8a6e32246c99c60cp+109L},
      {1.0L, 511, 0x1.6b5c344aa34a82d6p+1697L},
      {1.0L, 512, 0x1.c633415d4c1d238ep+1700L},
      {1.0L, 513, 0x1.1be008da4f923638p+1704L},
      {1.0L, -31, 0x1.039d66589687f9eap-103L},
      {1.0L, -32, 0x1.9f623d5a8a732974p-107L},
      {1.0L, -33, 0x1.4c4e977ba1f5bac4p-110L},
      {1.0L, -512, 0x1.2093dc65b647a438p-1701L},
      {1.0L, 4607, 0x1.16bb4f03e4888fe6p+15304L},
      {1.0L, 4608, 0x1.5c6a22c4ddaab3ep+15307L},
      {1.0L, 4609, 0x1.b384ab76151560d8p+15310L},
      {1.0L, 4932, 0x1.ae596552b8fded9ap+16383L},
      // The largest exponents the tables cover, applied to tiny values.
      {0x1p-16000L, 5119, 0x1.ee87fc9cc90bbd38p+1004L},
      {0x1p-16445L, 5119, 0x1.ee87fc9cc90bbd38p+559L},
      {0x1p+16000L, -5119, 0x1.090afdc1510f4f24p-1005L},
      {0x1p+13000L, 1000, 0x1.e71b63f3ba7b580cp+16321L},
      // Small results fade through the denormals to zero.
      {3.0L, -4951, 0x1p-16445L},
      {1.0L, -5119, 0.0L},
      {-1.0L, -5119, -0.0L},
      // Beyond the tables the result is positive zero whatever the value.
      {1.0L, -5120, 0.0L},
      {-1.0L, -5120, 0.0L},
      {0x1p+16383L, -5120, 0.0L},
      {1.0L, INT_MIN, 0.0L},
      // A zero stays the zero it is, however far up it is scaled.
      {0.0L, 5120, 0.0L},
      {-0.0L, 5120, -0.0L},
      {0.0L, INT_MAX, 0.0L},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_TRUE(SameExtended(ScaleByPowerOfTen(c.value, c.exponent), c.expected))
        << c.value << " e" << c.exponent;
  }
}

TEST(ScaleByPowerOfTen, RaisesOverflowAboveTheRange) {
  PlatformScope scope;
  const ScaleCase cases[] = {
      {1.0L, 4933, 0},
      {1.0L, 5119, 0},
      // Beyond the tables any non-zero value overflows, even the smallest.
      {1.0L, 5120, 0},
      {0x1p-16445L, 5120, 0},
      {-1.0L, INT_MAX, 0},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_EQ(RaisedClass([&] { ScaleByPowerOfTen(c.value, c.exponent); }), "EOverflow")
        << c.value << " e" << c.exponent;
  }
}

}  // namespace
}  // namespace traverse
