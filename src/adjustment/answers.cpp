#include "adjustment/answers.hpp"

#include <optional>
#include <string>

#include "adjustment/computation_guard.hpp"
#include "adjustment/job_error.hpp"
#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "failure/float_checks.hpp"

namespace traverse {
namespace {

// Blanks as the dialogue counts them: every byte from 0 to 32.
bool IsBlank(char byte) {
  return static_cast<unsigned char>(byte) <= 32;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// What was found, quoted for a message and cut to a readable length.
std::string Quoted(std::string_view text) {
  constexpr std::size_t shown = 40;
  std::string quoted = "'";
  for (char byte : text.substr(0, shown))
    quoted += static_cast<unsigned char>(byte) < 32 || byte == 127 ? '?' : byte;
  if (text.size() > shown) quoted += "...";
  return quoted + "'";
}

// The answers one per line, blank lines passed over as the dialogue passes
// over them before a number.
class AnswerLines {
 public:
  explicit AnswerLines(std::string_view text) : text_(text) {}

  // The next non-blank line, trimmed, for the answer named `what`; a JobError
  // when the answers end first.
  std::string_view Next(const std::string& what) {
    if (std::optional<std::string_view> line = Rest()) return *line;
    throw JobError(line_ + 1, what + ": expected an answer, found the end of the answers");
  }

  // The next non-blank line, trimmed, when there is one.
  std::optional<std::string_view> Rest() {
    while (at_ < text_.size()) {
      std::size_t end = text_.find('\n', at_);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view line = Trim(text_.substr(at_, end - at_));
      at_ = end + 1;
      ++line_;
      if (!line.empty()) return line;
    }
    return std::nullopt;
  }

  int Line() const { return line_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 0;
};

// The answer as one token: a line with more is a typing slip, not a comment.
std::string_view SingleToken(std::string_view answer, const std::string& what, int line) {
  std::size_t end = 0;
  while (end < answer.size() && !IsBlank(answer[end])) ++end;
  if (end < answer.size())
    throw JobError(line, what + ": expected one answer on the line, found " + Quoted(answer));
  return answer;
}

// A real in the dialogue's number syntax, rounded to double.
double ParseNumber(std::string_view token, const std::string& what, int line) {
  if (token.size() > RealTokenLimit)
    throw JobError(line, what + ": " + Quoted(token) + " is too long for a number");
  FailuresAsExceptions guard;
  try {
    ScanResult<Extended> scan = ParseReal(token.data(), token.data() + token.size());
    if (!scan.ok) throw JobError(line, what + ": " + Quoted(token) + " is not a number");
    return StoreReal(scan.value);
  } catch (const RaisedFailure& failure) {
    TakeFailureMessage(failure);
    throw JobError(line, what + ": " + Quoted(token) + " is beyond the range of numbers");
  }
}

double ReadNumber(AnswerLines& lines, const std::string& what) {
  std::string_view token = SingleToken(lines.Next(what), what, lines.Line());
  return ParseNumber(token, what, lines.Line());
}

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

// D-M-S with an optional sign before D and a decimal fraction allowed on the
// seconds, in gon: 123-45-30.5 is 123 degrees 45 minutes 30.5 seconds.
double ParseDms(std::string_view token, const std::string& what, int line) {
  const std::string bad = what + ": " + Quoted(token) + " is not an angle D-M-S";
  bool negative = false;
  std::string_view rest = token;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  const std::size_t first = rest.find('-');
  const std::size_t second = first == std::string_view::npos ? first : rest.find('-', first + 1);
  if (second == std::string_view::npos) throw JobError(line, bad);
  long double degrees = 0, minutes = 0;
  std::string_view secondsText = rest.substr(second + 1);
  if (!ParseWhole(rest.substr(0, first), degrees) ||
      !ParseWhole(rest.substr(first + 1, second - first - 1), minutes) || secondsText.empty() ||
      secondsText.front() == '-' || secondsText.front() == '+')
    throw JobError(line, bad);
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

double ReadAngle(AnswerLines& lines, const std::string& what, AngleUnit unit) {
  std::string_view token = SingleToken(lines.Next(what), what, lines.Line());
  if (unit == AngleUnit::Dms) return ParseDms(token, what, lines.Line());
  return UnitToGon(ParseNumber(token, what, lines.Line()), unit);
}

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    char byte = text[at];
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
    if (byte != word[at]) return false;
  }
  return true;
}

void ReadPoint(AnswerLines& lines, char name, GridPoint& point) {
  point.x = ReadNumber(lines, std::string("the X coordinate of point ") + name);
  point.y = ReadNumber(lines, std::string("the Y coordinate of point ") + name);
}

}  // namespace

void ReadAnswers(std::string_view text, Job& job) {
  AnswerLines lines(text);
  const bool hasC = job.kind != TraverseKind::Open;
  const bool hasD = job.kind == TraverseKind::Connecting || job.kind == TraverseKind::Loop;

  ReadPoint(lines, 'A', job.a);
  ReadPoint(lines, 'B', job.b);
  if (hasC) ReadPoint(lines, 'C', job.c);
  if (hasD) ReadPoint(lines, 'D', job.d);

  const std::string side = "the side of the angles";
  std::string_view sideAnswer = lines.Next(side);
  if (EqualsIgnoringCase(sideAnswer, "left"))
    job.leftAngles = true;
  else if (EqualsIgnoringCase(sideAnswer, "right"))
    job.leftAngles = false;
  else
    throw JobError(lines.Line(),
                   side + ": expected 'left' or 'right', found " + Quoted(sideAnswer));

  // The angle at C closes a connecting traverse; the other kinds have one
  // angle per leg. The dialogue's record holds at most 255 angles, and the
  // kinds without C's angle need one place more.
  const std::string countName = "the number of measured angles";
  std::string_view countToken = SingleToken(lines.Next(countName), countName, lines.Line());
  const ScanResult<std::int32_t> count =
      countToken.size() > IntegerTokenLimit
          ? ScanResult<std::int32_t>{0, nullptr, false}
          : ParseInteger(countToken.data(), countToken.data() + countToken.size());
  if (!count.ok)
    throw JobError(lines.Line(), countName + ": " + Quoted(countToken) + " is not a whole number");
  const int least = hasD ? 2 : 1;
  const int most = hasD ? 255 : 254;
  if (count.value < least || count.value > most)
    throw JobError(lines.Line(), countName + ": expected " + std::to_string(least) + " to " +
                                     std::to_string(most) + ", found " +
                                     std::to_string(count.value));
  const int n = count.value;
  const int legs = LegCount(job.kind, n);

  job.angles.clear();
  job.angleLines.clear();
  for (int i = 1; i <= n; ++i) {
    job.angles.push_back(ReadAngle(lines, "the measured angle " + std::to_string(i), job.unit));
    job.angleLines.push_back(lines.Line());
  }
  job.lengths.clear();
  job.lengthLines.clear();
  for (int i = 1; i <= legs; ++i) {
    const std::string what = "the measured length " + std::to_string(i);
    std::string_view token = SingleToken(lines.Next(what), what, lines.Line());
    const double length = ParseNumber(token, what, lines.Line());
    if (!(length > 0))
      throw JobError(lines.Line(), what + ": expected a positive length, found " + Quoted(token));
    job.lengths.push_back(length);
    job.lengthLines.push_back(lines.Line());
  }

  if (std::optional<std::string_view> extra = lines.Rest())
    throw JobError(lines.Line(), "an answer after the last length: " + Quoted(*extra) +
                                     " (is the number of angles right?)");

  if (job.kind == TraverseKind::Connecting && job.c.x == job.b.x && job.c.y == job.b.y &&
      job.d.x == job.a.x && job.d.y == job.a.y)
    job.kind = TraverseKind::Loop;
}

}  // namespace traverse
