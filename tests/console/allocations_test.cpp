// The console runtime allocates nothing on the output path and in number
// reading; ReadText allocates for its text, at most once per chunk. Counted
// with replaced allocation functions over a platform that allocates nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "console/io_code.hpp"
#include "console/number_reading.hpp"
#include "console/text_input.hpp"
#include "console/text_output.hpp"
#include "support/allocation_counter.hpp"

namespace traverse {
namespace {

using platform::FileType;
using testing::AllocationCount;
using testing::QuietPlatform;
using testing::QuietScope;

// Every branch of FormatFixed: short and long fixed forms, scientific form,
// specials, signed zero, rounding carries.
const Extended FixedValues[] = {-0.0L,
                                0.995L,
                                99.995L,
                                1e36L,
                                0x1p120L,
                                std::numeric_limits<Extended>::infinity(),
                                std::numeric_limits<Extended>::quiet_NaN(),
                                std::numeric_limits<Extended>::max()};

TEST(Allocations, OutputPathAllocatesNothing) {
  for (FileType type : {FileType::Char, FileType::Pipe, FileType::Disk}) {
    QuietPlatform system({}, 128, type);
    QuietScope scope(system);
    const std::string longText(300, 'x');  // made before counting starts
    const std::size_t before = AllocationCount();
    for (int line = 1; line <= 255; ++line) {
      const Extended value = FixedValues[static_cast<std::size_t>(line) % std::size(FixedValues)];
      WriteText(OutputChannel, "The coordinate of point ");
      WriteInteger(OutputChannel, line);
      WriteText(OutputChannel, ": X= ");
      WriteFixed(OutputChannel, value, 5, 2);
      WriteText(OutputChannel, "m, Y= ");
      WriteFixed(OutputChannel, -value, 255, 216);
      WriteText(OutputChannel, 'm');
      WriteLineEnd(OutputChannel);
    }
    WriteText(OutputChannel, longText);
    WriteInteger(OutputChannel, std::numeric_limits<std::int32_t>::min());
    WriteText(OutputChannel, "*Press Enter to exit*");
    FlushOutput(OutputChannel);
    EXPECT_EQ(DrainOutput(OutputChannel), 0);
    EXPECT_EQ(AllocationCount() - before, 0u) << "file type " << static_cast<int>(type);
    EXPECT_EQ(PendingIoCode, 0);
    EXPECT_GT(system.bytesWritten, 255u * 255u);  // the lines did reach the system
  }
}

TEST(Allocations, NumberReadingAllocatesNothing) {
  // Tokens of every kind, split across refills by 7-byte reads: accepted,
  // rejected, too long, hexadecimal, blank lines, and the end of input.
  const std::string input = "5432123.456  219.0346\r\n-0.5\r\n\r\n1e3 +.E-7 12,5 1.2.3 INF\r\n" +
                            std::string(70, '9') + "\r\n1e400 1E-5120 0E5120\r\n" +
                            "$7FFFFFFF -2147483648 0x1f " + std::string(40, '0') +
                            " 2147483648 12.0\r\nrest of the line\r\n";
  // A token of thousands of digits takes the wide mantissa path.
  const std::string longToken = "0." + std::string(3000, '7');
  QuietPlatform system(input, 7, FileType::Pipe);
  QuietScope scope(system);
  const std::size_t before = AllocationCount();
  Extended realSum = 0;
  for (int i = 0; i < 12; ++i) {
    realSum += ReadReal(InputChannel);
    PendingIoCode = 0;
  }
  std::int64_t integerSum = 0;
  for (int i = 0; i < 6; ++i) {
    integerSum += ReadInteger(InputChannel);
    PendingIoCode = 0;
  }
  // At the end of input: zero, and still nothing allocated.
  SkipLine(InputChannel);
  SkipLine(InputChannel);
  realSum += ReadReal(InputChannel);
  integerSum += ReadInteger(InputChannel);
  PendingIoCode = 0;
  ScanResult<Extended> scan = ParseReal(longToken.data(), longToken.data() + longToken.size());
  EXPECT_EQ(AllocationCount() - before, 0u);
  EXPECT_TRUE(scan.ok);
  EXPECT_GT(realSum, 1e399L);  // 1e400 was among the tokens read
  EXPECT_NE(integerSum, 0);
}

TEST(Allocations, ReadTextAllocatesAtMostOncePerChunk) {
  struct Case {
    std::size_t length;
    std::size_t chunks;  // chunk reads: 255 bytes each, and one that ends the line
  };
  const Case cases[] = {{0, 1}, {16, 1}, {254, 1}, {255, 2}, {2000, 8}};
  for (const Case& c : cases) {
    const std::string input = std::string(c.length, 'a') + "\r\n" + std::string(c.length, 'b');
    QuietPlatform system(input, 128, FileType::Pipe);
    QuietScope scope(system);
    std::string text;
    std::size_t before = AllocationCount();
    ReadText(InputChannel, text);
    EXPECT_LE(AllocationCount() - before, c.chunks) << c.length << " bytes";
    EXPECT_EQ(text.size(), c.length);
    // A text variable that already has the room allocates nothing more.
    SkipLine(InputChannel);
    before = AllocationCount();
    ReadText(InputChannel, text);
    EXPECT_EQ(AllocationCount() - before, 0u) << c.length << " bytes, second line";
    EXPECT_EQ(text, std::string(c.length, 'b'));
  }
}

}  // namespace
}  // namespace traverse
