// Fixed-point and integer text of numbers. A real is rounded twice: first to
// 17 decimals of its normalised value (a × 10^17 rounded to an integer, ties to
// even), then half up at the requested place, judged on the single next digit.
// Everything is built in fixed local storage; nothing allocates.
#include "console/number_writing.hpp"

#include <cmath>
#include <cstring>

#include "console/powers_of_ten.hpp"

namespace traverse {
namespace {

// "00" "01" .. "99": two digits per table step when writing an integer.
constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^0 .. 10^19, the powers an unsigned 64-bit integer holds.
constexpr std::uint64_t IntegerPowersOfTen[20] = {1ull,
                                                  10ull,
                                                  100ull,
                                                  1000ull,
                                                  10000ull,
                                                  100000ull,
                                                  1000000ull,
                                                  10000000ull,
                                                  100000000ull,
                                                  1000000000ull,
                                                  10000000000ull,
                                                  100000000000ull,
                                                  1000000000000ull,
                                                  10000000000000ull,
                                                  100000000000000ull,
                                                  1000000000000000ull,
                                                  10000000000000000ull,
                                                  100000000000000000ull,
                                                  1000000000000000000ull,
                                                  10000000000000000000ull};

// Digits that a × 10^17 carries: D1 .. D18, with D0 in front.
constexpr std::int32_t ScaledDigitCount = 18;
constexpr std::uint64_t TenToThe18 = 1000000000000000000ull;

constexpr std::int32_t MaxWidth = 255;
constexpr std::int32_t MaxDecimals = 216;
// Beyond this decimal exponent the text switches to the scientific form: a
// fixed text would pass 255 characters with 216 decimals.
constexpr std::int32_t MaxFixedExponent = 35;
constexpr std::int32_t ExponentBias = 16383;
constexpr std::uint32_t ExponentAllOnes = 0x7FFF;

// The fields of an extended value as the x87 stores it in memory.
struct ExtendedFields {
  std::uint64_t significand;  // with the explicit integer bit on top
  std::uint32_t exponent;     // biased, 15 bits
  bool negative;
};

// The significand, biased exponent and sign bit of x.
ExtendedFields FieldsOf(Extended x) {
  unsigned char bytes[sizeof(Extended)];
  std::memcpy(bytes, &x, sizeof bytes);
  ExtendedFields fields{};
  std::memcpy(&fields.significand, bytes, sizeof fields.significand);
  std::uint16_t signExponent = 0;
  std::memcpy(&signExponent, bytes + 8, sizeof signExponent);
  fields.exponent = signExponent & ExponentAllOnes;
  fields.negative = (signExponent & 0x8000u) != 0;
  return fields;
}

// Writes the lowest `count` decimal digits of value, leading zeros included,
// into out[0 .. count-1].
void WriteDigits(std::uint64_t value, std::int32_t count, char* out) {
  char* position = out + count;
  while (count >= 2) {
    const std::size_t pair = static_cast<std::size_t>(value % 100);
    value /= 100;
    position -= 2;
    std::memcpy(position, DigitPairs + 2 * pair, 2);
    count -= 2;
  }
  if (count == 1) *--position = static_cast<char>('0' + value % 10);
}

// For 0 <= a < 16: a × 10^17 in one extended multiplication, rounded to an
// integer with ties to even. Adding 2^63 places the product in [2^63, 2^64),
// where the unit is the last significand bit, so that one rounded addition is
// the rounding to an integer; its significand is then 2^63 plus the integer.
std::uint64_t ScaledInteger(Extended a) {
  const Extended product = a * 1e17L;
  const Extended shifted = product + 0x1p63L;
  return FieldsOf(shifted).significand - (1ull << 63);
}

// D0 .. Dn (n < 18) of a scaled integer v as one integer, rounded half up at
// Dn on D(n+1) alone: adding 5 at D(n+1) and cutting D(n+1) and below off.
std::uint64_t RoundedDigits(std::uint64_t v, std::int32_t n) {
  const std::uint64_t unit = IntegerPowersOfTen[ScaledDigitCount - n];
  return (v + unit / 2) / unit;
}

// Puts spaces in front of text[0 .. length-1] until it is `width` long and
// returns the new length.
std::size_t PadLeft(char* text, std::size_t length, std::int32_t width) {
  const std::size_t wanted = static_cast<std::size_t>(width);
  if (length >= wanted) return length;
  const std::size_t padding = wanted - length;
  std::memmove(text + padding, text, length);
  std::memset(text, ' ', padding);
  return wanted;
}

// Copies `word` into text and pads it to width.
std::size_t WriteWord(const char* word, std::size_t length, std::int32_t width, char* text) {
  std::memcpy(text, word, length);
  return PadLeft(text, length, width);
}

// The fixed text of a × 10^e, e <= 35, when the digits end at n = e + 1 + d
// < 18: all of them fit one rounded integer.
std::size_t WriteShortFixed(std::uint64_t v, bool negative, std::int32_t e, std::int32_t d,
                            std::int32_t width, char* text) {
  const std::int32_t n = e + 1 + d;
  const std::uint64_t digits = RoundedDigits(v, n);
  // The integer part takes D0 only when D0 is "1".
  const bool tens = digits >= IntegerPowersOfTen[n];
  const std::int32_t integerCount = e + 1 + (tens ? 1 : 0);
  const std::size_t length =
      static_cast<std::size_t>((negative ? 1 : 0) + integerCount + (d > 0 ? 1 + d : 0));
  const std::size_t padding =
      length < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - length : 0;
  std::memset(text, ' ', padding);
  char* out = text + padding;
  if (negative) *out++ = '-';
  if (d == 0) {
    WriteDigits(digits, integerCount, out);
  } else if (d == 2) {
    // The form of every coordinate; a constant divisor is a multiplication.
    WriteDigits(digits / 100, integerCount, out);
    out += integerCount;
    *out++ = '.';
    std::memcpy(out, DigitPairs + 2 * (digits % 100), 2);
  } else {
    const std::uint64_t scale = IntegerPowersOfTen[d];
    WriteDigits(digits / scale, integerCount, out);
    out += integerCount;
    *out++ = '.';
    WriteDigits(digits % scale, d, out);
  }
  return padding + length;
}

// The fixed text of a × 10^e, e <= 35, for any n = e + 1 + d.
std::size_t WriteLongFixed(Extended a, bool negative, std::int32_t e, std::int32_t d,
                           std::int32_t width, char* text) {
  const std::int32_t n = e + 1 + d;
  char digits[MaxFixedExponent + 2 + MaxDecimals];  // D0 .. Dn, n <= 252
  DigitString(a, n, digits);
  const std::int32_t first = digits[0] == '0' ? 1 : 0;
  const std::size_t integerCount = static_cast<std::size_t>(e + 2 - first);
  std::size_t length = 0;
  if (negative) text[length++] = '-';
  std::memcpy(text + length, digits + first, integerCount);
  length += integerCount;
  if (d > 0) {
    text[length++] = '.';
    std::memcpy(text + length, digits + e + 2, static_cast<std::size_t>(d));
    length += static_cast<std::size_t>(d);
  }
  return PadLeft(text, length, width);
}

// The scientific text of a × 10^e (e > 35, a in [1, 16)): c mantissa digits and
// a four-digit exponent.
std::size_t WriteScientific(Extended a, bool negative, std::int32_t e, std::int32_t width,
                            char* text) {
  std::int32_t c = width - 8;
  if (c < 2) c = 2;
  if (c > ScaledDigitCount) c = ScaledDigitCount;
  // Below 10 the mantissa is D1 .. Dc, rounded at Dc. From 10 up the
  // normalisation has left one digit more in front (D0 is "1"): the mantissa is
  // D0 .. D(c-1), and it is rounded there, at the printed place.
  const std::int32_t last = a < 10 ? c : c - 1;
  char digits[ScaledDigitCount + 1];
  DigitString(a, last, digits);
  const char* mantissa = digits + 1;
  std::int32_t exponent = e;
  if (digits[0] != '0') {
    // D0 is "1": from a >= 10, or from a rounding carry (then "1" and zeros).
    mantissa = digits;
    exponent = e + 1;
  }
  std::size_t length = 0;
  text[length++] = negative ? '-' : ' ';
  text[length++] = mantissa[0];
  text[length++] = '.';
  std::memcpy(text + length, mantissa + 1, static_cast<std::size_t>(c - 1));
  length += static_cast<std::size_t>(c - 1);
  text[length++] = 'E';
  text[length++] = '+';
  // The largest extended value is about 1.19 × 10^4932: four digits suffice.
  WriteDigits(static_cast<std::uint64_t>(exponent), 4, text + length);
  length += 4;
  return PadLeft(text, length, width);
}

}  // namespace

std::size_t FormatFixed(Extended x, std::int32_t width, std::int32_t decimals, char* text) {
  // The bounds keep the text within FixedTextCapacity; negative values, which
  // no caller passes, count as zero.
  const std::int32_t w = width < 0 ? 0 : (width > MaxWidth ? MaxWidth : width);
  const std::int32_t d = decimals < 0 ? 0 : (decimals > MaxDecimals ? MaxDecimals : decimals);

  const ExtendedFields fields = FieldsOf(x);
  if (fields.exponent == ExponentAllOnes) {
    // Only the true infinity encoding is an infinity; every other pattern
    // with this exponent is a NaN to the x87.
    if (fields.significand == (1ull << 63)) {
      return WriteWord(fields.negative ? "-Inf" : "+Inf", 4, w, text);
    }
    return WriteWord("Nan", 3, w, text);
  }
  if (fields.exponent != 0 && (fields.significand >> 63) == 0) {
    // An unnormal (integer bit clear) is an invalid operand to the x87, which
    // turns it into a NaN; printed as one rather than computed with.
    return WriteWord("Nan", 3, w, text);
  }

  const bool negative = fields.negative;  // so that -0 and tiny negatives keep "-"
  Extended a = std::fabs(x);
  std::int32_t e = 0;
  if (!(a < 10)) {
    const NormalizedDecimal normalized = NormalizeDecimal(a);
    a = normalized.value;
    e = normalized.exponent;
    // Exactly from 2^120 up.
    if (e > MaxFixedExponent) return WriteScientific(a, negative, e, w, text);
  }
  if (e + 1 + d < ScaledDigitCount) {
    return WriteShortFixed(ScaledInteger(a), negative, e, d, w, text);
  }
  return WriteLongFixed(a, negative, e, d, w, text);
}

NormalizedDecimal NormalizeDecimal(Extended a) {
  std::int32_t e = 0;
  // Zero, infinities and NaNs have no decimal exponent; scaling would never
  // bring them into [1, 16).
  if (a == 0) return {a, e};
  for (;;) {
    const std::uint32_t biased = FieldsOf(a).exponent;
    if (biased == ExponentAllOnes) break;
    // floor(binary exponent × log10 2), from below: 19728 / 65536 is just
    // under log10 2, and the arithmetic shift rounds toward minus infinity.
    const std::int32_t k = (static_cast<std::int32_t>(biased) - ExponentBias) * 19728 >> 16;
    if (k == 0) break;
    a = ScaleByPowerOfTen(a, -k);
    e += k;
  }
  return {a, e};
}

void DigitString(Extended a, std::int32_t n, char* digits) {
  if (n < 0) return;
  const std::uint64_t v = ScaledInteger(a);
  if (n < ScaledDigitCount) {
    WriteDigits(RoundedDigits(v, n), n + 1, digits);
    return;
  }
  // All 18 digits and D0; the value has no more, so nothing is rounded.
  digits[0] = v >= TenToThe18 ? '1' : '0';
  WriteDigits(v % TenToThe18, ScaledDigitCount, digits + 1);
  std::memset(digits + ScaledDigitCount + 1, '0', static_cast<std::size_t>(n - ScaledDigitCount));
}

std::size_t FormatInteger(std::int32_t value, char* text) {
  // The magnitude in unsigned arithmetic, so that -2147483648 has one.
  const std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  std::int32_t count = 1;
  while (count < 10 && magnitude >= IntegerPowersOfTen[count]) ++count;
  std::size_t length = 0;
  if (value < 0) text[length++] = '-';
  WriteDigits(magnitude, count, text + length);
  return length + static_cast<std::size_t>(count);
}

}  // namespace traverse
