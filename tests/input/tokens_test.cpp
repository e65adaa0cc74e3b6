// Numbers as the readers take them: books and instrument files to the double
// nearest the decimal, so that `traverse convert`'s shortest text reads back
// to the very double; answer files as the dialogue stores them.
#include <gtest/gtest.h>

#include "input/tokens.hpp"

namespace traverse {
namespace {

TEST(Numbers, BooksReadTheNearestDoubleAnswersTheDialoguesOwn) {
  // 0.021 m in international feet, as a file in feet converted writes it: its
  // extended value rounds to double a last bit up (found by fuzzing).
  EXPECT_EQ(ScanDecimal("0.0688976377952756").value, 0x1.1a3468d1a3469p-4);
  EXPECT_EQ(ScanNumber("0.0688976377952756").value, 0x1.1a3468d1a346ap-4);
  const struct {
    const char* token;
    double value;
  } cases[] = {{"+5", 5}, {"-0.5", -0.5}, {"1e3", 1000}, {".25", 0.25}, {"5.", 5}};
  for (const auto& c : cases) EXPECT_EQ(ScanDecimal(c.token).value, c.value) << c.token;
  for (const char* refused : {"abc", "1e99999", "--1"})
    EXPECT_NE(ScanDecimal(refused).fault, NumberFault::None) << refused;
}

}  // namespace
}  // namespace traverse
