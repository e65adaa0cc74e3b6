#include "console/number_reading.hpp"

#include "console/powers_of_ten.hpp"
#include "failure/float_checks.hpp"

namespace traverse {

namespace {

// The digit value of `byte`, or a value above 9 for any other byte.
inline unsigned DigitValue(char byte) {
  return static_cast<unsigned>(static_cast<unsigned char>(byte)) - unsigned{'0'};
}

// The value of a hexadecimal digit, or a value above 15 for any other byte.
inline unsigned HexDigitValue(char byte) {
  const unsigned digit = DigitValue(byte);
  if (digit <= 9) return digit;
  // Folding to lower case maps only "A".."F" onto "a".."f".
  const unsigned letter = (static_cast<unsigned>(static_cast<unsigned char>(byte)) | 0x20u) - 'a';
  return letter <= 5 ? letter + 10 : 16;
}

inline bool IsExponentMark(char byte) {
  return byte == 'e' || byte == 'E';
}

// The mantissa of a real: m := m × 10 + digit, each step rounded to extended.
// While m stays below 2^64 every step is exact, so an integer holds it and
// the extended steps begin only when a digit could leave that range; the
// value is the same either way, the integer steps are just faster.
class MantissaAccumulator {
 public:
  // Appends one decimal digit.
  void Append(unsigned digit) {
    if (!wide_) {
      if (exact_ < ExactLimit) {
        exact_ = exact_ * 10 + digit;
        return;
      }
      wide_ = true;
      wideValue_ = Extended(exact_);
    }
    wideValue_ = wideValue_ * 10.0L;
    wideValue_ = wideValue_ + Extended(digit);
  }

  // The mantissa so far, positive. Only a token of thousands of digits can
  // carry it beyond the extended range, and then it has overflowed.
  Extended Value() const { return wide_ ? CheckExtended(wideValue_) : Extended(exact_); }

  // Whether the mantissa is still below 2^64.
  bool Small() const { return !wide_; }

 private:
  // Below this, m × 10 + 9 still fits in 64 bits: (2^64 - 1 - 9) / 10 rounded up.
  static constexpr std::uint64_t ExactLimit = 1844674407370955161u;

  std::uint64_t exact_ = 0;
  Extended wideValue_ = 0.0L;
  bool wide_ = false;
};

// Past this the exponent accumulator stops growing: every exponent at or
// beyond it already lies far outside the tables, and the 32-bit accumulator
// cannot run over.
constexpr std::int32_t ExponentCeiling = 100000000;

// Exponents at or beyond these lie outside the tables; clamping to them
// keeps the token's meaning (overflow or zero) for any fraction length.
constexpr std::int64_t ScaleCeiling = 5120;
constexpr std::int64_t ScaleFloor = -5120;

}  // namespace

ScanResult<Extended> ParseReal(const char* first, const char* last) {
  const char* p = first;
  MantissaAccumulator mantissa;
  // An empty token is no number (the caller never passes one).
  if (p == last) return {0.0L, p, false};

  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
    if (p == last) return {0.0L, p, false};
  }

  unsigned digit = 0;
  while (p != last && (digit = DigitValue(*p)) <= 9) {
    mantissa.Append(digit);
    ++p;
  }

  std::int64_t fractionDigits = 0;
  if (p != last && *p == '.') {
    ++p;
    while (p != last && (digit = DigitValue(*p)) <= 9) {
      mantissa.Append(digit);
      ++fractionDigits;
      ++p;
    }
  }

  std::int32_t exponent = 0;
  if (p != last && IsExponentMark(*p)) {
    ++p;
    bool exponentNegative = false;
    if (p != last && (*p == '+' || *p == '-')) {
      exponentNegative = *p == '-';
      ++p;
    }
    if (p == last || DigitValue(*p) > 9) return {mantissa.Value(), p, false};
    while (p != last && (digit = DigitValue(*p)) <= 9) {
      if (exponent < ExponentCeiling) exponent = exponent * 10 + static_cast<std::int32_t>(digit);
      ++p;
    }
    if (exponentNegative) exponent = -exponent;
  }

  if (p != last) return {mantissa.Value(), p, false};

  std::int64_t scale = std::int64_t{exponent} - fractionDigits;
  if (scale > ScaleCeiling) scale = ScaleCeiling;
  if (scale < ScaleFloor) scale = ScaleFloor;
  Extended value;
  if (mantissa.Small() && scale >= -31 && scale <= 31) {
    // What ScaleByPowerOfTen does for these exponents: its first table step,
    // alone. Typed numbers nearly always land here, and a mantissa below 2^64
    // cannot leave the range; the division is by a power of ten, never zero.
    const Extended power = PowersOfTenLow[scale >= 0 ? scale : -scale];
    value = scale >= 0 ? mantissa.Value() * power : mantissa.Value() / power;
  } else {
    value = ScaleByPowerOfTen(mantissa.Value(), static_cast<std::int32_t>(scale));
  }
  return {negative ? -value : value, p, true};
}

ScanResult<std::int32_t> ParseInteger(const char* first, const char* last) {
  const char* p = first;
  bool negative = false;
  if (p != last && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == last) return {0, p, false};

  std::uint32_t magnitude = 0;
  const bool hex = *p == '$' || *p == 'x' || *p == 'X' ||
                   (*p == '0' && last - p >= 2 && (p[1] == 'x' || p[1] == 'X'));
  if (hex) {
    p += *p == '0' ? 2 : 1;
    if (p == last) return {0, p, false};
    for (; p != last; ++p) {
      const unsigned digit = HexDigitValue(*p);
      // A ninth significant digit would push bits out of the 32.
      if (digit > 15 || (magnitude >> 28) != 0) return {0, p, false};
      magnitude = (magnitude << 4) | digit;
    }
  } else {
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t value = 0;
    for (; p != last; ++p) {
      const unsigned digit = DigitValue(*p);
      if (digit > 9) return {0, p, false};
      value = value * 10 + digit;
      if (value > limit) return {0, p, false};
    }
    // The loop ran at least once: the token does not end after its sign.
    magnitude = static_cast<std::uint32_t>(value);
  }

  // Two's complement: "-" negates modulo 2^32, and the 32 bits are the value.
  if (negative) magnitude = 0u - magnitude;
  return {static_cast<std::int32_t>(magnitude), p, true};
}

}  // namespace traverse
