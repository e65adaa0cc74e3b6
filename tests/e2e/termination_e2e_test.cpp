// The end of a run as a surveyor's script sees it: the bytes on standard
// output, the one report on standard error, and the exit code, from a
// test-only program that goes through the real start-up and fails on request.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "../support/cpu_emulation.hpp"
#include "child_process.hpp"

namespace traverse::e2e {
namespace {

// What WriteLines of the test program writes for `count` lines.
std::string Lines(int count) {
  std::string lines;
  for (int k = 1; k <= count; ++k) lines += "Point " + std::to_string(k) + " written\r\n";
  return lines;
}

// Shown addresses: eight upper-case hex digits, and zeros for a failure that
// no raise statement made (a C++ exception that reached the entry).
constexpr char anyAddress[] = "[0-9A-F]{8}";
constexpr char noAddress[] = "00000000";

// The whole report for a class and message (a pattern), with the module
// without directory.
std::string Report(const std::string& className, const std::string& message,
                   const std::string& address = anyAddress) {
  return "Exception " + className + " in module failing_program" + ProgramSuffixPattern + " at " +
         address + "\\.\r\n" + message + "\r\n\r\n";
}

// The message of a write to a pipe whose reader has gone (a pattern).
std::string BrokenPipeMessage() {
  std::string message = "I/O error ";  // appended, not "text" + string: g++ 12 warns falsely
  message += std::to_string(BrokenPipeCode);
  return message + "\\.";
}

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

ChildRun RunWith(const std::string& firstLine, OutputTo output = OutputTo::File) {
  return RunChild(PROGRAM_UNDER_TEST, firstLine + "\r\n", output);
}

TEST(TerminationEndToEnd, NormalEndWritesEverythingAndExitsWithZero) {
  ChildRun run = RunWith("ok 20");  // 20 lines: full 128-byte blocks and a remainder
  EXPECT_EQ(run.output, Lines(20));
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(run.exitCode, 0);
}

TEST(TerminationEndToEnd, EveryEarlierByteIsInTheFileBeforeTheReport) {
  ChildRun run = RunWith("zerodivide 20", OutputTo::ErrorFile);
  EXPECT_TRUE(
      Matches(run.error, Lines(20) + Report("EZeroDivide", "Floating point division by zero\\.")))
      << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// The reader went away while bytes were waiting: the forced drain fails, and
// its failure is reported instead of the first one.
TEST(TerminationEndToEnd, BrokenPipeAtTheReportReportsTheWriteFailure) {
  ChildRun run = RunWith("zerodivide 2", OutputTo::PipeWithoutReader);
  EXPECT_TRUE(Matches(run.error, Report("EInOutError", BrokenPipeMessage()))) << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

// The last bytes of a normal run that cannot be written do not end in code 0.
TEST(TerminationEndToEnd, BrokenPipeAtTheNormalEndIsAFailure) {
  ChildRun run = RunWith("ok 2", OutputTo::PipeWithoutReader);
  EXPECT_TRUE(Matches(run.error, Report("EInOutError", BrokenPipeMessage()))) << run.error;
  EXPECT_EQ(run.exitCode, 1);
}

TEST(TerminationEndToEnd, FailureWithoutHooksEndsOnTheRuntimeErrorLine) {
  ChildRun run = RunWith("unhooked 3");
  EXPECT_TRUE(Matches(run.output, Lines(3) + "Runtime error 200 at [0-9A-F]{8,16}\r\n"))
      << run.output;
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(run.exitCode, 200);
}

#if defined(_WIN32)
// A system exception that nothing handles reaches the unhandled-exception
// filter with its record. This one is raised by the system's own call, so no
// CPU emulation stands between it and the filter; its address lies in the
// system module that raised it.
TEST(TerminationEndToEnd, UnhandledSystemExceptionIsReportedFromItsRecord) {
  ChildRun run = RunWith("raise 3");
  EXPECT_EQ(run.output, Lines(3));
  EXPECT_TRUE(Matches(run.error,
                      "Exception EAccessViolation in module [^ ]+ at [0-9A-F]{8}\\.\r\n"
                      "Access violation at address [0-9A-F]{8} in module '[^']+'\\. "
                      "Write of address 00000010\\.\r\n\r\n"))
      << run.error;
  EXPECT_EQ(run.exitCode, 1);
}
#endif

struct FailureCase {
  const char* mode;
  const char* className;
  std::string message;               // a pattern
  const char* address = anyAddress;  // a pattern
  bool needsTrapNumber = false;      // the processor's trap number tells the fault
};

class EveryFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EveryFailure, EndsInOneReportAndExitCodeOne) {
  if (GetParam().needsTrapNumber && testing::UnderCpuEmulation())
    GTEST_SKIP() << testing::EmulatedFaultReason;
  ChildRun run = RunWith(std::string(GetParam().mode) + " 3");
  EXPECT_EQ(run.output, Lines(3));
  EXPECT_TRUE(
      Matches(run.error, Report(GetParam().className, GetParam().message, GetParam().address)))
      << run.error;
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.signal, 0);
}

INSTANTIATE_TEST_SUITE_P(
    TerminationEndToEnd, EveryFailure,
    ::testing::Values(
        FailureCase{"io", "EInOutError", "Invalid numeric input\\."},
        FailureCase{"zerodivide", "EZeroDivide", "Floating point division by zero\\."},
        FailureCase{"invalidop", "EInvalidOp", "Invalid floating point operation\\."},
        FailureCase{"overflow", "EOverflow", "Floating point overflow\\."},
        FailureCase{"outofmemory", "EOutOfMemory", "Out of memory\\.", noAddress},
        FailureCase{"standard", "Exception", "table full\\.", noAddress},
        FailureCase{"foreign", "EExternalException", "External exception E06D7363\\.", noAddress},
        FailureCase{"noexcept", "Exception", "thrown through noexcept\\.", noAddress},
        // Faults no check covers arrive as signals and still end in one report.
        FailureCase{"segv", "EAccessViolation",
                    "Access violation at address [0-9A-F]{8,16} in module 'failing_program" +
                        ProgramSuffixPattern + "'\\. Write of address 00000000\\.",
                    anyAddress, true},
        FailureCase{"intdiv", "EDivByZero", "Division by zero\\.", anyAddress, true},
        // A stack overflow is known by the address it touched, not by a trap number.
        FailureCase{"stack", "EStackOverflow", "Stack overflow\\."}),
    [](const auto& test) { return std::string(test.param.mode); });

}  // namespace
}  // namespace traverse::e2e
