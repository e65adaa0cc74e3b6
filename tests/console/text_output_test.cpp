// Writing to standard output over the in-memory platform: when bytes reach
// the system, what a failed or short write leaves, and the exact texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/io_code.hpp"
#include "console/text_output.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using platform::FileType;
using testing::PlatformScope;

void WriteLine(std::string_view text) {
  WriteText(OutputChannel, text);
  WriteLineEnd(OutputChannel);
}

std::vector<std::size_t> WriteSizes(const testing::MemoryPlatform& system) {
  std::vector<std::size_t> sizes;
  for (const std::string& write : system.writes) sizes.push_back(write.size());
  return sizes;
}

TEST(Output, FileAndPipeGetWholeBlocksAndALastWrite) {
  for (FileType type : {FileType::Pipe, FileType::Disk}) {
    PlatformScope system;
    system->outputType = type;
    for (int line = 0; line < 10; ++line)
      WriteLine("Enter the X coordinate of point A ");  // 36 bytes
    EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{128, 128}));
    EXPECT_EQ(DrainOutput(OutputChannel), 0);
    EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{128, 128, 104}));
    EXPECT_EQ(system->output.size(), 360u);
    EXPECT_EQ(system->output.substr(0, 36), "Enter the X coordinate of point A \r\n");
  }
}

TEST(Output, ConsoleGetsEveryLineAtOnce) {
  PlatformScope system;
  system->outputType = FileType::Char;
  WriteLine("Enter the measured angle 1");
  WriteLine("");
  WriteText(OutputChannel, "*Press Enter to exit*");
  EXPECT_EQ(system->writes.size(), 2u);
  FlushOutput(OutputChannel);
  EXPECT_EQ(system->writes, (std::vector<std::string>{"Enter the measured angle 1\r\n", "\r\n",
                                                      "*Press Enter to exit*"}));
}

TEST(Output, TextLongerThanTheBufferDrainsWhenFull) {
  PlatformScope system;
  WriteText(OutputChannel, std::string(130, 'a'));
  EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{128}));
  EXPECT_EQ(OutputChannel.ReadPos, 2u);
  // Exactly filling the buffer drains it too.
  WriteText(OutputChannel, std::string(126, 'b'));
  EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{128, 128}));
  EXPECT_EQ(OutputChannel.ReadPos, 0u);
}

TEST(Output, SingleCharacterFillsThenDrainsFirst) {
  PlatformScope system;
  WriteText(OutputChannel, std::string(127, 'a'));
  WriteText(OutputChannel, 'm');
  EXPECT_TRUE(system->writes.empty());
  EXPECT_EQ(OutputChannel.ReadPos, 128u);
  WriteText(OutputChannel, 'm');
  EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{128}));
  EXPECT_EQ(OutputChannel.ReadPos, 1u);
}

TEST(Output, ShortWritesAreRetriedUntilEverythingIsTaken) {
  PlatformScope system;
  system->writeSteps = {{50, 0}, {1, 0}, {0, 0}};
  WriteText(OutputChannel, std::string(128, 'a') + "tail");
  EXPECT_EQ(WriteSizes(*system), (std::vector<std::size_t>{50, 1, 77}));
  EXPECT_EQ(PendingIoCode, 0);
  DrainOutput(OutputChannel);
  EXPECT_EQ(system->output, std::string(128, 'a') + "tail");
}

TEST(Output, FailedWriteLeavesItsCodeAndDropsTheBlock) {
  PlatformScope system;
  system->writeSteps = {{0, 32}};  // the reader of the pipe has gone
  WriteText(OutputChannel, "first ");
  WriteText(OutputChannel, std::string(200, 'x'));
  EXPECT_EQ(PendingIoCode, 32);
  EXPECT_EQ(OutputChannel.ReadPos, 0u);  // the waiting bytes are gone
  EXPECT_TRUE(system->output.empty());   // and the rest of the append was not written
  // A later statement writes again.
  PendingIoCode = 0;
  WriteText(OutputChannel, "again");
  EXPECT_EQ(DrainOutput(OutputChannel), 0);
  EXPECT_EQ(system->output, "again");
}

TEST(Output, FailureAfterAPartialWriteKeepsWhatWasTaken) {
  PlatformScope system;
  system->writeSteps = {{100, 0}, {0, 28}};
  WriteText(OutputChannel, std::string(128, 'a'));
  EXPECT_EQ(PendingIoCode, 28);
  EXPECT_EQ(system->output, std::string(100, 'a'));
}

TEST(Output, MissingOrUnknownHandleLeaves105AndIsTriedAgain) {
  PlatformScope system;
  system->outputAvailable = false;
  WriteLine("lost");
  EXPECT_EQ(PendingIoCode, IoOutputMissing);
  EXPECT_EQ(OutputChannel.State, ChannelClosed);
  PendingIoCode = 0;
  FlushOutput(OutputChannel);  // nothing to flush on a closed channel, no code
  EXPECT_EQ(PendingIoCode, 0);

  system->outputAvailable = true;
  system->outputType = FileType::Unknown;
  WriteText(OutputChannel, "x");
  EXPECT_EQ(PendingIoCode, IoOutputMissing);
  EXPECT_TRUE(system->outputClosed);

  system->outputClosed = false;
  system->outputType = FileType::Pipe;
  PendingIoCode = 0;
  WriteText(OutputChannel, "kept");
  DrainOutput(OutputChannel);
  EXPECT_EQ(PendingIoCode, 0);
  EXPECT_EQ(system->output, "kept");
}

TEST(Output, IntegerTexts) {
  PlatformScope system;
  for (std::int32_t value : {0, -7, 10, 255, 1000000000, 2147483647, -2147483647 - 1}) {
    WriteInteger(OutputChannel, value);
    WriteText(OutputChannel, '|');
  }
  DrainOutput(OutputChannel);
  EXPECT_EQ(system->output, "0|-7|10|255|1000000000|2147483647|-2147483648|");
}

}  // namespace
}  // namespace traverse
