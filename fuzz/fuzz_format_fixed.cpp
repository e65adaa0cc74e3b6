// Fuzz target: FormatFixed over arbitrary 80-bit and 64-bit values.
//
// Input: bytes 0-9 an extended value (any bit pattern: unnormals, pseudo-
// denormals and signalling NaNs included), bytes 10-11 a width and 12-13 a
// number of decimals (signed 16-bit, so the bounds are exercised), bytes 14-21
// a double. Missing bytes count as zero.
//
// Invariants, for both values with the given width and decimals and with the
// dialogue's width 5 and 2 decimals: the text is at most 255 characters, at
// least the width (up to 255) and padded only up to it; it is "+Inf", "-Inf" or
// "Nan" exactly for those values, scientific exactly from 2^120 up, otherwise a
// fixed text with the given decimals whose sign is the value's sign bit;
// finite values read back with ParseReal within half a unit of the last
// decimal and 4e-17 of the value (below 1, of 1), so within 0.0051 for two
// decimals below 1e12; values below 10 give exactly the text of an exact reference.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "console/number_reading.hpp"
#include "console/number_writing.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "support/memory_platform.hpp"

namespace traverse::fuzzing {
namespace {

__extension__ using Wide = unsigned __int128;

enum class Class { Finite, Infinite, NotANumber };

struct Fields {
  std::uint64_t significand;
  std::uint32_t exponent;
  bool negative;
};

Fields FieldsOf(Extended x) {
  unsigned char bytes[10];
  std::memcpy(bytes, &x, sizeof bytes);
  Fields fields{};
  std::memcpy(&fields.significand, bytes, 8);
  fields.exponent = (bytes[8] | static_cast<std::uint32_t>(bytes[9]) << 8) & 0x7FFFu;
  fields.negative = (bytes[9] & 0x80) != 0;
  return fields;
}

// How the x87 sees the pattern: unnormals and pseudo-infinities are invalid
// operands, which it turns into NaNs.
Class ClassOf(const Fields& fields) {
  const bool integerBit = (fields.significand >> 63) != 0;
  if (fields.exponent == 0x7FFF) {
    return fields.significand == (std::uint64_t{1} << 63) ? Class::Infinite : Class::NotANumber;
  }
  if (fields.exponent != 0 && !integerBit) return Class::NotANumber;
  return Class::Finite;
}

Extended Magnitude(Extended x) {
  return x < 0 ? -x : x;
}

Extended PowerOfTen(int exponent) {
  Extended power = 1;
  for (int i = 0; i < (exponent < 0 ? -exponent : exponent); ++i) power *= 10;
  return exponent < 0 ? 1 / power : power;
}

std::string DecimalDigits(std::uint64_t value, std::size_t count) {
  std::string digits(count, '0');
  for (std::size_t i = count; i > 0 && value != 0; --i) {
    digits[i - 1] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return digits;
}

// The exact text of a finite x with |x| < 10, worked out in integers the way
// the two roundings are defined: |x| × 10^17 rounded to 64 significant bits,
// then to an integer (ties to even), then half up at the last decimal.
std::string ExactText(const Fields& fields, int width, int decimals) {
  const std::uint64_t tenTo17 = 100000000000000000ull;
  const int binaryExponent =
      (fields.exponent == 0 ? 1 : static_cast<int>(fields.exponent)) - 16383 - 63;
  Wide product = Wide{fields.significand} * tenTo17;
  int bits = 0;
  while (bits < 128 && (product >> bits) != 0) ++bits;
  if (bits > 64) {
    const int cut = bits - 64;
    Wide kept = product >> cut;
    const Wide dropped = product & ((Wide{1} << cut) - 1);
    const Wide half = Wide{1} << (cut - 1);
    if (dropped > half || (dropped == half && (kept & 1) != 0)) ++kept;
    product = kept << cut;
  }
  std::uint64_t scaled = 0;  // |x| × 10^17 as an integer
  const int shift = -binaryExponent;
  if (shift < 128) {
    Wide kept = product >> shift;
    const Wide dropped = product & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    if (dropped > half || (dropped == half && (kept & 1) != 0)) ++kept;
    scaled = static_cast<std::uint64_t>(kept);
  }
  std::string text = fields.negative ? "-" : "";
  if (decimals + 1 < 18) {
    std::uint64_t unit = 1;
    for (int i = 0; i < 17 - decimals; ++i) unit *= 10;
    const std::uint64_t digits = (scaled + unit / 2) / unit;
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    text += std::to_string(digits / scale);
    if (decimals > 0)
      text += "." + DecimalDigits(digits % scale, static_cast<std::size_t>(decimals));
  } else {
    text += std::to_string(scaled / tenTo17);
    text += "." + DecimalDigits(scaled % tenTo17, 17) +
            std::string(static_cast<std::size_t>(decimals - 17), '0');
  }
  if (text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

bool AllDigits(std::string_view text) {
  for (char byte : text) {
    if (byte < '0' || byte > '9') return false;
  }
  return !text.empty();
}

// The value of a written text; false when it lies beyond the extended range,
// as a text rounded up from the largest values can.
template <typename Context>
bool ReadBack(std::string_view text, const Context& context, Extended& value) {
  try {
    const ScanResult<Extended> scan = ParseReal(text.data(), text.data() + text.size());
    FUZZ_CHECK(scan.ok, "text does not read back: " + context());
    value = scan.value;
    return true;
  } catch (const RaisedFailure& failure) {
    FUZZ_CHECK(TakeFailure(failure) == "EOverflow", "reading back raised: " + context());
    return false;
  }
}

void CheckFormat(Extended x, int width, int decimals) {
  char buffer[FixedTextCapacity + 1];
  const std::size_t length = FormatFixed(x, width, decimals, buffer);
  FUZZ_CHECK(length <= FixedTextCapacity, "text longer than 255 characters for " + Bits(x));
  const std::string_view text(buffer, length);
  // What a message shows of the case; worked out only for a message.
  const auto context = [&] {
    return "x=" + Bits(x) + " w=" + std::to_string(width) + " d=" + std::to_string(decimals) +
           " text=\"" + std::string(text) + "\"";
  };
  const int w = width < 0 ? 0 : width > 255 ? 255 : width;
  const int d = decimals < 0 ? 0 : decimals > 216 ? 216 : decimals;
  const Fields fields = FieldsOf(x);
  const Class kind = ClassOf(fields);

  std::string_view body = text;
  while (!body.empty() && body.front() == ' ') body.remove_prefix(1);
  const bool scientific = body.find('E') != std::string_view::npos;
  // The scientific form of a positive value starts with its own blank.
  const std::size_t bodyLength = body.size() + (scientific && body.front() != '-' ? 1 : 0);
  FUZZ_CHECK(length == (bodyLength < static_cast<std::size_t>(w) ? static_cast<std::size_t>(w)
                                                                 : bodyLength),
             "padding wrong: " + context());

  if (kind == Class::Infinite) {
    FUZZ_CHECK(body == (fields.negative ? "-Inf" : "+Inf"), "infinity: " + context());
    return;
  }
  if (kind == Class::NotANumber) {
    FUZZ_CHECK(body == "Nan", "NaN: " + context());
    return;
  }
  const Extended size = Magnitude(x);
  FUZZ_CHECK(!body.empty() && (body.front() == '-') == fields.negative, "sign wrong: " + context());
  std::string_view unsigned_ = body.front() == '-' ? body.substr(1) : body;

  if (size >= 0x1p120L) {
    FUZZ_CHECK(scientific, "no scientific form from 2^120 up: " + context());
    const int c = w - 8 < 2 ? 2 : w - 8 > 18 ? 18 : w - 8;
    const std::size_t mark = unsigned_.find('E');
    const std::string_view mantissa = unsigned_.substr(0, mark);
    const std::string_view exponent = unsigned_.substr(mark);
    FUZZ_CHECK(mantissa.size() == static_cast<std::size_t>(c + 1) && mantissa[0] >= '1' &&
                   mantissa[0] <= '9' && mantissa[1] == '.' && AllDigits(mantissa.substr(2)) &&
                   exponent.size() == 6 && exponent.substr(0, 2) == "E+" &&
                   AllDigits(exponent.substr(2)),
               "scientific form malformed: " + context());
    Extended back = 0;
    if (!ReadBack(unsigned_, context, back)) {
      FUZZ_CHECK(size > 1e4931L, "overflow reading back " + context());
      return;
    }
    const Extended error = Magnitude(back - size);
    // Half a unit of the last mantissa digit, and a tenth of one more for the
    // first rounding (to 17 decimals of the value between 10 and 16).
    FUZZ_CHECK(error <= size * 0.61L * PowerOfTen(1 - c), "scientific value off: " + context());
    return;
  }

  FUZZ_CHECK(!scientific, "scientific form below 2^120: " + context());
  const std::size_t point = unsigned_.find('.');
  const std::string_view integer = unsigned_.substr(0, point);
  FUZZ_CHECK(AllDigits(integer) && (integer == "0" || integer[0] != '0'),
             "integer digits malformed: " + context());
  if (d == 0) {
    FUZZ_CHECK(point == std::string_view::npos, "a point without decimals: " + context());
  } else {
    FUZZ_CHECK(point != std::string_view::npos &&
                   unsigned_.size() - point - 1 == static_cast<std::size_t>(d) &&
                   AllDigits(unsigned_.substr(point + 1)),
               "decimals malformed: " + context());
  }
  Extended back = 0;
  FUZZ_CHECK(ReadBack(unsigned_, context, back), "a fixed text out of range: " + context());
  const Extended error = Magnitude(back - size);
  // Half a unit of the last decimal, and what the first rounding (to 17
  // decimals of the value brought below 16) and reading back may add.
  FUZZ_CHECK(error <= 0.5L * PowerOfTen(-d) * (1 + 1e-12L) + (size < 1 ? 1 : size) * 4e-17L,
             "value does not read back: " + context());
  if (d == 2 && size < 1e12L) FUZZ_CHECK(error <= 0.0051L, "off by more than 0.0051: " + context());
  if (size < 10) {
    FUZZ_CHECK(text == ExactText(fields, w, d),
               "differs from the exact text " + ExactText(fields, w, d) + ": " + context());
  }
}

template <typename T>
T Load(const std::uint8_t* data, std::size_t size, std::size_t at) {
  unsigned char bytes[sizeof(T)] = {};
  for (std::size_t i = 0; i < sizeof(T) && at + i < size; ++i) bytes[i] = data[at + i];
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  traverse::ResetFloatingPoint();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace traverse::fuzzing;
  unsigned char extendedBytes[sizeof(traverse::Extended)] = {};
  for (std::size_t i = 0; i < 10 && i < size; ++i) extendedBytes[i] = data[i];
  traverse::Extended wide;
  std::memcpy(&wide, extendedBytes, sizeof wide);
  const int width = Load<std::int16_t>(data, size, 10);
  const int decimals = Load<std::int16_t>(data, size, 12);
  const double narrow = Load<double>(data, size, 14);
  // Failures are raised as exceptions while the scope lasts.
  traverse::testing::PlatformScope scope;
  try {
    CheckFormat(wide, width, decimals);
    CheckFormat(wide, 5, 2);
    CheckFormat(narrow, width, decimals);
    CheckFormat(narrow, 5, 2);
  } catch (const traverse::RaisedFailure& failure) {
    Fail("FormatFixed raised " + TakeFailure(failure));
  }
  return 0;
}
