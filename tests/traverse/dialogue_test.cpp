#include "traverse/dialogue.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "console/text_output.hpp"
#include "record_support.hpp"
#include "support/memory_platform.hpp"
#include "traverse/traverse.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace traverse::testing {
namespace {

// A file of the examples folder, whose place the build gives (this file's
// own name may be relative to the folder it was compiled in, as a compiler
// cache with a base folder makes it).
std::string ReadExample(const char* name) {
  const std::filesystem::path examples = EXAMPLES_DIR;
  std::ifstream file(examples / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The standard output of the worked example: every prompt of a four-angle
// run, the two result lines and the exit prompt.
const std::string& WorkedOutput() {
  static const std::string output = ReadExample("worked.expected");
  return output;
}

// The first `count` lines of the worked example's output, line ends included.
// Up to the first result line they are the same for every four-angle run.
std::string OutputLines(std::size_t count) {
  std::size_t end = 0;
  for (std::size_t line = 0; line < count; ++line) end = WorkedOutput().find("\r\n", end) + 2;
  return WorkedOutput().substr(0, end);
}

const std::vector<std::string> workedPoints = {"4800.000", "2850.000", "5000.000", "3000.000",
                                               "5165.381", "3770.824", "4882.538", "4053.667"};
const std::vector<std::string> workedAngles = {"219.0346", "250.0008", "174.9991", "265.0013"};
const std::vector<std::string> workedLengths = {"250.012", "299.987", "280.009"};

// The answers of one run, one per line, and the empty line for the exit prompt.
std::string Answers(const std::vector<std::string>& points, const std::string& side,
                    const std::string& count, const std::vector<std::string>& angles,
                    const std::vector<std::string>& lengths) {
  std::string input;
  for (const std::string& point : points) input += point + "\n";
  input += side + "\n" + count + "\n";
  for (const std::string& angle : angles) input += angle + "\n";
  for (const std::string& length : lengths) input += length + "\n";
  return input + "\n";
}

std::string WorkedAnswers() {
  return Answers(workedPoints, "left", "4", workedAngles, workedLengths);
}

// Complete lines (ended by CR LF) in `output`.
std::size_t LineCount(const std::string& output) {
  std::size_t count = 0;
  for (std::size_t at = output.find("\r\n"); at != std::string::npos;
       at = output.find("\r\n", at + 2))
    ++count;
  return count;
}

constexpr char exitPrompt[] = "*Press Enter to exit*";

struct Outcome {
  Caught failure;
  bool exited = false;
  std::string output;               // standard output, drained after the run
  std::vector<std::string> writes;  // each write standard output took
  std::size_t readCount = 0;
};

class Dialogue : public ::testing::Test {
 protected:
  Dialogue() { ClearRecord(record); }
  ~Dialogue() override { ClearRecord(record); }

  // One run on a fresh in-memory platform with `input` on standard input;
  // `setup` may change the platform first.
  Outcome Run(const std::string& input, const std::function<void(MemoryPlatform&)>& setup = {}) {
    ClearRecord(record);
    PlatformScope scope;
    scope->SetInput(input);
    if (setup) setup(*scope);
    Outcome outcome;
    try {
      outcome.failure = FailureOf([] { RunTraverse(); });
    } catch (const ProcessExit&) {
      outcome.exited = true;
    }
    // The termination layer drains before its report; here the test does.
    outcome.writes = scope->writes;
    DrainOutput(OutputChannel);
    outcome.output = scope->output;
    outcome.readCount = scope->readCount;
    return outcome;
  }

  TTraverse& record = TraverseRecord;
};

// n angles: 15 + 5n complete lines from n = 2 on, then the exit prompt
// without a line end; n - 2 result lines.
TEST_F(Dialogue, LineCountsFollowTheAngleCount) {
  struct {
    int count;
    std::size_t lines;
  } cases[] = {{1, 23}, {2, 25}, {3, 30}, {4, 35}, {255, 1290}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    std::vector<std::string> angles(static_cast<std::size_t>(c.count), "200.0001");
    std::vector<std::string> lengths(static_cast<std::size_t>(c.count - 1), "10.5");
    Outcome outcome = Run(Answers(workedPoints, "right", std::to_string(c.count), angles, lengths));
    EXPECT_EQ(outcome.failure.className, "");
    EXPECT_EQ(LineCount(outcome.output), c.lines);
    ASSERT_GE(outcome.output.size(), sizeof exitPrompt);
    EXPECT_EQ(outcome.output.substr(outcome.output.size() - (sizeof exitPrompt - 1)), exitPrompt);
    EXPECT_EQ(record.AngleCount, c.count);
    const std::string last = "Enter the measured angle " + std::to_string(c.count) + "\r\n";
    EXPECT_NE(outcome.output.find(last), std::string::npos);
    if (c.count >= 3) {
      const std::string lastPoint =
          "\r\n\r\nThe coordinate of point " + std::to_string(c.count - 2) + ": X= ";
      EXPECT_NE(outcome.output.find(lastPoint), std::string::npos);
    }
    EXPECT_EQ(outcome.output.find("The coordinate of point " + std::to_string(c.count - 1)),
              std::string::npos);
  }
}

TEST_F(Dialogue, ShortTraversesWriteNoResultLine) {
  const std::string tail = "\r\n\r\n\r\n\r\n\r\n" + std::string(exitPrompt);
  Outcome one = Run(Answers(workedPoints, "left", "1", {"109.0"}, {}));
  EXPECT_EQ(one.failure.className, "");
  EXPECT_EQ(one.output, OutputLines(16) + "Enter the measured angle 1\r\n\r\n" + tail);

  Outcome two = Run(Answers(workedPoints, "left", "2", {"250", "250"}, {"100"}));
  EXPECT_EQ(two.failure.className, "");
  EXPECT_EQ(two.output, OutputLines(18) + "\r\nEnter the measured length 1\r\n" + tail);
}

struct FailureCase {
  const char* name;
  std::string input;
  const char* className;
  const char* message;
  std::size_t lines;  // complete lines on standard output when the run ends
};

std::vector<std::string> With(std::vector<std::string> values, std::size_t at,
                              const std::string& value) {
  values[at] = value;
  return values;
}

// Every point where the dialogue can fail, with what standard output holds
// at that moment.
const FailureCase failureCases[] = {
    {"empty input", "", "EInOutError", "Read beyond end of file", 1},
    {"X of A not a number",
     Answers(With(workedPoints, 0, "48OO"), "left", "4", workedAngles, workedLengths),
     "EInOutError", "Invalid numeric input", 1},
    {"y of D not a number",
     Answers(With(workedPoints, 7, "4053,667"), "left", "4", workedAngles, workedLengths),
     "EInOutError", "Invalid numeric input", 11},
    {"count not an integer", Answers(workedPoints, "left", "4.0", workedAngles, workedLengths),
     "EInOutError", "Invalid numeric input", 14},
    {"input ends after the count", "4800\n2850\n5000\n3000\n5165\n3770\n4882\n4053\nleft\n4\n",
     "EInOutError", "Read beyond end of file", 17},
    {"angle 3 not a number",
     Answers(workedPoints, "left", "4", With(workedAngles, 2, "174.99.91"), workedLengths),
     "EInOutError", "Invalid numeric input", 19},
    {"length 2 not a number",
     Answers(workedPoints, "left", "4", workedAngles, With(workedLengths, 1, "-")), "EInOutError",
     "Invalid numeric input", 23},
    {"A and B coincide",
     Answers(With(With(workedPoints, 0, "5000"), 1, "3000"), "left", "4", workedAngles,
             workedLengths),
     "EInvalidOp", "Invalid floating point operation", 15},
    {"C and D coincide",
     Answers({"4800", "2850", "5000", "3000", "1", "2", "1", "2"}, "left", "4", workedAngles,
             workedLengths),
     "EInvalidOp", "Invalid floating point operation", 16},
    {"no angles", Answers(workedPoints, "left", "0", {}, {}), "EZeroDivide",
     "Floating point division by zero", 16},
    {"no angles and no misclosure",
     Answers({"0", "0", "100", "0", "200", "0", "300", "0"}, "left", "0", {}, {}), "EInvalidOp",
     "Invalid floating point operation", 16},
    {"lengths sum to 0, the first 0",
     Answers(workedPoints, "left", "4", workedAngles, {"0", "0", "0"}), "EInvalidOp",
     "Invalid floating point operation", 24},
    {"lengths sum to 0, the first not 0",
     Answers(workedPoints, "left", "4", workedAngles, {"5", "-5", "0"}), "EZeroDivide",
     "Floating point division by zero", 24},
    {"coordinate beyond the double range",
     Answers(With(workedPoints, 0, "1e400"), "left", "4", workedAngles, workedLengths), "EOverflow",
     "Floating point overflow", 1},
    {"coordinate beyond the extended range",
     Answers(With(workedPoints, 0, "1e6000"), "left", "4", workedAngles, workedLengths),
     "EOverflow", "Floating point overflow", 1},
    {"difference beyond the double range",
     Answers(With(With(workedPoints, 0, "-1.5e308"), 2, "1.5e308"), "left", "4", workedAngles,
             workedLengths),
     "EOverflow", "Floating point overflow", 14},
};

TEST_F(Dialogue, FailsAtItsPointWithTheOutputSoFar) {
  for (const FailureCase& c : failureCases) {
    SCOPED_TRACE(c.name);
    Outcome outcome = Run(c.input);
    EXPECT_FALSE(outcome.exited);
    EXPECT_EQ(outcome.failure.className, c.className);
    EXPECT_EQ(outcome.failure.message, c.message);
    EXPECT_EQ(outcome.output, OutputLines(c.lines));
  }
}

// A count outside 0 to 255 is refused right after its read statement, not cut
// to its low 8 bits.
TEST_F(Dialogue, ACountOutsideTheTableRangeIsARangeError) {
  for (const char* count : {"256", "258", "300", "-1", "-256", "2147483647", "$100"}) {
    SCOPED_TRACE(count);
    Outcome outcome = Run(Answers(workedPoints, "left", count, workedAngles, workedLengths));
    EXPECT_EQ(outcome.failure.className, "ERangeError");
    EXPECT_EQ(outcome.failure.message, "Range check error");
    EXPECT_EQ(outcome.output, OutputLines(14));
    EXPECT_EQ(record.AngleCount, 0);
  }
}

// "left" in any case, with blanks around it, means left angles; every other
// answer means right angles (the whole rule: SideAnswer in the angular
// closure tests). The answer is kept as typed.
TEST_F(Dialogue, TheSideAnswerSelectsTheAngles) {
  std::vector<std::string> rightAngles = {"180.9654", "149.9992", "225.0009", "134.9987"};
  struct {
    std::string side;
    bool left;
  } cases[] = {{"LEFT", true}, {" \tLeft\r", true}, {"", false}, {"lefty", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE('"' + c.side + '"');
    Outcome outcome =
        Run(Answers(workedPoints, c.side, "4", c.left ? workedAngles : rightAngles, workedLengths));
    EXPECT_EQ(outcome.failure.className, "");
    EXPECT_EQ(outcome.output, WorkedOutput());
    // A CR is never part of a text read; every other byte is kept.
    std::string typed = c.side;
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
    EXPECT_EQ(record.AngleSide, typed);
  }
}

// On a console every line is handed over when its statement ends, and the
// exit prompt before the program waits for Enter.
TEST_F(Dialogue, OnAConsoleEachStatementReachesTheScreen) {
  Outcome outcome = Run(WorkedAnswers(), [](MemoryPlatform& platform) {
    platform.outputType = platform::FileType::Char;
  });
  EXPECT_EQ(outcome.failure.className, "");
  ASSERT_EQ(outcome.writes.size(), 36u);
  for (std::size_t i = 0; i + 1 < outcome.writes.size(); ++i) {
    const std::string& line = outcome.writes[i];
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n") << i;
  }
  EXPECT_EQ(outcome.writes.back(), exitPrompt);
  EXPECT_EQ(outcome.output, WorkedOutput());
}

// A failed write is caught by its own statement's check, before anything is
// read.
TEST_F(Dialogue, AFailedWriteEndsTheRunAtItsStatement) {
  Outcome outcome = Run(WorkedAnswers(), [](MemoryPlatform& platform) {
    platform.outputType = platform::FileType::Char;
    platform.writeSteps.push_back({0, 28});
  });
  EXPECT_EQ(outcome.failure.className, "EInOutError");
  EXPECT_EQ(outcome.failure.message, "I/O error 28");
  EXPECT_EQ(outcome.readCount, 0u);
  EXPECT_EQ(outcome.output, "");
}

// AddressSanitizer brings every page of a global into memory at start.
#if defined(__SANITIZE_ADDRESS__)
#define TRAVERSE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRAVERSE_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(__linux__) && !defined(TRAVERSE_ADDRESS_SANITIZER)
#define TRAVERSE_COUNT_RESIDENT_PAGES 1
#endif

#if defined(TRAVERSE_COUNT_RESIDENT_PAGES)
// The tables are there in full from the start, but a run of 255 angles must
// bring only the pages it writes into memory.
TEST_F(Dialogue, TheTablesCostMemoryOnlyWhereWritten) {
  std::vector<std::string> angles(255, "200.0001");
  std::vector<std::string> lengths(254, "10.5");
  Outcome outcome = Run(Answers(workedPoints, "right", "255", angles, lengths));
  ASSERT_EQ(outcome.failure.className, "");

  const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(&record) & ~(pageSize - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(&record + 1);
  const std::size_t pages = (end - begin + pageSize - 1) / pageSize;
  std::vector<unsigned char> resident(pages);
  ASSERT_EQ(mincore(reinterpret_cast<void*>(begin), end - begin, resident.data()), 0);
  std::size_t count = 0;
  for (unsigned char page : resident) count += page & 1u;
  // Ten tables of one or two touched pages each, and the fields.
  EXPECT_GE(count, 10u);
  EXPECT_LE(count, 32u) << "of " << pages << " pages";
}
#endif

}  // namespace
}  // namespace traverse::testing
