// The text of the one report: its three lines, the full stop, the module and
// the shown address, and the cut at the buffer's capacity.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "termination/report.hpp"
#include "run_fixture.hpp"

namespace traverse {
namespace {

using testing::RunTest;

struct ComposeCase {
  const char* name;
  const char* message;
  std::uintptr_t address;
  bool inModule;
  const char* expected;
};

class ComposeReport : public RunTest, public ::testing::WithParamInterface<ComposeCase> {};

TEST_P(ComposeReport, FillsTheFormat) {
  const ComposeCase& test = GetParam();
  scope->moduleBase = 0x400000;
  scope->addressesInModule = test.inModule;
  EZeroDivide failure(test.message);
  char buffer[ReportCapacity];
  std::size_t length = ComposeFailureReport(&failure, At(test.address), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, length), test.expected);
  EXPECT_EQ(buffer[length], '\0');
}

const ComposeCase composeCases[] = {
    ComposeCase{"FullStopAdded", "Floating point division by zero", 0x401234, true,
                "Exception EZeroDivide in module traverse.exe at 00001234.\r\n"
                "Floating point division by zero.\r\n"},
    ComposeCase{"FullStopNotDoubled", "Stopped.", 0x40ABCD, true,
                "Exception EZeroDivide in module traverse.exe at 0000ABCD.\r\nStopped.\r\n"},
    ComposeCase{"OnlyTheLastCharacterCounts", "1.5 m", 0x400000, true,
                "Exception EZeroDivide in module traverse.exe at 00000000.\r\n1.5 m.\r\n"},
    ComposeCase{"EmptyMessageLeavesAnEmptyLine", "", 0x400010, true,
                "Exception EZeroDivide in module traverse.exe at 00000010.\r\n\r\n"},
    ComposeCase{"InNoModuleThePageBeforeTheCode", "x", 0x0012ABCD, false,
                "Exception EZeroDivide in module traverse.exe at 00129BCD.\r\nx.\r\n"},
    ComposeCase{"NoAddressStaysZero", "x", 0, false,
                "Exception EZeroDivide in module traverse.exe at 00000000.\r\nx.\r\n"},
#if UINTPTR_MAX > 0xFFFFFFFFu
    // An offset beyond 32 bits keeps all its digits rather than losing the high ones.
    ComposeCase{"WideOffsetKeepsItsDigits", "x", 0x123456789, true,
                "Exception EZeroDivide in module traverse.exe at 123056789.\r\nx.\r\n"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Report, ComposeReport, ::testing::ValuesIn(composeCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(RunTest, ReportOfAnObjectWithoutMessageHasAnEmptySecondLine) {
  TObject failure;
  char buffer[ReportCapacity];
  std::size_t length = ComposeFailureReport(&failure, At(0x10), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, length),
            "Exception TObject in module traverse.exe at 00000010.\r\n\r\n");
}

// A class whose name alone overfills the report.
class ELongNamedFailure : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return longName.c_str(); }
  std::string longName = std::string(1500, 'N');
};

TEST_F(RunTest, ReportIsCutAt1023Characters) {
  ELongNamedFailure failure("message");
  char buffer[ReportCapacity + 1];
  buffer[ReportCapacity] = '#';
  std::size_t length = ComposeFailureReport(&failure, At(0x10), buffer, ReportCapacity);
  EXPECT_EQ(length, 1023u);
  EXPECT_EQ(std::string(buffer, 10), "Exception ");
  EXPECT_EQ(std::strlen(buffer), 1023u);
  EXPECT_EQ(buffer[ReportCapacity], '#');  // nothing beyond the capacity is touched

  EZeroDivide shortFailure("Floating point division by zero");
  length = ComposeFailureReport(&shortFailure, At(0x10), buffer, 12);
  EXPECT_EQ(std::string(buffer, length), "Exception E");
}

}  // namespace
}  // namespace traverse
