// Reading numbers, texts and line ends from standard input over the
// in-memory platform: refills, the end marker, codes left behind.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "console/io_code.hpp"
#include "console/text_input.hpp"
#include "support/memory_platform.hpp"

namespace traverse {
namespace {

using testing::PlatformScope;

// The real read statement: read, skip the rest of the line.
Extended ReadRealStatement() {
  Extended value = ReadReal(InputChannel);
  SkipLine(InputChannel);
  return value;
}

std::string ReadTextStatement() {
  std::string text;
  ReadText(InputChannel, text);
  SkipLine(InputChannel);
  return text;
}

// A read statement takes one token, and SkipLine drops the rest of its line;
// empty lines ahead of a number are blanks. Only a line feed ends a line: the
// CR in "1\r3" does not. Every way the data can be cut into reads must give
// the same answers.
TEST(ReadReal, SameResultForEveryReadSize) {
  const std::string input = "  4800.000\r\n2850 1\r3\r\n\r\n  5000.125 tail\r\n-0\r\nleft \r\n7";
  for (std::size_t chunk = 1; chunk <= input.size(); ++chunk) {
    PlatformScope system;
    system->SetInput(input, chunk);
    SCOPED_TRACE(chunk);
    EXPECT_EQ(ReadRealStatement(), 4800.0L);
    EXPECT_EQ(ReadRealStatement(), 2850.0L);
    EXPECT_EQ(ReadRealStatement(), 5000.125L);
    Extended negativeZero = ReadRealStatement();
    EXPECT_EQ(negativeZero, 0.0L);
    EXPECT_TRUE(std::signbit(negativeZero));
    EXPECT_EQ(ReadTextStatement(), "left ");
    EXPECT_EQ(ReadInteger(InputChannel), 7);
    EXPECT_EQ(PendingIoCode, 0);
  }
}

struct NumberCase {
  const char* name;
  std::string input;
  bool integer;       // ReadInteger, else ReadReal
  std::int32_t code;  // left in PendingIoCode
  Extended value;     // unless the code is 106
};

class ReadNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumber, GivesTheValueAndLeavesTheCode) {
  PlatformScope system;
  system->SetInput(GetParam().input);
  const Extended value =
      GetParam().integer ? Extended(ReadInteger(InputChannel)) : ReadReal(InputChannel);
  EXPECT_EQ(PendingIoCode, GetParam().code);
  if (GetParam().code != IoInvalidNumber) {
    EXPECT_EQ(value, GetParam().value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ReadNumber,
    ::testing::Values(
        NumberCase{"comma", "12,5\n", false, IoInvalidNumber, 0},
        NumberCase{"integerOfAReal", "12.0\n", true, IoInvalidNumber, 0},
        // The token ends at the end of data or at a SUB.
        NumberCase{"endOfData", "42", false, 0, 42},
        NumberCase{"subEndsToken",
                   "42\x1a"
                   "9\n",
                   false, 0, 42},
        // The input ends before any number: a truncated answer file must not
        // run on with zeros.
        NumberCase{"empty", "", false, IoReadBeyondEnd, 0},
        NumberCase{"integerEmpty", "", true, IoReadBeyondEnd, 0},
        NumberCase{"blanks", "  \r\n\t\n", false, IoReadBeyondEnd, 0},
        NumberCase{"sub",
                   "\x1a"
                   "5\n",
                   false, IoReadBeyondEnd, 0},
        NumberCase{"subAfterBlanks", "  \n \x1a 5\n", false, IoReadBeyondEnd, 0},
        // 64 bytes are one real token, 32 one integer token; a longer one is
        // unreadable rather than cut.
        NumberCase{"limit", std::string(63, '1') + ".\n", false, 0, 0x1.149415be93a47b8p+206L},
        NumberCase{"tooLong", std::string(70, '1') + "\n", false, IoInvalidNumber, 0},
        NumberCase{"integerLimit", std::string(31, '0') + "7\n", true, 0, 7},
        NumberCase{"integerTooLong", std::string(32, '0') + "7\n", true, IoInvalidNumber, 0}),
    [](const auto& param) { return param.param.name; });

TEST(ReadReal, OverlongTokenIsTakenWhole) {
  PlatformScope system;
  system->SetInput(std::string(70, '9') + " 5\n6\n");
  ReadReal(InputChannel);
  EXPECT_EQ(PendingIoCode, IoInvalidNumber);
  PendingIoCode = 0;
  // The tail of the long token is not read as the next number.
  EXPECT_EQ(ReadReal(InputChannel), 5.0L);
}

TEST(Input, FailedReadKeepsItsOwnCode) {
  PlatformScope system;
  system->reads.push_back({"", 21});  // reading a directory
  system->SetInput("3\n12");
  system->reads.push_back({"", 5});
  EXPECT_EQ(ReadReal(InputChannel), 0.0L);
  EXPECT_EQ(PendingIoCode, 21);
  // The buffer is empty after the failure, so the next read asks again.
  PendingIoCode = 0;
  EXPECT_EQ(ReadRealStatement(), 3.0L);
  EXPECT_EQ(PendingIoCode, 0);
  // A read that fails inside a token leaves its code, not a number.
  ReadReal(InputChannel);
  EXPECT_EQ(PendingIoCode, 5);
}

TEST(Input, MissingHandleLeaves104AndIsTriedAgain) {
  PlatformScope system;
  system->inputAvailable = false;
  std::string text = "old";
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(PendingIoCode, IoHandleMissing);
  PendingIoCode = 0;
  ReadReal(InputChannel);
  EXPECT_EQ(PendingIoCode, IoHandleMissing);  // not 100: the handle is the trouble
  EXPECT_EQ(InputChannel.State, ChannelClosed);
  system->inputAvailable = true;
  system->SetInput("8\n");
  PendingIoCode = 0;
  EXPECT_EQ(ReadReal(InputChannel), 8.0L);
  EXPECT_EQ(PendingIoCode, 0);
}

TEST(GetByte, EndOfDataLeavesTheMarkerAndReadsNoMore) {
  PlatformScope system;
  system->SetInput("a");
  EXPECT_EQ(GetByte(InputChannel), 'a');
  EXPECT_EQ(GetByte(InputChannel), EndOfInput);
  std::size_t reads = system->readCount;
  EXPECT_EQ(GetByte(InputChannel), EndOfInput);
  SkipLine(InputChannel);
  EXPECT_EQ(system->readCount, reads);
  EXPECT_EQ(PendingIoCode, 0);
}

struct TextCase {
  const char* name;
  std::string input;
  std::string text;
};

class ReadTextLine : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReadTextLine, GivesTheLine) {
  for (std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{128}}) {
    PlatformScope system;
    system->SetInput(GetParam().input, chunk);
    EXPECT_EQ(ReadTextStatement(), GetParam().text) << "read size " << chunk;
    EXPECT_EQ(PendingIoCode, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadTextLine,
    ::testing::Values(TextCase{"crlf", "left\r\nnext", "left"},
                      TextCase{"lf", "left\nnext", "left"},
                      TextCase{"innerCr", "le\rft\r\n", "left"},
                      TextCase{"blanksKept", "  left \t\n", "  left \t"},
                      TextCase{"controlBytes", std::string("a\0b\x7f\xff\n", 6),
                               std::string("a\0b\x7f\xff", 5)},
                      TextCase{"empty", "\r\n", ""}, TextCase{"endOfData", "", ""},
                      TextCase{"noLineEnd", "right", "right"},
                      TextCase{"subEndsText",
                               "ab\x1a"
                               "cd\n",
                               "ab"},
                      TextCase{"line255", std::string(255, 'x') + "\r\n", std::string(255, 'x')},
                      TextCase{"line300", std::string(300, 'y') + "\n", std::string(300, 'y')}),
    [](const auto& param) { return param.param.name; });

TEST(ReadText, SubLeftByAnEarlierReadIsConsumed) {
  PlatformScope system;
  system->SetInput(
      "\x1a"
      "right\n");
  ReadReal(InputChannel);  // meets the SUB: the input has ended for numbers
  EXPECT_EQ(PendingIoCode, IoReadBeyondEnd);
  PendingIoCode = 0;
  std::string text = "x";
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "");
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "right");
}

TEST(ReadText, SubAtARefillBoundaryIsLeftInPlace) {
  PlatformScope system;
  system->reads.push_back({"ab"});
  system->reads.push_back(
      {"\x1a"
       "cd\n"});
  std::string text;
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "ab");  // the refill brought the SUB first: end of input, nothing consumed
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "");  // now the SUB stands in the buffer and is consumed
  ReadText(InputChannel, text);
  EXPECT_EQ(text, "cd");
}

TEST(ReadText, EndMarkerIsPutBackAfterBeingConsumed) {
  PlatformScope system;
  system->SetInput("x");
  std::string text;
  ReadText(InputChannel, text);  // meets the end of data: the marker is placed
  EXPECT_EQ(text, "x");
  std::size_t reads = system->readCount;
  ReadText(InputChannel, text);  // consumes the marker without a system read
  EXPECT_EQ(system->readCount, reads);
  ReadText(InputChannel, text);  // the system is asked again
  EXPECT_EQ(system->readCount, reads + 1);
  EXPECT_EQ(text, "");
  EXPECT_EQ(PendingIoCode, 0);
}

}  // namespace
}  // namespace traverse
