#include "input/answers.hpp"

#include <optional>
#include <string>

#include "adjustment/job_error.hpp"
#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "input/tokens.hpp"

namespace traverse {
namespace {

// The answers one per line, blank lines passed over as the dialogue passes
// over them before a number.
class AnswerLines {
 public:
  // A byte order mark before the first answer is the editor's, not the
  // surveyor's.
  explicit AnswerLines(std::string_view text) : lines_(text) {}

  // The next non-blank line, trimmed, for the answer named `what`; a JobError
  // when the answers end first.
  std::string_view Next(const std::string& what) {
    if (std::optional<std::string_view> line = Rest()) return *line;
    throw JobError(lines_.Number() + 1, what + ": expected an answer, found the end of the answers");
  }

  // The next non-blank line, trimmed, when there is one.
  std::optional<std::string_view> Rest() {
    std::string_view line;
    while (lines_.Next(line))
      if (line = Trim(line); !line.empty()) return line;
    return std::nullopt;
  }

  int Line() const { return lines_.Number(); }

 private:
  TextLines lines_;
};

// The answer as one token: a line with more is a typing slip, not a comment.
std::string_view SingleToken(std::string_view answer, const std::string& what, int line) {
  std::size_t end = 0;
  while (end < answer.size() && !IsBlank(answer[end])) ++end;
  if (end < answer.size())
    throw JobError(line, what + ": expected one answer on the line, found " + Quoted(answer));
  return answer;
}

// The next answer as one token. The line is taken after the answer is: as
// arguments of one call their order would be the compiler's choice.
std::string_view NextToken(AnswerLines& lines, const std::string& what) {
  const std::string_view answer = lines.Next(what);
  return SingleToken(answer, what, lines.Line());
}

double ReadNumber(AnswerLines& lines, const std::string& what) {
  const std::string_view token = NextToken(lines, what);
  return ParseDialogueNumber(token, what, lines.Line());
}

double ReadAngle(AnswerLines& lines, const std::string& what, AngleUnit unit) {
  const std::string_view token = NextToken(lines, what);
  return ParseAngle(token, unit, what, lines.Line());
}

void ReadPoint(AnswerLines& lines, char name, GridPoint& point) {
  point.x = ReadNumber(lines, std::string("the X coordinate of point ") + name);
  point.y = ReadNumber(lines, std::string("the Y coordinate of point ") + name);
}

}  // namespace

void ReadAnswers(std::string_view text, Job& job) {
  CheckIsText(text);
  AnswerLines lines(text);
  const bool hasC = job.kind != TraverseKind::Open;
  const bool hasD = job.kind == TraverseKind::Connecting || job.kind == TraverseKind::Loop;

  ReadPoint(lines, 'A', job.a);
  ReadPoint(lines, 'B', job.b);
  if (hasC) ReadPoint(lines, 'C', job.c);
  if (hasD) ReadPoint(lines, 'D', job.d);

  const std::string side = "the side of the angles";
  std::string_view sideAnswer = lines.Next(side);
  if (IsWord(sideAnswer, "left"))
    job.leftAngles = true;
  else if (IsWord(sideAnswer, "right"))
    job.leftAngles = false;
  else
    throw JobError(lines.Line(),
                   side + ": expected 'left' or 'right', found " + Quoted(sideAnswer));

  // The angle at C closes a connecting traverse; the other kinds have one
  // angle per leg. The dialogue's record holds at most 255 angles, and the
  // kinds without C's angle need one place more.
  const std::string countName = "the number of measured angles";
  const std::string_view countToken = NextToken(lines, countName);
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
  for (int i = 1; i <= n; ++i) {
    const double angle =
        ReadAngle(lines, "the measured angle " + std::to_string(i), job.settings.unit);
    job.angles.emplace_back(angle, lines.Line());
  }
  job.lengths.clear();
  for (int i = 1; i <= legs; ++i) {
    const std::string what = "the measured length " + std::to_string(i);
    const std::string_view token = NextToken(lines, what);
    const double length = ParseDialogueNumber(token, what, lines.Line());
    if (!(length > 0))
      throw JobError(lines.Line(), what + ": expected a positive length, found " + Quoted(token));
    job.lengths.emplace_back(length, lines.Line());
  }

  if (std::optional<std::string_view> extra = lines.Rest())
    throw JobError(lines.Line(), "an answer after the last length: " + Quoted(*extra) +
                                     " (is the number of angles right?)");

  if (job.kind == TraverseKind::Connecting && job.c.x == job.b.x && job.c.y == job.b.y &&
      job.d.x == job.a.x && job.d.y == job.a.y)
    job.kind = TraverseKind::Loop;
}

}  // namespace traverse
