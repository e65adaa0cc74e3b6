// Unsigned 128-bit integers for exact reference values in tests: the
// compiler's own type where it has one (64-bit targets), else a small class
// with the same operators, for 32-bit targets such as the Windows build.
#pragma once

#include <cstdint>

namespace traverse::testing {

#if defined(__SIZEOF_INT128__)

__extension__ using UnsignedWide = unsigned __int128;

#else

class UnsignedWide {
 public:
  constexpr UnsignedWide(std::uint64_t value = 0) : high_(0), low_(value) {}
  constexpr explicit operator std::uint64_t() const { return low_; }

  friend constexpr bool operator==(UnsignedWide a, UnsignedWide b) {
    return a.high_ == b.high_ && a.low_ == b.low_;
  }
  friend constexpr bool operator<(UnsignedWide a, UnsignedWide b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }
  friend constexpr bool operator>(UnsignedWide a, UnsignedWide b) { return b < a; }
  friend constexpr bool operator>=(UnsignedWide a, UnsignedWide b) { return !(a < b); }
  friend constexpr bool operator<=(UnsignedWide a, UnsignedWide b) { return !(b < a); }

  friend constexpr UnsignedWide operator<<(UnsignedWide a, int shift) {
    if (shift <= 0) return a;
    if (shift >= 128) return {};
    if (shift >= 64) return Make(a.low_ << (shift - 64), 0);
    return Make((a.high_ << shift) | (a.low_ >> (64 - shift)), a.low_ << shift);
  }
  friend constexpr UnsignedWide operator>>(UnsignedWide a, int shift) {
    if (shift <= 0) return a;
    if (shift >= 128) return {};
    if (shift >= 64) return Make(0, a.high_ >> (shift - 64));
    return Make(a.high_ >> shift, (a.low_ >> shift) | (a.high_ << (64 - shift)));
  }
  friend constexpr UnsignedWide operator|(UnsignedWide a, UnsignedWide b) {
    return Make(a.high_ | b.high_, a.low_ | b.low_);
  }
  friend constexpr UnsignedWide operator&(UnsignedWide a, UnsignedWide b) {
    return Make(a.high_ & b.high_, a.low_ & b.low_);
  }
  friend constexpr UnsignedWide operator+(UnsignedWide a, UnsignedWide b) {
    const std::uint64_t low = a.low_ + b.low_;
    return Make(a.high_ + b.high_ + (low < a.low_ ? 1 : 0), low);
  }
  friend constexpr UnsignedWide operator-(UnsignedWide a, UnsignedWide b) {
    return Make(a.high_ - b.high_ - (a.low_ < b.low_ ? 1 : 0), a.low_ - b.low_);
  }
  // The product modulo 2^128, from 32-bit partial products.
  friend constexpr UnsignedWide operator*(UnsignedWide a, UnsignedWide b) {
    const std::uint64_t a0 = a.low_ & 0xFFFFFFFFu, a1 = a.low_ >> 32;
    const std::uint64_t b0 = b.low_ & 0xFFFFFFFFu, b1 = b.low_ >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    const std::uint64_t low = (middle << 32) | (p00 & 0xFFFFFFFFu);
    const std::uint64_t high =
        p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32) + a.high_ * b.low_ + a.low_ * b.high_;
    return Make(high, low);
  }

  constexpr UnsignedWide& operator<<=(int shift) { return *this = *this << shift; }
  constexpr UnsignedWide& operator>>=(int shift) { return *this = *this >> shift; }
  constexpr UnsignedWide& operator|=(UnsignedWide b) { return *this = *this | b; }
  constexpr UnsignedWide& operator&=(UnsignedWide b) { return *this = *this & b; }
  constexpr UnsignedWide& operator+=(UnsignedWide b) { return *this = *this + b; }
  constexpr UnsignedWide& operator-=(UnsignedWide b) { return *this = *this - b; }
  constexpr UnsignedWide& operator*=(UnsignedWide b) { return *this = *this * b; }

 private:
  static constexpr UnsignedWide Make(std::uint64_t high, std::uint64_t low) {
    UnsignedWide value(low);
    value.high_ = high;
    return value;
  }

  std::uint64_t high_;
  std::uint64_t low_;
};

struct WideDivision {
  UnsignedWide quotient;
  UnsignedWide remainder;
};

// Quotient and remainder by restoring division, one bit at a time.
constexpr WideDivision DivideWide(UnsignedWide dividend, UnsignedWide divisor) {
  WideDivision result;
  for (int bit = 127; bit >= 0; --bit) {
    result.remainder = (result.remainder << 1) | ((dividend >> bit) & UnsignedWide(1));
    result.quotient <<= 1;
    if (result.remainder >= divisor) {
      result.remainder -= divisor;
      result.quotient |= UnsignedWide(1);
    }
  }
  return result;
}

constexpr UnsignedWide operator/(UnsignedWide a, UnsignedWide b) {
  return DivideWide(a, b).quotient;
}
constexpr UnsignedWide operator%(UnsignedWide a, UnsignedWide b) {
  return DivideWide(a, b).remainder;
}
constexpr UnsignedWide& operator/=(UnsignedWide& a, UnsignedWide b) {
  return a = a / b;
}
constexpr UnsignedWide& operator%=(UnsignedWide& a, UnsignedWide b) {
  return a = a % b;
}

static_assert(UnsignedWide(0xFFFFFFFFFFFFFFFFu) * UnsignedWide(0xFFFFFFFFFFFFFFFFu) ==
              (UnsignedWide(0xFFFFFFFFFFFFFFFEu) << 64) + UnsignedWide(1));
// (123456789 * 2^70 + 42) divided by 1000003, worked out with exact integers.
static_assert(((UnsignedWide(123456789u) << 70) + UnsignedWide(42)) / UnsignedWide(1000003u) ==
              ((UnsignedWide(0x1EDDu) << 64) | UnsignedWide(0x35F67D152FCF0205u)));
static_assert(((UnsignedWide(123456789u) << 70) + UnsignedWide(42)) % UnsignedWide(1000003u) ==
              UnsignedWide(143067u));

#endif

}  // namespace traverse::testing
