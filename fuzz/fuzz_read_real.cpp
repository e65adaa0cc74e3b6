// Fuzz target: the real-number reader. Any bytes, first as one token for
// ParseReal, then as standard input for a run of ReadReal statements.
//
// Invariants: a token is accepted exactly when it follows the real grammar; an
// accepted token of at most 19 significant digits and a scale within 27 reads
// to the correctly rounded value (longer ones to within 2e-17 of it); zero
// mantissas keep the token's sign at any exponent; only a value beyond the
// extended range raises EOverflow; sign, letter case of the exponent mark and
// a leading zero change nothing else; ReadReal takes exactly the tokens the
// channel model finds and leaves 100 at the end of the input and 106 for a
// rejected or over-long token.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "exact_real.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "real_syntax.hpp"
#include "support/memory_platform.hpp"
#include "token_model.hpp"

namespace traverse::fuzzing {
namespace {

struct Parsed {
  ScanResult<Extended> scan{};
  std::string raised;  // the failure class, when one was raised
};

Parsed Parse(std::string_view token) {
  Parsed parsed;
  try {
    parsed.scan = ParseReal(token.data(), token.data() + token.size());
  } catch (const RaisedFailure& failure) {
    parsed.raised = TakeFailure(failure);
  }
  return parsed;
}

// The value and decimal magnitude of a token's mantissa digits.
struct Mantissa {
  bool zero = true;
  std::string significant;  // from the first non-zero digit on
};

Mantissa MantissaOf(const RealSyntax& syntax) {
  Mantissa mantissa;
  std::string digits(syntax.integerDigits);
  digits += syntax.fractionDigits;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return mantissa;
  mantissa.zero = false;
  mantissa.significant = digits.substr(first);
  return mantissa;
}

std::uint64_t DigitsValue(std::string_view digits) {
  std::uint64_t value = 0;
  for (char digit : digits) value = value * 10 + static_cast<std::uint64_t>(digit - '0');
  return value;
}

void CheckToken(std::string_view token) {
  const Parsed parsed = Parse(token);
  const RealSyntax syntax = ScanRealSyntax(token);
  const auto shown = [&] { return Printable(token); };

  if (!parsed.raised.empty()) {
    FUZZ_CHECK(parsed.raised == "EOverflow",
               "only overflow may be raised: " + parsed.raised + " for " + shown());
  } else {
    FUZZ_CHECK(parsed.scan.ok == syntax.ok, "grammar disagrees on " + shown());
    FUZZ_CHECK(parsed.scan.stop >= token.data() && parsed.scan.stop <= token.data() + token.size(),
               "stop outside the token " + shown());
    if (parsed.scan.ok) {
      FUZZ_CHECK(parsed.scan.stop == token.data() + token.size(),
                 "accepted but stopped early: " + shown());
    }
  }
  if (!syntax.ok) {
    FUZZ_CHECK(parsed.raised.empty(), "a rejected token raised: " + shown());
    return;
  }

  const Mantissa mantissa = MantissaOf(syntax);
  // The value's decimal magnitude: m × 10^scale with m of `digits` digits.
  const std::int64_t scale =
      syntax.Exponent() - static_cast<std::int64_t>(syntax.fractionDigits.size());
  const std::int64_t magnitude = scale + static_cast<std::int64_t>(mantissa.significant.size());
  if (mantissa.zero) {
    FUZZ_CHECK(parsed.raised.empty(), "a zero mantissa raised: " + shown());
    FUZZ_CHECK(SameExtended(parsed.scan.value, syntax.negative ? -0.0L : 0.0L),
               "a zero mantissa gave " + Bits(parsed.scan.value) + " for " + shown());
    return;
  }
  // The value lies in [10^(magnitude-1), 10^magnitude), and the largest
  // extended value is about 1.19e4932. The mantissa itself may run out of the
  // range while it is summed, when it has thousands of digits.
  if (!parsed.raised.empty()) {
    FUZZ_CHECK(magnitude >= 4933 || mantissa.significant.size() >= 4933,
               "overflow raised for a value in range: " + shown());
    return;
  }
  FUZZ_CHECK(magnitude <= 4933, "no overflow for a value beyond the range: " + shown());
  const Extended value = parsed.scan.value;
  FUZZ_CHECK(value == value && value - value == 0, "non-finite value for " + shown());

  // The reference from at most 19 significant digits; exact when there are
  // no more, within 1e-18 relative when the rest are cut off.
  const bool cut = mantissa.significant.size() > 19;
  const std::string_view leading = std::string_view(mantissa.significant).substr(0, 19);
  const std::int64_t leadingScale =
      scale + static_cast<std::int64_t>(mantissa.significant.size() - leading.size());
  if (leadingScale >= -27 && leadingScale <= 27) {
    Extended reference = ExactScaled(DigitsValue(leading), static_cast<int>(leadingScale));
    if (syntax.negative) reference = -reference;
    if (!cut) {
      FUZZ_CHECK(SameExtended(value, reference), "not correctly rounded: " + shown() + " gave " +
                                                     Bits(value) + ", want " + Bits(reference));
    } else {
      const Extended difference = value - reference;
      const Extended size = reference < 0 ? -reference : reference;
      FUZZ_CHECK((difference < 0 ? -difference : difference) <= size * 2e-17L,
                 "long token too far from its leading digits: " + shown() + " gave " + Bits(value));
    }
  }

  // What must not change the value.
  const bool signed_ = !token.empty() && (token[0] == '+' || token[0] == '-');
  const std::size_t body = signed_ ? 1 : 0;
  if (!signed_) {
    const Parsed negated = Parse("-" + std::string(token));
    FUZZ_CHECK(
        negated.raised.empty() && negated.scan.ok && SameExtended(negated.scan.value, -value),
        "a minus sign does more than negate: " + shown());
  }
  std::string withZero(token);
  withZero.insert(body, 1, '0');
  const Parsed zeroed = Parse(withZero);
  FUZZ_CHECK(zeroed.raised.empty() && zeroed.scan.ok && SameExtended(zeroed.scan.value, value),
             "a leading zero changed the value: " + shown());
  std::string swapped(token);
  for (char& byte : swapped) {
    if (byte == 'e' || byte == 'E') byte = static_cast<char>(byte ^ 0x20);
  }
  const Parsed recased = Parse(swapped);
  FUZZ_CHECK(recased.raised.empty() && recased.scan.ok && SameExtended(recased.scan.value, value),
             "the case of the exponent mark changed the value: " + shown());
}

// ReadReal statements over the input, each followed by SkipLine, against the
// token model.
void CheckChannel(std::string_view input, testing::MemoryPlatform& system) {
  const std::size_t chunk = input.empty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 128;
  system.SetInput(std::string(input), chunk);
  TokenModel model(input);
  for (int statement = 0; statement < 1000; ++statement) {
    std::string_view token;
    const bool present = model.NextToken(token);
    Extended value = 0;
    std::string raised;
    try {
      value = ReadReal(InputChannel);
    } catch (const RaisedFailure& failure) {
      raised = TakeFailure(failure);
    }
    if (!present) {
      FUZZ_CHECK(raised.empty() && PendingIoCode == 100 && SameExtended(value, 0.0L),
                 "end of input must leave 100 and give 0");
      return;
    }
    const auto shown = [&] { return Printable(token); };
    if (token.size() > RealTokenLimit) {
      FUZZ_CHECK(raised.empty() && PendingIoCode == 106 && SameExtended(value, 0.0L),
                 "an over-long token must leave 106: " + shown());
    } else {
      const Parsed parsed = Parse(token);
      FUZZ_CHECK(raised == parsed.raised, "ReadReal and ParseReal disagree on raising: " + shown());
      if (!raised.empty()) return;  // the run would end here
      FUZZ_CHECK(PendingIoCode == (parsed.scan.ok ? 0 : 106), "wrong code for " + shown());
      FUZZ_CHECK(SameExtended(value, parsed.scan.value),
                 "ReadReal and ParseReal differ: " + shown());
    }
    PendingIoCode = 0;
    SkipLine(InputChannel);
    model.SkipLine();
    FUZZ_CHECK(PendingIoCode == 0, "SkipLine left a code");
  }
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  traverse::ResetFloatingPoint();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Failures are raised as exceptions while the scope lasts.
  traverse::testing::PlatformScope scope;
  traverse::fuzzing::CheckToken(input);
  traverse::fuzzing::CheckChannel(input, *scope);
  return 0;
}
