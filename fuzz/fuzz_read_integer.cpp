// Fuzz target: the integer reader. Any bytes, first as one token for
// ParseInteger, then as standard input for a run of ReadInteger statements.
//
// Invariants: ParseInteger agrees with a reference that counts significant
// digits (decimal within -2147483648..2147483647, hexadecimal of at most 8
// significant digits read as two's complement and negated modulo 2^32), in
// acceptance, value and where it stops when it accepts; ReadInteger takes
// exactly the tokens the channel model finds and leaves 100 at the end of the
// input and 106 for a rejected or over-long token.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "support/memory_platform.hpp"
#include "token_model.hpp"

namespace traverse::fuzzing {
namespace {

struct Reference {
  bool ok = false;
  std::int32_t value = 0;
};

int HexDigit(char byte) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

Reference ReferenceInteger(std::string_view token) {
  Reference reference;
  bool negative = false;
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
    negative = token[0] == '-';
    token.remove_prefix(1);
  }
  if (token.empty()) return reference;
  const bool hex = token[0] == '$' || token[0] == 'x' || token[0] == 'X' ||
                   (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'));
  std::string_view digits = token.substr(hex && token[0] == '0' ? 2 : hex ? 1 : 0);
  if (digits.empty()) return reference;
  for (char byte : digits) {
    if (hex ? HexDigit(byte) < 0 : !(byte >= '0' && byte <= '9')) return reference;
  }
  const std::size_t first = digits.find_first_not_of('0');
  const std::string_view significant =
      first == std::string_view::npos ? std::string_view{} : digits.substr(first);
  if (significant.size() > (hex ? 8u : 10u)) return reference;
  std::uint64_t magnitude = 0;
  for (char byte : significant) {
    magnitude = magnitude * (hex ? 16u : 10u) + static_cast<std::uint64_t>(HexDigit(byte));
  }
  if (!hex && magnitude > (negative ? 2147483648u : 2147483647u)) return reference;
  std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  reference.ok = true;
  reference.value = static_cast<std::int32_t>(bits);
  return reference;
}

void CheckToken(std::string_view token) {
  const ScanResult<std::int32_t> scan = ParseInteger(token.data(), token.data() + token.size());
  const Reference reference = ReferenceInteger(token);
  const auto shown = [&] { return Printable(token); };
  FUZZ_CHECK(scan.ok == reference.ok, "acceptance differs for " + shown());
  FUZZ_CHECK(scan.stop >= token.data() && scan.stop <= token.data() + token.size(),
             "stop outside the token " + shown());
  if (scan.ok) {
    FUZZ_CHECK(scan.value == reference.value, "value differs for " + shown());
    FUZZ_CHECK(scan.stop == token.data() + token.size(), "accepted but stopped early: " + shown());
  }
}

// ReadInteger statements over the input, each followed by SkipLine, against
// the token model.
void CheckChannel(std::string_view input, testing::MemoryPlatform& system) {
  const std::size_t chunk = input.empty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 128;
  system.SetInput(std::string(input), chunk);
  TokenModel model(input);
  for (int statement = 0; statement < 1000; ++statement) {
    std::string_view token;
    const bool present = model.NextToken(token);
    const std::int32_t value = ReadInteger(InputChannel);
    if (!present) {
      FUZZ_CHECK(PendingIoCode == 100 && value == 0, "end of input must leave 100 and give 0");
      return;
    }
    const auto shown = [&] { return Printable(token); };
    if (token.size() > IntegerTokenLimit) {
      FUZZ_CHECK(PendingIoCode == 106, "an over-long token must leave 106: " + shown());
    } else {
      const ScanResult<std::int32_t> scan = ParseInteger(token.data(), token.data() + token.size());
      FUZZ_CHECK(PendingIoCode == (scan.ok ? 0 : 106), "wrong code for " + shown());
      if (scan.ok)
        FUZZ_CHECK(value == scan.value, "ReadInteger and ParseInteger differ: " + shown());
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
