// Every reader's walk over the lines of a text: each line end alone and
// mixed, with and without a bare CR as a line end, a last line without its
// end, and blank lines kept (they count for the line numbers of messages).
#include "input/tokens.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace traverse {
namespace {

std::vector<std::string> Lines(std::string_view text, bool bareCr, int& last) {
  TextLines lines(text, bareCr);
  std::vector<std::string> out;
  for (std::string_view line; lines.Next(line);) out.emplace_back(line);
  last = lines.Number();
  return out;
}

TEST(TextLinesTest, EachLineEndAloneAndMixed) {
  using V = std::vector<std::string>;
  const struct {
    const char* text;
    bool bareCr;
    V lines;
  } cases[] = {
      {"a\nb\n", false, {"a", "b"}},
      {"a\r\nb\r\n", false, {"a", "b"}},
      {"a\rb\n", false, {"a\rb"}},  // a CR inside a line is the line's
      {"a\nb", false, {"a", "b"}},
      {"a\rb\r", true, {"a", "b"}},
      {"a\r\nb\r\nc", true, {"a", "b", "c"}},
      {"a\nb\rc\r\nd\n\re", true, {"a", "b", "c", "d", "", "e"}},
      {"\r\r\n\n", true, {"", "", ""}},
      {"\xEF\xBB\xBF" "a\rb", true, {"a", "b"}},
      {"", true, {}},
      {"only", true, {"only"}},
  };
  for (const auto& c : cases) {
    int last = 0;
    EXPECT_EQ(Lines(c.text, c.bareCr, last), c.lines) << c.text;
    EXPECT_EQ(last, static_cast<int>(c.lines.size())) << c.text;
  }
}

// A long text of one line end only: the other is never found, and the walk
// stays one scan of the text (a search from each line for the missing end
// would take the square of its length).
TEST(TextLinesTest, AFileOfOneLineEndWalksEveryLine) {
  for (const char* end : {"\n", "\r", "\r\n"}) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += std::to_string(i) + end;
    int last = 0;
    const std::vector<std::string> lines = Lines(text, true, last);
    ASSERT_EQ(lines.size(), 200000u);
    EXPECT_EQ(lines[123456], "123456");
    EXPECT_EQ(last, 200000);
  }
}

}  // namespace
}  // namespace traverse
