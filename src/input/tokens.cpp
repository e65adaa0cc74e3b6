#include "input/tokens.hpp"
#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "failure/computation_guard.hpp"
#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "failure/float_checks.hpp"

namespace traverse {
namespace {

// Digits only, for the degrees and minutes of a DMS angle.
bool ParseWhole(std::string_view digits, long double& value) {
  if (digits.empty() || digits.size() > 9) return false;
  value = 0;
  for (char digit : digits) {
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + (digit - '0');
  }
  return true;
}

}  // namespace

bool IsWord(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t at = 0; at < word.size(); ++at) {
    const char byte = word[at];
    if ((byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte) != keyword[at])
      return false;
  }
  return true;
}

bool OneEditApart(std::string_view first, std::string_view second) {
  // Keywords are read in any case, so their near misses are too.
  std::string a(first), b(second);
  for (std::string* word : {&a, &b})
    for (char& c : *word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (a.size() < b.size()) std::swap(a, b);
  if (a.size() - b.size() > 1) return false;
  std::size_t at = 0;
  while (at < b.size() && a[at] == b[at]) ++at;
  if (at == b.size()) return a.size() != b.size();  // one added at the end, or the same
  if (a.size() != b.size()) return a.compare(at + 1, std::string::npos, b, at) == 0;
  return a.compare(at + 1, std::string::npos, b, at + 1) == 0 ||
         (at + 1 < a.size() && a[at] == b[at + 1] && a[at + 1] == b[at] &&
          a.compare(at + 2, std::string::npos, b, at + 2) == 0);
}

void CheckIsText(std::string_view text) {
  text = WithoutByteOrderMark(text);
  if (Trim(text).empty()) throw JobError(0, "the input is empty: no field book and no answers");
  const std::string_view first = text.substr(0, text.find('\n'));
  if (first.find('\0') != std::string_view::npos)
    throw JobError(1, "the input is not text: its first line holds a NUL byte");
  // UTF-8: a lead byte, then as many continuation bytes as it announces,
  // no overlong form, no surrogate, nothing beyond U+10FFFF.
  for (std::size_t at = 0; at < first.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(first[i]); };
    const unsigned lead = byte(at);
    const std::size_t more = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1
                             : lead >= 0xE0 && lead < 0xF0             ? 2
                             : lead >= 0xF0 && lead < 0xF5             ? 3
                                                                        : 4;
    bool valid = more < 4 && at + more < first.size() + (more == 0 ? 1 : 0);
    for (std::size_t i = 1; valid && i <= more; ++i) valid = (byte(at + i) & 0xC0) == 0x80;
    if (valid && more >= 2) {
      const unsigned second = byte(at + 1);
      valid = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0) &&
              !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
    }
    if (!valid) throw JobError(1, "the input is not text: its first line is not valid UTF-8");
    at += more + 1;
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

std::string Quoted(std::string_view text) {
  constexpr std::size_t shown = 40;
  std::string quoted = "'";
  for (char byte : text.substr(0, shown))
    quoted += static_cast<unsigned char>(byte) < 32 || byte == 127 ? '?' : byte;
  if (text.size() > shown) quoted += "...";
  return quoted + "'";
}

bool TextLines::Next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  std::size_t end;
  if (bareCr_) {
    // The next CR and the next LF, each found once by a scan of its own
    // (find_first_of would try both characters at every byte) and kept
    // until the walk passes it.
    if (at_ == 0 || nextCr_ < at_)
      nextCr_ = text_.find('\r', at_);
    if (at_ == 0 || nextLf_ < at_)
      nextLf_ = text_.find('\n', at_);
    end = std::min(nextCr_, nextLf_);
  } else {
    end = text_.find('\n', at_);
  }
  if (end == std::string_view::npos) end = text_.size();
  line = text_.substr(at_, end - at_);
  if (bareCr_ && end < text_.size() && text_[end] == '\r' && end + 1 < text_.size() &&
      text_[end + 1] == '\n')
    ++end;
  else if (!bareCr_ && !line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  at_ = end + 1;
  ++number_;
  return true;
}

NumberScan ScanNumber(std::string_view token) {
  if (token.size() > RealTokenLimit) return {0, NumberFault::TooLong};
  FailuresAsExceptions guard;
  try {
    const ScanResult<Extended> scan = ParseReal(token.data(), token.data() + token.size());
    if (!scan.ok) return {0, NumberFault::NotANumber};
    return {StoreReal(scan.value), NumberFault::None};
  } catch (const RaisedFailure& failure) {
    TakeFailureMessage(failure);
    return {0, NumberFault::OutOfRange};
  }
}

NumberScan ScanDecimal(std::string_view token) {
  NumberScan scan = ScanNumber(token);  // the syntax and the range of the dialogue's numbers
  if (scan.fault != NumberFault::None) return scan;
  std::string_view digits = token;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc() && end == digits.data() + digits.size()) scan.value = value;
  return scan;
}

std::string NumberMessage(const std::string& what, std::string_view token, NumberFault fault) {
  const char* why = fault == NumberFault::TooLong      ? " is too long for a number"
                    : fault == NumberFault::OutOfRange ? " is beyond the range of numbers"
                                                       : " is not a number";
  return what + ": " + Quoted(token) + why;
}

double ParseNumber(std::string_view token, const std::string& what, int line) {
  return ParseNumberNamed(token, [&what] { return what; }, line);
}

double ParseDialogueNumber(std::string_view token, const std::string& what, int line) {
  const NumberScan scan = ScanNumber(token);
  if (scan.fault == NumberFault::None) return scan.value;
  throw JobError(line, NumberMessage(what, token, scan.fault));
}

double ParseDms(std::string_view token, const std::string& what, int line) {
  // The message is made only for a token refused.
  const auto bad = [&] {
    return JobError(line, what + ": " + Quoted(token) + " is not an angle D-M-S");
  };
  bool negative = false;
  std::string_view rest = token;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  const std::size_t first = rest.find('-');
  const std::size_t second = first == std::string_view::npos ? first : rest.find('-', first + 1);
  if (second == std::string_view::npos) throw bad();
  long double degrees = 0, minutes = 0;
  std::string_view secondsText = rest.substr(second + 1);
  if (!ParseWhole(rest.substr(0, first), degrees) ||
      !ParseWhole(rest.substr(first + 1, second - first - 1), minutes) || secondsText.empty() ||
      secondsText.front() == '-' || secondsText.front() == '+')
    throw bad();
  const double seconds = ParseNumber(secondsText, what, line);
  if (minutes >= 60) throw JobError(line, what + ": " + Quoted(token) + " has 60 or more minutes");
  if (!(seconds >= 0) || seconds >= 60)
    throw JobError(line, what + ": " + Quoted(token) + " has 60 or more seconds");
  // One rounding: the whole angle in seconds, then to gon (3240 seconds of arc
  // to the gon).
  const long double totalSeconds = (degrees * 3600 + minutes * 60) + seconds;
  const long double gon = totalSeconds / 3240.0L;
  return static_cast<double>(negative ? -gon : gon);
}

double ParseAngle(std::string_view token, AngleUnit unit, const std::string& what, int line) {
  if (unit == AngleUnit::Dms) return ParseDms(token, what, line);
  return UnitToGon(ParseNumber(token, what, line), unit);
}

}  // namespace traverse
