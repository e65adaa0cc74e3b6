// The built program as a surveyor's script runs it: the worked example byte
// for byte, the one report and the exit code of a failure; and against
// hostile input and hostile handles: closed and odd standard handles, a full
// device, a pipe without a reader, SUB bytes, a huge answer, and seeded random
// inputs. Every run must end normally or with exactly one well-formed report
// and exit code 1, quickly and never by a signal, with everything written
// before the failure on standard output.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "../support/cpu_emulation.hpp"
#include "child_process.hpp"

namespace traverse::e2e {
namespace {

const std::string& WorkedLeft() {
  static const std::string bytes = ReadExample("worked_left.txt");
  return bytes;
}

const std::string& WorkedRight() {
  static const std::string bytes = ReadExample("worked_right.txt");
  return bytes;
}

const std::string& WorkedExpected() {
  static const std::string bytes = ReadExample("worked.expected");
  return bytes;
}

// `text` with its first `from` replaced by `to`.
std::string Replaced(std::string text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

ChildRun RunProgram(const ChildSetup& setup) {
  return RunChild(PROGRAM_UNDER_TEST, setup);
}

ChildRun RunProgram(const std::string& input, OutputTo output = OutputTo::File) {
  ChildSetup setup;
  setup.input = input;
  setup.output = output;
  return RunProgram(setup);
}

// One report: class, module, eight hex digits, the message with its full stop,
// and the empty last line.
const std::regex reportPattern("Exception (E[A-Za-z]+) in module traverse" + ProgramSuffixPattern +
                               " at [0-9A-F]{8}\\.\r\n([^\r\n]*)\r\n\r\n");

// The report of `run` as "EClass: message.", or "" when standard error does
// not hold exactly one well-formed report.
std::string ReportOf(const ChildRun& run) {
  std::smatch match;
  if (!std::regex_match(run.error, match, reportPattern)) return "";
  return match[1].str() + ": " + match[2].str();
}

// Every line the dialogue can write: prompts, empty lines, result lines.
std::regex MakeLinePattern() {
  // A coordinate: fixed, padded to five characters, or scientific.
  const std::string number = " *-?[0-9]+\\.[0-9]{2}|[ -][0-9]\\.[0-9]E\\+[0-9]{4}";
  std::string pattern =
      "Enter the [XY] coordinate of point [ABC] |Enter the X coordinate of point D |"
      "Enter the y coordinate of point D |Measured angles <left/right>|"
      "Enter the number of measured angles |Enter the measured (angle|length) [0-9]{1,3}|"
      "|The coordinate of point [0-9]{1,3}: X= (" +
      number + ")m, Y= (" + number + ")m";
  return std::regex(pattern);
}

// Why `output` is not what a run that ended this way writes: whole lines of
// the dialogue, then the exit prompt after a normal end; "" when it is.
std::string OutputFault(std::string_view output, bool normalEnd) {
  static const std::regex line = MakeLinePattern();
  for (std::size_t end; (end = output.find("\r\n")) != std::string_view::npos;) {
    const std::string text(output.substr(0, end));
    if (!std::regex_match(text, line)) return "unknown line \"" + text + "\"";
    output.remove_prefix(end + 2);
  }
  if (normalEnd && output != "*Press Enter to exit*") return "no exit prompt at the end";
  if (!normalEnd && !output.empty()) return "a failure in the middle of a line";
  return "";
}

// A run of any input: a normal end with nothing on standard error, or exactly
// one report and exit code 1; whole lines of the dialogue on standard output;
// within two seconds and not by a signal.
// Returns whether the run ended normally.
bool ExpectOneEnd(const ChildRun& run, const std::string& input) {
  SCOPED_TRACE("input: " + ::testing::PrintToString(input));
  EXPECT_FALSE(run.killed) << "still running after the time limit";
  EXPECT_LT(run.seconds, 2.0);
  EXPECT_EQ(run.signal, 0);
  if (run.exitCode == 0) {
    EXPECT_EQ(run.error, "");
  } else {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(ReportOf(run), "") << run.error;
  }
  EXPECT_EQ(OutputFault(run.output, run.exitCode == 0), "") << run.output;
  return run.exitCode == 0;
}

constexpr std::string_view firstPrompt = "Enter the X coordinate of point A \r\n";

// The answers of the worked example up to the side question.
const std::string knownPoints =
    "4800.000\n2850.000\n5000.000\n3000.000\n5165.381\n3770.824\n4882.538\n4053.667\n";

TEST(TraverseEndToEnd, WorkedExampleLeftAndRightGiveTheSameBytes) {
  for (const std::string* input : {&WorkedLeft(), &WorkedRight()}) {
    for (OutputTo output : {OutputTo::File, OutputTo::Pipe}) {
      const ChildRun run = RunProgram(*input, output);
      EXPECT_EQ(run.output, WorkedExpected());
      EXPECT_EQ(run.error, "");
      EXPECT_EQ(run.exitCode, 0);
    }
  }
  EXPECT_NE(WorkedExpected().find("The coordinate of point 1: X= 5146.95m, Y= 3202.26m\r\n"),
            std::string::npos);
  EXPECT_NE(WorkedExpected().find("The coordinate of point 2: X= 5100.01m, Y= 3498.55m\r\n"),
            std::string::npos);
}

TEST(TraverseEndToEnd, EndOfInputAtTheExitPromptIsANormalEnd) {
  std::string answers = WorkedLeft();
  answers.erase(answers.find_last_not_of('\n') + 1);  // no line for the exit prompt
  answers.erase(answers.find_last_of('\n') + 1);      // nor for the last length
  answers += "280.009";
  const ChildRun run = RunProgram(answers);
  EXPECT_EQ(run.output, WorkedExpected());
  EXPECT_EQ(run.exitCode, 0);
}

// The address in a report is the failure's offset in the program's image,
// however the program is linked: a code offset lies within the file. (A
// statically linked program has no link map for dladdr to find it in.)
TEST(TraverseEndToEnd, UnreadableNumberEndsTheRunAfterItsPrompt) {
  const ChildRun run = RunProgram("4800,000\n");
  EXPECT_EQ(run.output, firstPrompt);
  EXPECT_EQ(ReportOf(run), "EInOutError: Invalid numeric input.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
  std::smatch address;
  ASSERT_TRUE(std::regex_search(run.error, address, std::regex(" at ([0-9A-F]{8})\\.")));
  const std::uintmax_t offset = std::stoull(address[1].str(), nullptr, 16);
  EXPECT_GT(offset, 0u);
  EXPECT_LT(offset, std::filesystem::file_size(PROGRAM_UNDER_TEST)) << run.error;
}

TEST(TraverseEndToEnd, TruncatedAnswerFileIsNoSuccess) {
  const ChildRun run = RunProgram(knownPoints + "left\n4\n219.0346\n");
  EXPECT_EQ(ReportOf(run), "EInOutError: Read beyond end of file.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.output.ends_with("Enter the measured angle 2\r\n"));
}

// The count is checked as soon as it is read, not cut to its low 8 bits:
// nothing follows its prompt.
TEST(TraverseEndToEnd, CountOutsideTheTablesStopsBeforeAnyComputation) {
  const ChildRun run = RunProgram(knownPoints + "LEFT \n258\n");
  const std::string countPrompt = "Enter the number of measured angles \r\n";
  EXPECT_EQ(run.output,
            WorkedExpected().substr(0, WorkedExpected().find(countPrompt) + countPrompt.size()));
  EXPECT_EQ(ReportOf(run), "ERangeError: Range check error.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

TEST(FaultEndToEnd, ClosedStandardInputIsReportedAtTheFirstNumber) {
  ChildSetup setup;
  setup.inputFrom = InputFrom::Closed;
  const ChildRun run = RunProgram(setup);
  EXPECT_EQ(run.output, firstPrompt);
  EXPECT_EQ(ReportOf(run), "EInOutError: I/O error 104.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// A read that fails keeps its own code: a directory is not the end of data.
TEST(FaultEndToEnd, DirectoryAsStandardInputReportsTheReadError) {
  ChildSetup setup;
  setup.inputFrom = InputFrom::Directory;
  const ChildRun run = RunProgram(setup);
  EXPECT_EQ(run.output, firstPrompt);
  EXPECT_EQ(ReportOf(run), "EInOutError: I/O error " + std::to_string(DirectoryReadCode) + ".")
      << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

TEST(FaultEndToEnd, ClosedStandardOutputIsReportedAtTheFirstPrompt) {
  ChildSetup setup;
  setup.input = WorkedLeft();
  setup.output = OutputTo::Closed;
  const ChildRun run = RunProgram(setup);
  EXPECT_EQ(ReportOf(run), "EInOutError: I/O error 105.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// A full device is a character device: the first line's write fails.
TEST(FaultEndToEnd, FullDeviceIsReportedAtTheFirstLine) {
  if (!HasFullDevice()) GTEST_SKIP() << "no /dev/full here";
  ChildSetup setup;
  setup.input = WorkedLeft();
  setup.output = OutputTo::FullDevice;
  const ChildRun run = RunProgram(setup);
  EXPECT_EQ(ReportOf(run), "EInOutError: I/O error 28.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

TEST(FaultEndToEnd, PipeWithoutReaderIsReportedNotSignalled) {
  const ChildRun run = RunProgram(WorkedLeft(), OutputTo::PipeWithoutReader);
  EXPECT_EQ(ReportOf(run), "EInOutError: I/O error " + std::to_string(BrokenPipeCode) + ".")
      << run.error;
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.signal, 0);
}

// A SUB byte ends the input for the number that follows it.
TEST(FaultEndToEnd, SubBeforeANumberEndsTheInputThere) {
  const ChildRun run = RunProgram(Replaced(WorkedLeft(), "2850.000",
                                           "\x1a"
                                           "2850.000"));
  EXPECT_EQ(run.output, std::string(firstPrompt) + "Enter the Y coordinate of point A \r\n");
  EXPECT_EQ(ReportOf(run), "EInOutError: Read beyond end of file.") << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// Inside the side answer a SUB ends the answer ("le": right angles) and is
// consumed; the rest of its line is skipped and the run goes on.
TEST(FaultEndToEnd, SubInsideTheAnswerEndsTheAnswer) {
  const ChildRun run = RunProgram(Replaced(WorkedLeft(), "left",
                                           "le\x1a"
                                           "ft"));
  const ChildRun asRight = RunProgram(Replaced(WorkedLeft(), "left", "right"));
  EXPECT_EQ(run.exitCode, 0) << run.error;
  EXPECT_EQ(asRight.exitCode, 0) << asRight.error;
  EXPECT_EQ(run.output, asRight.output);
  EXPECT_NE(run.output, WorkedExpected());
}

// Four megabytes of blanks around "left" still answer left, whole and quickly.
TEST(FaultEndToEnd, FourMegabyteAnswerIsReadWhole) {
  const std::string blanks(2 * 1024 * 1024, ' ');
  const ChildRun run = RunProgram(Replaced(WorkedLeft(), "left", blanks + "left\t" + blanks));
  EXPECT_EQ(run.output, WorkedExpected());
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_LT(run.seconds, 2.0);
}

// Tokens that reach every way a read or a computation can end.
constexpr std::string_view hostileTokens[] = {
    "0",
    "-1",
    "258",
    "255",
    "1e400",
    "1E5000",
    "1e-400",
    "12,5",
    "$FF",
    "x",
    "",
    "left",
    "LEFT",
    "-0",
    "1"
    "111111111111111111111111111111111111111111111111111111111111111111",
    "\x1a",
    "\r",
    "\t",
    "9e307",
    "-9e307",
    "0.0000001"};

// A valid input changed in one to four places: bytes replaced, inserted or
// deleted, lines repeated or dropped, tokens swapped for hostile ones.
std::string Mutated(std::mt19937_64& random, std::string input) {
  const int changes = 1 + static_cast<int>(random() % 4);
  for (int change = 0; change < changes && !input.empty(); ++change) {
    const std::size_t at = static_cast<std::size_t>(random() % input.size());
    const std::size_t lineStart =
        input.rfind('\n', at) == std::string::npos ? 0 : input.rfind('\n', at) + 1;
    std::size_t lineEnd = input.find('\n', at);
    if (lineEnd == std::string::npos) lineEnd = input.size();
    switch (random() % 6) {
      case 0:
        input[at] = static_cast<char>(random() % 256);
        break;
      case 1:
        input.insert(at, 1, static_cast<char>(random() % 256));
        break;
      case 2:
        input.erase(at, 1);
        break;
      case 3:
        input.insert(lineStart, input.substr(lineStart, lineEnd - lineStart) + "\n");
        break;
      case 4:
        input.erase(lineStart, lineEnd - lineStart + (lineEnd < input.size() ? 1 : 0));
        break;
      default:
        input.replace(lineStart, lineEnd - lineStart,
                      hostileTokens[random() % std::size(hostileTokens)]);
        break;
    }
  }
  return input;
}

// The rounds of a random test. Every round starts a process; where that takes
// long (32-bit Windows code under CPU emulation, some 0.4 s), a fifth of them.
int Rounds(int rounds) {
  return testing::UnderCpuEmulation() ? rounds / 5 : rounds;
}

TEST(FaultEndToEnd, MutatedValidInputsEndOnce) {
  std::mt19937_64 random(20240617);
  const int rounds = Rounds(300);
  int normalEnds = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string input = Mutated(random, round % 2 == 0 ? WorkedLeft() : WorkedRight());
    ChildSetup setup;
    setup.input = input;
    setup.timeLimit = 10;
    normalEnds += ExpectOneEnd(RunProgram(setup), input);
    if (::testing::Test::HasFailure()) break;
  }
  // Both ways of ending are reached, or the inputs test too little.
  EXPECT_GT(normalEnds, 0);
  EXPECT_LT(normalEnds, rounds);
}

TEST(FaultEndToEnd, RandomByteStringsEndOnce) {
  std::mt19937_64 random(77);
  for (int round = 0, rounds = Rounds(100); round < rounds; ++round) {
    std::string input(static_cast<std::size_t>(random() % 600), '\0');
    // Half the strings mostly digits and line ends, so that some reach far.
    const bool numeric = round % 2 == 0;
    for (char& byte : input) {
      byte = numeric && random() % 8 != 0 ? "0123456789.\n\n-e "[random() % 16]
                                          : static_cast<char>(random() % 256);
    }
    ChildSetup setup;
    setup.input = input;
    setup.timeLimit = 10;
    ExpectOneEnd(RunProgram(setup), input);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace traverse::e2e
