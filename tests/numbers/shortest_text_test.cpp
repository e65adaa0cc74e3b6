// The shortest text of a double: the very text std::to_chars gives, which
// the JSON reports have always carried, over the values a report holds and
// the corners of the format.
#include "numbers/shortest_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace traverse {
namespace {

std::string Library(double x) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

TEST(ShortestText, TheLibrarysTextForEveryKindOfValue) {
  std::mt19937_64 random(20240917);
  std::uniform_real_distribution<double> decades(-17, 18);
  int differences = 0;
  const auto check = [&](double x) {
    if (ShortestText(x) != Library(x) && ++differences <= 10)
      ADD_FAILURE() << std::hexfloat << x << ": " << ShortestText(x) << " for " << Library(x);
  };
  for (int i = 0; i < 40000; ++i) {
    check(std::bit_cast<double>(random()));  // anything at all
    const double x = std::pow(10.0, decades(random));
    check(x);
    check(-std::nextafter(x, 0.0));
    // Few digits: typed values, and their neighbours.
    const double typed = static_cast<double>(random() % 10000000) *
                         std::pow(10.0, static_cast<int>(random() % 24) - 12);
    check(typed);
    check(std::nextafter(typed, 1e300));
    // Powers of two, whose neighbour below is half as far.
    const double power = std::ldexp(1.0, static_cast<int>(random() % 120) - 60);
    check(power);
    check(std::nextafter(power, 0.0));
    // Odd multiples of small powers of two: two shortest candidates tie.
    const std::uint64_t m = (std::uint64_t{1} << 52) | (random() >> 12) | 1;
    check(std::ldexp(static_cast<double>(m), -2 - static_cast<int>(random() % 60)));
  }
  const double edges[] = {0.0,
                          -0.0,
                          1.0,
                          0.1,
                          1e-5,
                          1e-15,
                          1e15,
                          1e16,
                          9007199254740991.0,
                          9007199254740992.0,
                          123456789012345680.0,
                          std::numeric_limits<double>::min(),
                          std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
  for (double x : edges) {
    check(x);
    check(-x);
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace traverse
