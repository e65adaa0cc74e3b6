// How a run ends: the normal end, the report of a channel never opened, the
// fallback line and the exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <regex>
#include <string>

#include "console/text_output.hpp"
#include "failure/float_checks.hpp"
#include "termination/start_run.hpp"
#include "run_fixture.hpp"

namespace traverse {
namespace {

using testing::RunTest;

constexpr char zeroDivideReport[] =
    "Exception EZeroDivide in module traverse.exe at 00001234.\r\n"
    "Floating point division by zero.\r\n\r\n";

// The line is the 29 characters and CR LF: no zero byte between them.
TEST(RuntimeErrorLine, IsTheTemplateFilled) {
  const struct {
    std::int32_t number;
    std::uintptr_t address;
    const char* line;
  } cases[] = {
    {216, 0x0012ABCD, "Runtime error 216 at 0012ABCD\r\n"},
    {32, 0x10, "Runtime error  32 at 00000010\r\n"},
#if UINTPTR_MAX > 0xFFFFFFFFu
    {200, 0x7F0012ABCD, "Runtime error 200 at 7F0012ABCD\r\n"},
#endif
  };
  for (const auto& c : cases) {
    char line[RuntimeErrorLineCapacity];
    std::size_t length = FormatRuntimeErrorLine(c.number, reinterpret_cast<const void*>(c.address),
                                                line, sizeof line);
    EXPECT_EQ(std::string(line, length), c.line);
  }
}

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

}  // namespace
}  // namespace traverse
