// ScaleByPowerOfTen and its tables: the table entries, every boundary between
// the three tables, both ends of the extended range, and exponents beyond the
// tables. Expected values are hexadecimal literals worked out with exact
// rational arithmetic, rounding to extended after every table step
// (tools/extended_reference.py --scale).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "console/powers_of_ten.hpp"
#include "console/raised_class.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using testing::PlatformScope;
using testing::RaisedClass;

bool SameExtended(Extended a, Extended b) {
  return a == b && std::signbit(a) == std::signbit(b);
}

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

// The rounded entries, each worked out independently of the table generator.
TEST(PowersOfTen, RoundedEntriesAreNearest) {
  struct Entry {
    const Extended& entry;
    Extended nearest;
  };
  const Entry entries[] = {
      {PowersOfTenLow[28], 0x1.027e72f1f1281308p+93L},
      {PowersOfTenLow[29], 0x1.431e0fae6d7217cap+96L},
      {PowersOfTenLow[30], 0x1.93e5939a08ce9dbep+99L},
      {PowersOfTenLow[31], 0x1.f8def8808b02452cp+102L},
      {PowersOfTenMid[1], 0x1.3b8b5b5056e16b3cp+106L},
      {PowersOfTenMid[2], 0x1.84f03e93ff9f4daap+212L},
      {PowersOfTenMid[3], 0x1.df67562d8b362946p+318L},
      {PowersOfTenMid[4], 0x1.27748f9301d319cp+425L},
      {PowersOfTenMid[5], 0x1.6c2d4256ffcc2f54p+531L},
      {PowersOfTenMid[6], 0x1.c0e1ef1a724eaad6p+637L},
      {PowersOfTenMid[7], 0x1.14a52dffc679926p+744L},
      {PowersOfTenMid[8], 0x1.54fdd7f73bf3bd1cp+850L},
      {PowersOfTenMid[9], 0x1.a44df832b8d45f18p+956L},
      {PowersOfTenMid[10], 0x1.03085e53e599c6ecp+1063L},
      {PowersOfTenMid[11], 0x1.3f484e01b72015a4p+1169L},
      {PowersOfTenMid[12], 0x1.898bc6215df1542ep+1275L},
      {PowersOfTenMid[13], 0x1.e515380fd36138b2p+1381L},
      {PowersOfTenMid[14], 0x1.2af495c3d7efe7a8p+1488L},
      {PowersOfTenMid[15], 0x1.707db1b80f2b44c4p+1594L},
      {PowersOfTenHigh[1], 0x1.c633415d4c1d238ep+1700L},
      {PowersOfTenHigh[2], 0x1.92eceb0d02ea182ep+3401L},
      {PowersOfTenHigh[3], 0x1.65706a7673274fc8p+5102L},
      {PowersOfTenHigh[4], 0x1.3d1676bb8a7abbcap+6803L},
      {PowersOfTenHigh[5], 0x1.194aa9804143e14cp+8504L},
      {PowersOfTenHigh[6], 0x1.f312ba4bb116b516p+10204L},
      {PowersOfTenHigh[7], 0x1.babb91457e4fe7fp+11905L},
      {PowersOfTenHigh[8], 0x1.88c0a40514412f36p+13606L},
      {PowersOfTenHigh[9], 0x1.5c6a22c4ddaab3ep+15307L},
  };
  for (const Entry& e : entries) EXPECT_EQ(e.entry, e.nearest) << &e - entries;
}

struct ScaleCase {
  Extended value;
  std::int32_t exponent;
  Extended expected;
};

TEST(ScaleByPowerOfTen, StepsThroughEveryTableBoundary) {
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
      {1.0L, -511, 0x1.68b8d37f23d98d4ap-1698L},
      {1.0L, -512, 0x1.2093dc65b647a438p-1701L},
      {1.0L, -513, 0x1.cdb960a2bd3f6d28p-1705L},
      {1.0L, 4607, 0x1.16bb4f03e4888fe6p+15304L},
      {1.0L, 4608, 0x1.5c6a22c4ddaab3ep+15307L},
      {1.0L, 4609, 0x1.b384ab76151560d8p+15310L},
      {1.0L, 4932, 0x1.ae596552b8fded9ap+16383L},
      {-1.0L, 4932, -0x1.ae596552b8fded9ap+16383L},
      // The largest exponents the tables cover, applied to tiny values.
      {0x1p-16000L, 4607, 0x1.16bb4f03e4888fe6p-696L},
      {0x1p-16000L, 4608, 0x1.5c6a22c4ddaab3ep-693L},
      {0x1p-16000L, 5119, 0x1.ee87fc9cc90bbd38p+1004L},
      {0x1p-16445L, 5119, 0x1.ee87fc9cc90bbd38p+559L},
      {0x1p+16000L, -5119, 0x1.090afdc1510f4f24p-1005L},
      {0x1p+16383L, -4607, 0x1.d63e8ee1c57dff98p+1078L},
      {0x1p+13000L, 1000, 0x1.e71b63f3ba7b580cp+16321L},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_TRUE(SameExtended(ScaleByPowerOfTen(c.value, c.exponent), c.expected))
        << c.value << " e" << c.exponent;
  }
}

TEST(ScaleByPowerOfTen, SmallResultsFadeToZero) {
  const ScaleCase cases[] = {
      {3.0L, -4951, 0x1p-16445L},
      {1.0L, -4951, 0.0L},
      {1.0L, -5119, 0.0L},
      {-1.0L, -5119, -0.0L},
      // Beyond the tables the result is positive zero whatever the value.
      {1.0L, -5120, 0.0L},
      {-1.0L, -5120, 0.0L},
      {0x1p+16383L, -5120, 0.0L},
      {1.0L, INT_MIN, 0.0L},
      // A zero stays the zero it is, however far up it is scaled.
      {0.0L, 5119, 0.0L},
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
      {-1.0L, 4933, 0},
      {1.0L, 5119, 0},
      {0x1p+13000L, 1100, 0},
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
