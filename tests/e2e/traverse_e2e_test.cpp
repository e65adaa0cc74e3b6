// The program as a surveyor's script runs it: answers from a file, standard
// output compared byte for byte, the one report and the exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file.good()) << path;
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

ChildRun RunProgram(const std::string& input, OutputTo output = OutputTo::File) {
  return RunChild(PROGRAM_UNDER_TEST, input, output);
}

// The report for a class and message, with the address as eight upper-case
// hexadecimal digits and the module without directory.
void ExpectReport(const ChildRun& run, const std::string& className, const std::string& message) {
  const std::string pattern = "Exception " + className + " in module traverse" +
                              ProgramSuffixPattern + " at [0-9A-F]{8}\\.\r\n" + message +
                              "\\.\r\n\r\n";
  EXPECT_TRUE(std::regex_match(run.error, std::regex(pattern))) << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// The answers of the worked example up to the side question.
const std::string knownPoints =
    "4800.000\n2850.000\n5000.000\n3000.000\n5165.381\n3770.824\n4882.538\n4053.667\n";

// The prompts and empty lines of the four known points.
std::string KnownPointPrompts() {
  std::string text;
  for (char point : {'A', 'B', 'C', 'D'}) {
    text += std::string("Enter the X coordinate of point ") + point + " \r\n";
    text += std::string("Enter the ") + (point == 'D' ? "y" : "Y") + " coordinate of point " +
            point + " \r\n\r\n";
  }
  return text;
}

TEST(TraverseEndToEnd, WorkedExampleLeftAndRightGiveTheSameBytes) {
  const std::string expected = ReadFile(EXAMPLES_DIR "/worked.expected");
  for (const char* answers : {"/worked_left.txt", "/worked_right.txt"}) {
    for (OutputTo output : {OutputTo::File, OutputTo::Pipe}) {
      ChildRun run = RunProgram(ReadFile(std::string(EXAMPLES_DIR) + answers), output);
      EXPECT_EQ(run.output, expected) << answers;
      EXPECT_EQ(run.error, "");
      EXPECT_EQ(run.exitCode, 0);
    }
  }
  EXPECT_NE(expected.find("The coordinate of point 1: X= 5146.95m, Y= 3202.26m\r\n"),
            std::string::npos);
  EXPECT_NE(expected.find("The coordinate of point 2: X= 5100.01m, Y= 3498.55m\r\n"),
            std::string::npos);
}

TEST(TraverseEndToEnd, EndOfInputAtTheExitPromptIsANormalEnd) {
  std::string answers = ReadFile(EXAMPLES_DIR "/worked_left.txt");
  answers.erase(answers.find_last_not_of('\n') + 1);  // no line for the exit prompt
  answers.erase(answers.find_last_of('\n') + 1);      // nor for the last length
  answers += "280.009";
  ChildRun run = RunProgram(answers);
  EXPECT_EQ(run.output, ReadFile(EXAMPLES_DIR "/worked.expected"));
  EXPECT_EQ(run.exitCode, 0);
}

TEST(TraverseEndToEnd, UnreadableNumberEndsTheRunAfterItsPrompt) {
  ChildRun run = RunProgram("4800,000\n");
  EXPECT_EQ(run.output, "Enter the X coordinate of point A \r\n");
  ExpectReport(run, "EInOutError", "Invalid numeric input");
}

// The address in a report is the failure's offset in the program's image,
// however the program is linked: a code offset lies within the file. (A
// statically linked program has no link map for dladdr to find it in.)
TEST(TraverseEndToEnd, ReportAddressIsAnOffsetIntoTheProgram) {
  ChildRun run = RunProgram("4800,000\n");
  std::smatch address;
  ASSERT_TRUE(std::regex_search(run.error, address, std::regex(" at ([0-9A-F]{8})\\.")))
      << run.error;
  const std::uintmax_t offset = std::stoull(address[1].str(), nullptr, 16);
  EXPECT_GT(offset, 0u);
  EXPECT_LT(offset, std::filesystem::file_size(PROGRAM_UNDER_TEST)) << run.error;
}

TEST(TraverseEndToEnd, TruncatedAnswerFileIsNoSuccess) {
  ChildRun run = RunProgram(knownPoints + "left\n4\n219.0346\n");
  ExpectReport(run, "EInOutError", "Read beyond end of file");
  EXPECT_EQ(run.output.substr(run.output.size() - 28), "Enter the measured angle 2\r\n");
}

TEST(TraverseEndToEnd, FailuresOfTheComputations) {
  const struct {
    const char* name;
    std::string answers;
    const char* className;
    const char* message;
    std::string outputEnd;  // what standard output ends with
  } cases[] = {
      {"A and B coincide", "1\n1\n1\n1\n5\n5\n6\n6\nleft\n2\n", "EInvalidOp",
       "Invalid floating point operation", "Enter the number of measured angles \r\n\r\n"},
      {"no angles", knownPoints + "left\n0\n", "EZeroDivide", "Floating point division by zero",
       "Enter the number of measured angles \r\n\r\n\r\n"},
      {"count beyond 255", knownPoints + "left\n258\n", "ERangeError", "Range check error",
       "Enter the number of measured angles \r\n"},
      {"value beyond double", "1e400\n", "EOverflow", "Floating point overflow",
       "Enter the X coordinate of point A \r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChildRun run = RunProgram(c.answers);
    ExpectReport(run, c.className, c.message);
    ASSERT_GE(run.output.size(), c.outputEnd.size());
    EXPECT_EQ(run.output.substr(run.output.size() - c.outputEnd.size()), c.outputEnd);
  }
}

// The count is checked as soon as it is read: nothing follows its prompt.
TEST(TraverseEndToEnd, CountOutsideTheTablesStopsBeforeAnyComputation) {
  for (const char* count : {"256", "-1", "300"}) {
    ChildRun run = RunProgram(knownPoints + "LEFT \n" + count + "\n");
    EXPECT_EQ(run.output, KnownPointPrompts() +
                              "Measured angles <left/right>\r\n"
                              "Enter the number of measured angles \r\n");
    ExpectReport(run, "ERangeError", "Range check error");
  }
}

TEST(TraverseEndToEnd, LongestTraverseWrites15Plus5nLines) {
  std::ostringstream answers;
  answers << knownPoints << "right\n255\n";
  for (int i = 1; i <= 255; ++i) answers << "200.0001\n";
  for (int i = 1; i <= 254; ++i) answers << "10.5\n";
  answers << "\n";
  ChildRun run = RunProgram(answers.str());
  EXPECT_EQ(run.exitCode, 0);
  std::size_t lines = 0;
  for (std::size_t at = run.output.find("\r\n"); at != std::string::npos;
       at = run.output.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, 15u + 5u * 255u);
  EXPECT_TRUE(run.output.ends_with("\r\n*Press Enter to exit*"));
}

}  // namespace
}  // namespace traverse::e2e
