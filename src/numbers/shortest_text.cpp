#include "numbers/shortest_text.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace traverse {
namespace {

#if defined(__SIZEOF_INT128__)
__extension__ using Wide = unsigned __int128;

constexpr std::array<std::uint64_t, 19> powersOfTen = [] {
  std::array<std::uint64_t, 19> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// 5^k up to 5^31, below 2^73.
constexpr std::array<Wide, 32> powersOfFive = [] {
  std::array<Wide, 32> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}();

// "00" to "99".
constexpr std::array<char, 200> digitPairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

constexpr std::uint64_t eightZeros = 0x3030303030303030;  // "00000000"

// The eight digits of value < 10^8 as characters, the first in the lowest
// byte: four to each half of the word, two to each quarter, one to each byte,
// by reciprocals exact for numbers so small.
[[gnu::always_inline]] inline std::uint64_t EightDigits(std::uint32_t value) {
  static_assert(std::endian::native == std::endian::little);
  std::uint64_t x = value / 10000 | std::uint64_t{value % 10000} << 32;
  const std::uint64_t hundreds = (x * 10486 >> 20) & 0x0000007F0000007F;
  x = (x - hundreds * 100) << 16 | hundreds;
  const std::uint64_t tens = (x * 103 >> 10) & 0x000F000F000F000F;
  x = (x - tens * 10) << 8 | tens;
  return x + eightZeros;
}

// The shortest digits of a value: the 18 places of an integer below 10^18 as
// characters, leading zeros and all, in text[2 .. 20); the significant ones
// are the `count` before text + 20 - dropped, the last of them worth
// 10^exponent. The rest of `text` is room to read 20 bytes from any place.
struct Decimal {
  char text[40];
  int dropped = 0;  // places of zeros after the last significant digit
  int count = 0;
  int exponent = 0;

  void SetPlaces(std::uint64_t value) {
    const std::uint64_t high = value / 100000000;
    const std::uint64_t middle = EightDigits(static_cast<std::uint32_t>(high % 100000000));
    const std::uint64_t low = EightDigits(static_cast<std::uint32_t>(value % 100000000));
    std::memcpy(text + 2, &digitPairs[2 * (high / 100000000)], 2);
    std::memcpy(text + 4, &middle, 8);
    std::memcpy(text + 12, &low, 8);
  }
  const char* First() const { return text + 20 - dropped - count; }
};

// The number of decimal digits of value > 0.
int DigitCount(std::uint64_t value) {
  // About log10 of the value, at most one more.
  const int log = static_cast<int>(std::bit_width(value)) * 1233 >> 12;
  return log + 1 - (value < powersOfTen[static_cast<std::size_t>(log)] ? 1 : 0);
}

// Of the multiples of 10^Drop from low to high, the nearest to
// whole + part / 2^shift (a tie to the even one) over 10^Drop.
template <int Drop>
std::uint64_t Nearest(std::uint64_t low, std::uint64_t high, std::uint64_t whole, Wide part,
                      int shift) {
  constexpr std::uint64_t unit = powersOfTen[Drop];
  std::uint64_t nearest = 0;
  if constexpr (Drop == 0) {
    const Wide half = Wide{1} << (shift - 1);
    nearest = whole + (part > half || (part == half && whole % 2 == 1) ? 1 : 0);
  } else {
    nearest = whole / unit;
    const std::uint64_t rest = whole % unit;
    nearest +=
        rest > unit / 2 || (rest == unit / 2 && (part != 0 || nearest % 2 == 1)) ? 1 : 0;
  }
  return std::min(std::max(nearest, (low + unit - 1) / unit), high / unit);
}

// The fewest decimal digits that read back to x, and of those the closest
// to x (a tie to the even one), for a positive normal x from about 10^-15 up
// to 2^53; false elsewhere. Exact: x = m 2^e and the halfway points to its
// neighbours, scaled by 10^k so that x has 17 or 18 digits before the point,
// are integers over 2^shift in 128 bits; the digits are those of the integer
// between those halfway points (the points themselves where m is even, as
// reading rounds a tie to the even neighbour) with the most trailing zeros.
bool ShortestDecimal(double x, Decimal& out) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const int binaryExponent = biased - 1023;  // x in [2^b, 2^(b + 1))
  // Above 2^53 the fixed text of an integer is its exact value, no shortest
  // digits; those and the tiny values go the long way.
  if (biased == 0 || binaryExponent >= 53) return false;
  const int estimate = (binaryExponent * 78913) >> 18;  // floor(b log10 2)
  const int k = 16 - estimate;
  if (k > 31) return false;
  const std::uint64_t m = fraction | (std::uint64_t{1} << 52);
  const int shift = 2 - (binaryExponent - 52) - k;  // x 10^k = 4m 5^k / 2^shift

  const Wide five = powersOfFive[static_cast<std::size_t>(k)];
  const Wide middle = Wide{4 * m} * five;
  const Wide upper = middle + 2 * five;
  // Below a power of two the next double down is half as far.
  const Wide lower = middle - (fraction == 0 ? five : 2 * five);
  const bool inclusive = m % 2 == 0;
  const Wide mask = (Wide{1} << shift) - 1;
  std::uint64_t low = static_cast<std::uint64_t>(lower >> shift);
  if ((lower & mask) != 0 || !inclusive) ++low;
  std::uint64_t high = static_cast<std::uint64_t>(upper >> shift);
  if ((upper & mask) == 0 && !inclusive) --high;
  if (low > high) return false;
  // x 10^k = whole + part / 2^shift.
  const std::uint64_t whole = static_cast<std::uint64_t>(middle >> shift);
  const Wide part = middle & mask;

  // Between the bounds lies a multiple of 10^j where the last j places of
  // `high` are worth no more than the width; x 10^k < 10^18 makes the width
  // below 2^-52 10^18, so from three places on that takes zeros there.
  const std::uint64_t width = high - low;
  if (high % 1000 <= width) {
    // A multiple of 1000 or more lies between: only one, as the width is
    // smaller. Its digits are those of `high` up to its zeros.
    out.SetPlaces(high);
    std::uint64_t zeros = 0;
    std::uint64_t places = 0;  // places 10 to 14, the 4th to 8th from the end
    std::memcpy(&places, out.text + 12, 8);
    places = (places ^ eightZeros) << 24;
    if (places != 0) {
      zeros = static_cast<std::uint64_t>(std::countl_zero(places)) / 8;
    } else {
      std::memcpy(&places, out.text + 4, 8);
      places ^= eightZeros;
      zeros = places != 0 ? 5 + static_cast<std::uint64_t>(std::countl_zero(places)) / 8
              : out.text[3] != '0' ? 13
                                   : 14;
    }
    out.dropped = 3 + static_cast<int>(zeros);
    out.count = DigitCount(high) - out.dropped;
    out.exponent = out.dropped - k;
  } else {
    // Fewer than three places drop; several multiples may lie between.
    const int dropped = (high % 10 <= width ? 1 : 0) + (high % 100 <= width ? 1 : 0);
    const std::uint64_t digits = dropped == 0   ? Nearest<0>(low, high, whole, part, shift)
                                 : dropped == 1 ? Nearest<1>(low, high, whole, part, shift)
                                                : Nearest<2>(low, high, whole, part, shift);
    out.SetPlaces(digits);
    out.dropped = 0;
    out.count = DigitCount(digits);
    out.exponent = dropped - k;
  }
  return true;
}

// As std::to_chars writes the shortest form: fixed notation unless
// scientific is shorter, and scientific with a sign and at least two digits
// in the exponent. The digits are moved 20 bytes at a time, whatever their
// count: fixed-size copies, and the room for them is part of
// ShortestTextCapacity.
char* WriteDecimal(bool negative, const Decimal& decimal, char* text) {
  const char* first = decimal.First();
  const int count = decimal.count;
  const int scientific = count - 1 + decimal.exponent;  // of the first digit
  const int fixedLength = scientific >= count - 1 ? scientific + 1
                          : scientific >= 0       ? count + 1
                                                  : count + 1 - scientific;
  const int exponentDigits = scientific >= 100 || scientific <= -100 ? 3 : 2;
  const int scientificLength = count + (count > 1 ? 1 : 0) + 2 + exponentDigits;
  if (negative) *text++ = '-';
  if (fixedLength <= scientificLength) {
    if (scientific >= count - 1) {
      std::memcpy(text, first, 20);
      text += count;
      for (int i = count - 1; i < scientific; ++i) *text++ = '0';
    } else if (scientific >= 0) {
      std::memcpy(text, first, 20);
      std::memcpy(text + scientific + 2, first + scientific + 1, 20);
      text[scientific + 1] = '.';
      text += count + 1;
    } else {
      *text++ = '0';
      *text++ = '.';
      for (int i = -1; i > scientific; --i) *text++ = '0';
      std::memcpy(text, first, 20);
      text += count;
    }
    return text;
  }
  text[0] = first[0];
  if (count > 1) {
    text[1] = '.';
    std::memcpy(text + 2, first + 1, 20);
    text += count + 1;
  } else {
    text += 1;
  }
  *text++ = 'e';
  *text++ = scientific < 0 ? '-' : '+';
  int magnitude = scientific < 0 ? -scientific : scientific;
  if (exponentDigits == 3) {
    *text++ = static_cast<char>('0' + magnitude / 100);
    magnitude %= 100;
  }
  std::memcpy(text, &digitPairs[static_cast<std::size_t>(2 * magnitude)], 2);
  return text + 2;
}

#endif

}  // namespace

char* WriteShortest(double x, char* text) {
#if defined(__SIZEOF_INT128__)
  if (x == 0) {
    if (std::signbit(x)) *text++ = '-';
    *text++ = '0';
    return text;
  }
  Decimal decimal;
  if (ShortestDecimal(std::fabs(x), decimal)) return WriteDecimal(std::signbit(x), decimal, text);
#endif
  return std::to_chars(text, text + ShortestTextCapacity, x).ptr;
}

std::string ShortestText(double x) {
  char text[ShortestTextCapacity];
  return std::string(text, WriteShortest(x, text));
}

}  // namespace traverse
