// Fuzz target: `traverse adjust` from the answers to every writer, fed
// arbitrary answers. The first byte chooses the kind of traverse, the unit
// and the rule; the rest is the answers text.
//
// Invariants: reading and adjusting end either in an adjustment or in one
// JobError with a message and a line within the text (0 for none); no other
// exception, no failure report, no hang. An adjustment has the number of new
// points its kind gives, legs one per length, finite coordinates where the
// inputs are within the survey range, and every writer formats it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "input/answers.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/rules.hpp"
#include "failure/float_checks.hpp"
#include "fuzz_check.hpp"
#include "report/writers.hpp"

namespace traverse::fuzzing {
namespace {

std::size_t ExpectedPoints(const Job& job) {
  const std::size_t n = job.angles.size();
  switch (job.kind) {
    case TraverseKind::Connecting:
    case TraverseKind::Loop:
      return n - 2;
    case TraverseKind::NoEndOrientation:
      return n - 1;
    case TraverseKind::Open:
      return n;
  }
  return 0;
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace traverse;
  using namespace traverse::fuzzing;
  if (size == 0) return 0;
  static const bool ready = (ResetFloatingPoint(), true);
  (void)ready;

  Job job;
  const std::uint8_t choice = data[0];
  const TraverseKind kinds[] = {TraverseKind::Connecting, TraverseKind::NoEndOrientation,
                                TraverseKind::Open, TraverseKind::Connecting};
  const AngleUnit units[] = {AngleUnit::Gon, AngleUnit::Degree, AngleUnit::Dms, AngleUnit::Gon};
  const Rule rules[] = {Rule::Compass, Rule::Transit, Rule::LeastSquares, Rule::Compass};
  job.kind = kinds[choice & 3];
  job.settings.unit = units[(choice >> 2) & 3];
  job.settings.rule = rules[(choice >> 4) & 3];
  if (choice & 0x40) job.settings.angularTolerance = AngularTolerance{10, 5};
  if (choice & 0x80) job.settings.linearTolerance = 5000;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  Adjustment result;
  try {
    ReadAnswers(text, job);
    result = Adjust(job);
  } catch (const JobError& error) {
    FUZZ_CHECK(std::string_view(error.what()).size() > 0, "a JobError without a message");
    FUZZ_CHECK(error.line() >= 0 && error.line() <= LineCount(text) + 1,
               "a JobError line outside the text: " + std::to_string(error.line()));
    return 0;
  }

  FUZZ_CHECK(result.points.size() == ExpectedPoints(job),
             "new points: " + std::to_string(result.points.size()));
  FUZZ_CHECK(result.legs.size() == job.lengths.size(), "one leg per length");
  FUZZ_CHECK(result.linear.has_value() == (job.kind != TraverseKind::Open),
             "a linear misclosure exactly where there is a C");

  ReportOptions options;
  const BookResult answers = AnswerFileResult(job, result);
  for (const std::string& output :
       {FormatText(answers, options), FormatCsv(answers, options), FormatJson(answers, options),
        FormatSvg(answers, options)})
    FUZZ_CHECK(!output.empty(), "a writer wrote nothing");
  return 0;
}
