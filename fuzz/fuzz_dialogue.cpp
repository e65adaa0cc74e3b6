// Fuzz target: the whole dialogue, RunTraverse, fed arbitrary standard input
// over the in-memory platform.
//
// Each input is run twice: once with standard output a pipe and every field
// and used table entry of the record poisoned with NaN, once with standard
// output a console and the record cleared (and, when the input holds no SUB
// byte, with reads of one line each, as a console delivers them).
//
// Invariants: both runs end the same way with the same bytes on standard
// output, so no run reads a field an earlier run left behind, and neither the
// kind of output nor the size of reads changes what is written; a run ends
// exactly once through the program's own end: exit code 0 and nothing on
// standard error, or exit code 1 and exactly one well-formed report of a
// failure the dialogue can meet, after every byte of standard output, with no
// I/O code left pending; the output is a prefix, in whole lines, of the
// dialogue of its angle count (prompts, empty lines, result lines of the exact
// form carrying the record's coordinates), and the whole dialogue with the
// exit prompt after a normal end; an I/O failure follows a
// number prompt, a range failure the count prompt; a console gets one write
// per line, a pipe 128-byte blocks and one last write.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/number_writing.hpp"
#include "console/text_channel.hpp"
#include "termination/failure_hooks.hpp"
#include "failure/float_checks.hpp"
#include "termination/run_end.hpp"
#include "termination/start_run.hpp"
#include "fuzz_check.hpp"
#include "support/memory_platform.hpp"
#include "traverse/dialogue.hpp"
#include "traverse/record_support.hpp"
#include "traverse/traverse.hpp"

namespace traverse::fuzzing {
namespace {

struct Outcome {
  int exitCode = -1;
  bool normalEnd = false;
  std::string failureClass;  // from the report; empty after a normal end
  std::string message;       // from the report, without its full stop
  std::string output;
  std::vector<std::string> writes;
};

// Every field and every table entry a run can reach set to NaN, the count
// and the side answer to values no run starts from.
void PoisonRecord(TTraverse& record) {
  const double poison = std::nan("");
  for (double* field : {&record.XA,
                        &record.YA,
                        &record.XB,
                        &record.YB,
                        &record.XC,
                        &record.YC,
                        &record.XD,
                        &record.YD,
                        &record.DxCD,
                        &record.DyCD,
                        &record.DxAB,
                        &record.DyAB,
                        &record.BearingCD,
                        &record.BearingAB,
                        &record.TheoreticalAngleSum,
                        &record.MeasuredAngleSum,
                        &record.AngularMisclosure,
                        &record.AngleCorrection,
                        &record.SumIncrementX,
                        &record.DxBC,
                        &record.DyBC,
                        &record.SumIncrementY,
                        &record.MisclosureX,
                        &record.SumLength,
                        &record.MisclosureY})
    *field = poison;
  record.AngleSide = "left";
  record.AngleCount = 77;
  for (double* table :
       {record.MeasuredAngle, record.CorrectedAngle, record.LegLength, record.IncrementX,
        record.IncrementY, record.CorrectedIncrementX, record.CorrectedIncrementY, record.PointX,
        record.LegBearing, record.PointY})
    for (std::size_t i = 0; i < testing::UsedEntries; ++i) table[i] = poison;
}

// Splits `input` into reads of one line each.
void SetLineReads(testing::MemoryPlatform& system, std::string_view input) {
  while (!input.empty()) {
    std::size_t end = input.find('\n');
    end = end == std::string_view::npos ? input.size() : end + 1;
    system.reads.push_back({std::string(input.substr(0, end))});
    input.remove_prefix(end);
  }
}

// Takes the report "Exception <class> in module traverse.exe at <8 hex>.\r\n
// <message>.\r\n\r\n" apart; fails unless standard error holds exactly one.
void ReadReport(std::string_view error, Outcome& outcome) {
  const std::string_view whole = error;
  constexpr std::string_view head = "Exception ";
  constexpr std::string_view module = " in module traverse.exe at ";
  const auto shown = [&] { return "report \"" + Printable(whole) + "\""; };
  FUZZ_CHECK(error.starts_with(head), shown());
  error.remove_prefix(head.size());
  const std::size_t classEnd = error.find(module);
  FUZZ_CHECK(classEnd != std::string_view::npos && classEnd > 0, shown());
  outcome.failureClass = std::string(error.substr(0, classEnd));
  error.remove_prefix(classEnd + module.size());
  FUZZ_CHECK(error.size() > 11 && error.substr(8, 3) == ".\r\n", shown());
  for (char digit : error.substr(0, 8))
    FUZZ_CHECK((digit >= '0' && digit <= '9') || (digit >= 'A' && digit <= 'F'), shown());
  error.remove_prefix(11);
  const std::size_t messageEnd = error.find("\r\n");
  FUZZ_CHECK(messageEnd != std::string_view::npos && error.substr(messageEnd) == "\r\n\r\n",
             shown());
  FUZZ_CHECK(messageEnd > 0 && error[messageEnd - 1] == '.', shown());
  outcome.message = std::string(error.substr(0, messageEnd - 1));
}

// One whole run through the program's own end: RunDialogue either returns
// from the dialogue and ends with 0, or hands the failure to the top-level
// handler, which reports it and ends with 1. The in-memory platform's exit
// throws, so that the run can be looked at.
// Where this program is loaded, so that report addresses come out relative to
// it, as in the program itself.
std::uintptr_t moduleBase = 0;

Outcome Run(std::string_view input, platform::FileType outputType, bool lineReads, bool poison) {
  testing::PlatformScope scope;
  scope->outputType = outputType;
  scope->moduleBase = moduleBase;
  if (lineReads) {
    SetLineReads(*scope, input);
  } else {
    scope->SetInput(std::string(input));
  }
  if (poison) {
    PoisonRecord(TraverseRecord);
  } else {
    testing::ClearRecord(TraverseRecord);
  }
  ExitStatus = 0;
  RuntimeErrorAddress = nullptr;
  ReportedFailure = {nullptr, nullptr};
  SetRuntimeErrorExit(RuntimeErrorExit);
  InstallFailureHooks();

  Outcome outcome;
  try {
    RunDialogue(RunTraverse);
  } catch (const testing::ProcessExit& exit) {
    outcome.exitCode = exit.code;
  }
  // The failure object lives until the run ends; here the run has ended.
  delete ReportedFailure.object;
  ReportedFailure = {nullptr, nullptr};

  FUZZ_CHECK(outcome.exitCode == 0 || outcome.exitCode == 1,
             "the run ended with exit code " + std::to_string(outcome.exitCode));
  outcome.normalEnd = outcome.exitCode == 0;
  if (outcome.normalEnd) {
    FUZZ_CHECK(scope->error.empty(), "a normal end with a report: " + Printable(scope->error));
  } else {
    ReadReport(scope->error, outcome);
  }
  FUZZ_CHECK(PendingIoCode == 0, "an I/O code is left pending at the end of the run");
  FUZZ_CHECK(scope->transcript == scope->output + scope->error,
             "the report came before bytes written earlier");
  outcome.output = scope->output;
  outcome.writes = scope->writes;
  return outcome;
}

// One line of the dialogue of n angles: a fixed text, or result line `point`.
struct Line {
  std::string text;
  int point = 0;
};

std::vector<Line> Dialogue(int n) {
  std::vector<Line> lines;
  for (char name : {'A', 'B', 'C', 'D'}) {
    lines.push_back({std::string("Enter the X coordinate of point ") + name + " "});
    lines.push_back({std::string(name == 'D' ? "Enter the y" : "Enter the Y") +
                     " coordinate of point " + name + " "});
    lines.push_back({""});
  }
  lines.push_back({"Measured angles <left/right>"});
  lines.push_back({"Enter the number of measured angles "});
  lines.push_back({""});
  lines.push_back({""});
  for (int i = 1; i <= n; ++i) lines.push_back({"Enter the measured angle " + std::to_string(i)});
  lines.push_back({""});
  for (int i = 1; i <= n - 1; ++i)
    lines.push_back({"Enter the measured length " + std::to_string(i)});
  for (int i = 1; i <= n - 2; ++i) {
    lines.push_back({""});
    lines.push_back({""});
    lines.push_back({"", i});
  }
  for (int i = 0; i < 5; ++i) lines.push_back({""});
  return lines;
}

std::string Fixed(double value) {
  char text[FixedTextCapacity];
  return std::string(text, FormatFixed(value, 5, 2, text));
}

bool IsNumberPrompt(std::string_view line) {
  return line.starts_with("Enter the X coordinate") || line.starts_with("Enter the Y coordinate") ||
         line.starts_with("Enter the y coordinate") || line.starts_with("Enter the number") ||
         line.starts_with("Enter the measured");
}

void CheckTranscript(const Outcome& outcome, const TTraverse& record) {
  constexpr std::string_view lineEnd = "\r\n";
  constexpr std::string_view exitPrompt = "*Press Enter to exit*";
  std::string_view rest = outcome.output;
  std::vector<std::string_view> lines;
  for (std::size_t end; (end = rest.find(lineEnd)) != std::string_view::npos;) {
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end + lineEnd.size());
  }
  int angles = 0;
  for (std::string_view line : lines) angles += line.starts_with("Enter the measured angle ");
  // Built once per count: the runs are many, the counts few.
  static std::vector<Line> dialogues[256];
  if (angles > 255) Fail("more than 255 angle prompts");
  std::vector<Line>& expected = dialogues[angles];
  if (expected.empty()) expected = Dialogue(angles);
  FUZZ_CHECK(lines.size() <= expected.size(), "more lines than the dialogue has");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (expected[i].point == 0) {
      FUZZ_CHECK(lines[i] == expected[i].text, "line " + std::to_string(i + 1) + " is \"" +
                                                   Printable(lines[i]) + "\", want \"" +
                                                   expected[i].text + "\"");
    } else {
      const int point = expected[i].point;
      const std::string want = "The coordinate of point " + std::to_string(point) +
                               ": X= " + Fixed(record.PointX[point]) +
                               "m, Y= " + Fixed(record.PointY[point]) + "m";
      FUZZ_CHECK(lines[i] == want,
                 "result line \"" + Printable(lines[i]) + "\", want \"" + want + "\"");
    }
  }
  if (outcome.normalEnd) {
    FUZZ_CHECK(angles == record.AngleCount, "the count and the angle prompts differ");
    FUZZ_CHECK(lines.size() == expected.size() && rest == exitPrompt,
               "a normal end without the whole dialogue and the exit prompt");
    return;
  }
  FUZZ_CHECK(rest.empty() && !lines.empty(), "a failure in the middle of a line");
  const std::string_view last = lines.back();
  const std::string& name = outcome.failureClass;
  if (name == "EInOutError") {
    FUZZ_CHECK(
        outcome.message == "Read beyond end of file" || outcome.message == "Invalid numeric input",
        "an I/O failure the input alone cannot cause: " + outcome.message);
    FUZZ_CHECK(IsNumberPrompt(last), "an I/O failure after \"" + Printable(last) + "\"");
  } else if (name == "ERangeError") {
    FUZZ_CHECK(last == "Enter the number of measured angles ", "a range failure elsewhere");
    FUZZ_CHECK(outcome.message == "Range check error", "range message");
  } else if (name == "EOverflow") {
    FUZZ_CHECK(outcome.message == "Floating point overflow", "overflow message");
  } else if (name == "EInvalidOp") {
    FUZZ_CHECK(outcome.message == "Invalid floating point operation", "invalid operation message");
  } else if (name == "EZeroDivide") {
    FUZZ_CHECK(outcome.message == "Floating point division by zero", "division message");
  } else {
    Fail("a failure the dialogue cannot meet: " + name);
  }
}

// A console shows each line when it ends; a pipe gets full blocks and a last
// write.
void CheckWrites(const Outcome& console, const Outcome& pipe) {
  for (std::size_t i = 0; i < console.writes.size(); ++i) {
    const std::string& write = console.writes[i];
    FUZZ_CHECK(write.size() <= ChannelBufferSize, "a console write over 128 bytes");
    FUZZ_CHECK(write.ends_with("\r\n") || (i + 1 == console.writes.size() && console.normalEnd),
               "a console write that does not end a line: \"" + Printable(write) + "\"");
  }
  for (std::size_t i = 0; i + 1 < pipe.writes.size(); ++i)
    FUZZ_CHECK(pipe.writes[i].size() == ChannelBufferSize, "a pipe write short of 128 bytes");
}

}  // namespace
}  // namespace traverse::fuzzing

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  traverse::ResetFloatingPoint();
  traverse::platform::ModuleInfo module;
  if (traverse::platform::System().ModuleOf(reinterpret_cast<const void*>(&traverse::RunTraverse),
                                            module))
    traverse::fuzzing::moduleBase = module.base;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace traverse::fuzzing;
  using traverse::platform::FileType;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const bool sub = input.find('\x1a') != std::string_view::npos;
  const Outcome pipe = Run(input, FileType::Pipe, false, true);
  const Outcome console = Run(input, FileType::Char, !sub, false);
  CheckTranscript(console, traverse::TraverseRecord);
  FUZZ_CHECK(pipe.normalEnd == console.normalEnd && pipe.failureClass == console.failureClass &&
                 pipe.message == console.message,
             "the two runs end differently: " + pipe.failureClass + " and " + console.failureClass);
  FUZZ_CHECK(pipe.output == console.output, "the two runs write different bytes");
  CheckWrites(console, pipe);
  // The side answer's text would outlive the input and count as a leak.
  std::string().swap(traverse::TraverseRecord.AngleSide);
  return 0;
}
