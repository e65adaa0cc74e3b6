// How a run ends: the order of output and report, the failure of the forced
// drain replacing the one being reported, the fallback line and the exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <regex>
#include <stdexcept>
#include <string>

#include "console/io_code.hpp"
#include "console/text_output.hpp"
#include "failure/float_checks.hpp"
#include "failure/start_run.hpp"
#include "run_fixture.hpp"

namespace traverse {
namespace {

using testing::RunTest;

constexpr char zeroDivideReport[] =
    "Exception EZeroDivide in module traverse.exe at 00001234.\r\n"
    "Floating point division by zero.\r\n\r\n";

// The report of the EInOutError that a failing forced drain raises; its
// address is a code position in this test program.
const std::regex brokenPipeReport(
    "Exception EInOutError in module traverse\\.exe at [0-9A-F]{8,16}\\.\r\n"
    "I/O error 32\\.\r\n\r\n");

struct LineCase {
  std::int32_t number;
  std::uintptr_t address;
  const char* line;
};

class RuntimeErrorLine : public ::testing::TestWithParam<LineCase> {};

// The line is the 29 characters and CR LF: no zero byte between them.
TEST_P(RuntimeErrorLine, IsTheTemplateFilled) {
  char line[RuntimeErrorLineCapacity];
  std::size_t length = FormatRuntimeErrorLine(
      GetParam().number, reinterpret_cast<const void*>(GetParam().address), line, sizeof line);
  EXPECT_EQ(std::string(line, length), GetParam().line);
}

const LineCase lineCases[] = {
    {216, 0x0012ABCD, "Runtime error 216 at 0012ABCD\r\n"},
    {32, 0x10, "Runtime error  32 at 00000010\r\n"},
#if UINTPTR_MAX > 0xFFFFFFFFu
    {200, 0x7F0012ABCD, "Runtime error 200 at 7F0012ABCD\r\n"},
#endif
};

INSTANTIATE_TEST_SUITE_P(RunEnd, RuntimeErrorLine, ::testing::ValuesIn(lineCases));

TEST_F(RunTest, NormalEndWritesTheWaitingBytesAndExitsWithZero) {
  WriteText(OutputChannel, "The coordinate of point 1\r\n");
  EXPECT_EQ(scope->output, "");  // a pipe gets bytes only in full blocks or at the end
  EXPECT_EQ(ExitCodeOf([] { EndRun(0); }), 0);
  EXPECT_EQ(scope->output, "The coordinate of point 1\r\n");
  EXPECT_EQ(scope->error, "");
  EXPECT_EQ(ErrorHook, nullptr);
  EXPECT_EQ(ReportHook, nullptr);
  EXPECT_EQ(OutOfMemoryFailure, nullptr);
  EXPECT_EQ(OutputChannel.State, ChannelClosed);
}

TEST_F(RunTest, FallbackLineFollowsTheWaitingBytes) {
  WriteText(OutputChannel, "abc");
  EXPECT_EQ(ExitCodeOf([] { RuntimeErrorExit(200, At(0x12AB)); }), 200);
  EXPECT_EQ(scope->transcript, "abcRuntime error 200 at 000012AB\r\n");
  EXPECT_EQ(RuntimeErrorAddress, nullptr);
}

TEST_F(RunTest, ReportFollowsEveryByteWrittenBeforeTheFailure) {
  scope->moduleBase = 0;
  WriteText(OutputChannel, std::string(130, 'x'));  // one block of 128 out, 2 waiting
  std::unique_ptr<TObject> failure(NewKindFailure(KindZeroDivide));
  EXPECT_EQ(ExitCodeOf([&] { TopLevelHandler(failure.get(), At(0x1234)); }), 1);
  EXPECT_EQ(scope->transcript, std::string(130, 'x') + zeroDivideReport);
  EXPECT_EQ(scope->writes.size(), 2u);
}

TEST_F(RunTest, FailingForcedDrainReplacesTheFailureBeingReported) {
  WriteText(OutputChannel, "waiting");
  scope->writeSteps.push_back({0, 32});  // the reader has gone
  std::unique_ptr<TObject> failure(NewKindFailure(KindZeroDivide));
  EXPECT_EQ(ExitCodeOf([&] { TopLevelHandler(failure.get(), At(0x1234)); }), 1);
  std::unique_ptr<TObject> replacement(ReportedFailure.object);
  EXPECT_TRUE(std::regex_match(scope->error, brokenPipeReport)) << scope->error;
  EXPECT_EQ(scope->output, "");
  auto* ioFailure = dynamic_cast<EInOutError*>(replacement.get());
  ASSERT_NE(ioFailure, nullptr);
  EXPECT_EQ(ioFailure->ErrorCode, 32);
}

TEST_F(RunTest, ChannelNeverOpenedIsLeftAloneByTheReport) {
  std::unique_ptr<TObject> failure(NewKindFailure(KindZeroDivide));
  EXPECT_EQ(ExitCodeOf([&] { TopLevelHandler(failure.get(), At(0x1234)); }), 1);
  EXPECT_EQ(scope->transcript, zeroDivideReport);
  EXPECT_EQ(OutputChannel.State, ChannelClosed);
}

TEST_F(RunTest, WithoutReportHookTheRunEndsWithRuntimeError217) {
  RemoveFailureHooks();
  EZeroDivide failure("x");
  EXPECT_EQ(ExitCodeOf([&] { TopLevelHandler(&failure, At(0x1234)); }), 217);
  EXPECT_EQ(scope->transcript, "Runtime error 217 at 00001234\r\n");
}

// A report hook that fails every time: the handler gives up after a few
// passes instead of looping for ever.
int reportAttempts = 0;
unsigned short reportControlWord = 0;
TObject* firstFailure = nullptr;
[[noreturn]] void AlwaysFailingReport(TObject* failure, const void* address) {
  if (failure != firstFailure) delete failure;
  ++reportAttempts;
  reportControlWord = CurrentControlWord();
  RaiseRuntimeError(KindRangeError, address);
}

TEST_F(RunTest, ReportThatKeepsFailingEndsOnTheFallbackLine) {
  reportAttempts = 0;
  ReportHook = AlwaysFailingReport;
  unsigned short spoilt = 0x0C7F;
  __asm__ volatile("fldcw %0" : : "m"(spoilt));
  EZeroDivide failure("x");
  firstFailure = &failure;
  EXPECT_EQ(ExitCodeOf([&] { TopLevelHandler(&failure, At(0x1234)); }), 217);
  std::unique_ptr<TObject> last(ReportedFailure.object);
  EXPECT_STREQ(last->ClassName(), "ERangeError");
  EXPECT_EQ(reportAttempts, 4);
  EXPECT_EQ(reportControlWord, DefaultControlWord);  // reset before each pass
  EXPECT_EQ(scope->transcript, "Runtime error 217 at 00001234\r\n");
}

TEST_F(RunTest, OutOfMemoryWithoutHooksEndsOnItsRuntimeErrorLine) {
  RemoveFailureHooks();
  EXPECT_EQ(ExitCodeOf([] { RunDialogue([] { throw std::bad_alloc(); }); }), 203);
  EXPECT_TRUE(
      std::regex_match(scope->output, std::regex("Runtime error 203 at [0-9A-F]{8,16}\r\n")))
      << scope->output;
}

struct DialogueCase {
  const char* name;
  void (*dialogue)();
  bool pipeGone;
  int exitCode;
  const char* report;  // a pattern: the address of a raise in this program varies
  bool failureOnHeap;  // the reported failure is the test's to release
};

class Dialogue : public RunTest, public ::testing::WithParamInterface<DialogueCase> {};

TEST_P(Dialogue, EndsInOneReportOrCleanly) {
  const DialogueCase& test = GetParam();
  if (test.pipeGone) scope->writeSteps.push_back({0, 32});
  EXPECT_EQ(ExitCodeOf([&] { RunDialogue(test.dialogue); }), test.exitCode);
  if (test.failureOnHeap) delete ReportedFailure.object;
  EXPECT_TRUE(std::regex_match(scope->error, std::regex(test.report))) << scope->error;
  EXPECT_EQ(scope->output, test.pipeGone ? "" : "partial");
}

void WritePartial() {
  WriteText(OutputChannel, "partial");
}

INSTANTIATE_TEST_SUITE_P(
    RunEnd, Dialogue,
    ::testing::Values(
        DialogueCase{"NormalEnd", WritePartial, false, 0, "", false},
        DialogueCase{"CheckIO",
                     [] {
                       WritePartial();
                       PendingIoCode = IoInvalidNumber;
                       CheckIO();
                     },
                     false, 1,
                     "Exception EInOutError in module traverse\\.exe at [0-9A-F]{8,16}\\.\r\n"
                     "Invalid numeric input\\.\r\n\r\n",
                     true},
        DialogueCase{"OutOfMemory",
                     [] {
                       WritePartial();
                       throw std::bad_alloc();
                     },
                     false, 1,
                     "Exception EOutOfMemory in module traverse\\.exe at 00000000\\.\r\n"
                     "Out of memory\\.\r\n\r\n",
                     false},
        DialogueCase{"StandardException",
                     [] {
                       WritePartial();
                       throw std::runtime_error("table full");
                     },
                     false, 1,
                     "Exception Exception in module traverse\\.exe at 00000000\\.\r\n"
                     "table full\\.\r\n\r\n",
                     false},
        DialogueCase{"ForeignException",
                     [] {
                       WritePartial();
                       throw 42;
                     },
                     false, 1,
                     "Exception EExternalException in module traverse\\.exe at 00000000\\.\r\n"
                     "External exception E06D7363\\.\r\n\r\n",
                     false},
        // The last bytes of a normal run that cannot be written are a failure.
        DialogueCase{"NormalEndWithReaderGone", WritePartial, true, 1,
                     "Exception EInOutError in module traverse\\.exe at [0-9A-F]{8,16}\\.\r\n"
                     "I/O error 32\\.\r\n\r\n",
                     true}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace traverse
