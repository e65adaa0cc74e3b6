// The grammar of a real token, scanned independently of ParseReal:
// [+-]? digits* ("." digits*)? ([eE] [+-]? digits+)?, neither empty nor a lone
// sign.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace traverse::fuzzing {

inline bool IsDigit(char byte) {
  return byte >= '0' && byte <= '9';
}

struct RealSyntax {
  bool ok = false;
  bool negative = false;
  std::string_view integerDigits;
  std::string_view fractionDigits;
  std::string_view exponentDigits;
  bool exponentNegative = false;

  // The exponent as written, held at +-2^40 so that it cannot run over.
  std::int64_t Exponent() const {
    std::int64_t value = 0;
    for (char digit : exponentDigits) {
      if (value < (std::int64_t{1} << 40)) value = value * 10 + (digit - '0');
    }
    return exponentNegative ? -value : value;
  }
};

inline RealSyntax ScanRealSyntax(std::string_view token) {
  RealSyntax syntax;
  std::size_t at = 0;
  auto digitsFrom = [&](std::size_t start) {
    while (at < token.size() && IsDigit(token[at])) ++at;
    return token.substr(start, at - start);
  };
  if (at < token.size() && (token[at] == '+' || token[at] == '-')) {
    syntax.negative = token[at] == '-';
    ++at;
  }
  if (at == token.size()) return syntax;  // empty, or a sign alone
  syntax.integerDigits = digitsFrom(at);
  if (at < token.size() && token[at] == '.') {
    ++at;
    syntax.fractionDigits = digitsFrom(at);
  }
  if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
    ++at;
    if (at < token.size() && (token[at] == '+' || token[at] == '-')) {
      syntax.exponentNegative = token[at] == '-';
      ++at;
    }
    syntax.exponentDigits = digitsFrom(at);
    if (syntax.exponentDigits.empty()) return syntax;
  }
  syntax.ok = at == token.size();
  return syntax;
}

}  // namespace traverse::fuzzing
