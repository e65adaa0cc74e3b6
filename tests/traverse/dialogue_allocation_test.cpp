// A whole run allocates nothing but the text of the side answer, and that
// only per chunk read: counted over a platform that allocates nothing itself.
#include <gtest/gtest.h>

#include <string>

#include "console/io_code.hpp"
#include "record_support.hpp"
#include "support/allocation_counter.hpp"
#include "traverse/dialogue.hpp"

namespace traverse::testing {
namespace {

// The answers of a run of `count` angles with the given side answer.
std::string Answers(const std::string& side, int count) {
  std::string input =
      "4800.000\n2850.000\n5000.000\n3000.000\n5165.381\n3770.824\n4882.538\n4053.667\n";
  input += side + "\n" + std::to_string(count) + "\n";
  for (int i = 1; i <= count; ++i) input += i % 2 == 0 ? "195.0013\n" : "204.9987\n";
  for (int i = 1; i < count; ++i) input += "150.125\n";
  return input + "\n";
}

TEST(DialogueAllocations, OnlyTheSideAnswerAllocatesAndOnlyPerChunk) {
  struct {
    std::string side;
    std::size_t allowed;  // one per chunk of 255 bytes and the one that ends the line
  } cases[] = {{"left", 0}, {"right", 0}, {std::string(600, 'r'), 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.side.size());
    ClearRecord(TraverseRecord);
    TraverseRecord.AngleSide.shrink_to_fit();
    const std::string input = Answers(c.side, 255);
    QuietPlatform system(input, 128, platform::FileType::Disk);
    QuietScope scope(system);
    ErrorHook = RaiseKindFailure;
    const std::size_t before = AllocationCount();
    const Caught failure = FailureOf([] { RunTraverse(); });
    const std::size_t allocations = AllocationCount() - before;
    ErrorHook = nullptr;
    EXPECT_EQ(failure.className, "");
    EXPECT_LE(allocations, c.allowed);
    EXPECT_EQ(TraverseRecord.AngleSide, c.side);
    EXPECT_GT(system.bytesWritten, 30000u);  // the result lines were written
  }
  ClearRecord(TraverseRecord);
}

}  // namespace
}  // namespace traverse::testing
