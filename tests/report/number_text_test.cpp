// The shared texts: signs of zero in fixed decimals, the CSV rows built on
// them, and input text made safe for JSON and XML.
#include "report/number_text.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "report/text_escape.hpp"
#include "report/worked_example.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

TEST(FixedText, NoMinusOnAZeroButEverywhereElse) {
  const double infinity = std::numeric_limits<double>::infinity();
  const struct {
    double x;
    int decimals;
    const char* expected;
  } cases[] = {
      {-0.0, 3, "0.000"},   {-0.0004, 3, "0.000"}, {-1e-300, 0, "0"},      {-0.0006, 3, "-0.001"},
      {-12.25, 1, "-12.3"}, {0.0, 0, "0"},         {-infinity, 2, "-Inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FixedText(c.x, c.decimals), c.expected) << c.x;
  }
}

TEST(Csv, RowsOfTheNewPointsWithTheChosenDecimals) {
  const Job job = testing::WorkedJob();
  Adjustment result = testing::WorkedCompass();
  EXPECT_EQ(FormatCsv(AnswerFileResult(job, result), {}), "point,x,y\n1,5146.949,3202.263\n2,5100.014,3498.554\n");
  result.points = {{-0.0001, 12.5}};
  ReportOptions options;
  options.decimals = 1;
  EXPECT_EQ(FormatCsv(AnswerFileResult(job, result), options), "point,x,y\n1,0.0,12.5\n");
  result.points.clear();
  EXPECT_EQ(FormatCsv(AnswerFileResult(job, result), options), "point,x,y\n");
}

// Columns as CAD reads them: any order of the letters, no header, the
// description quoted where it needs it; the known points first with all.
TEST(Csv, ChosenColumnsAndPoints) {
  BookResult book;
  book.known.push_back({"K1", {100, 200}, 10.5, 1, "bolt, kerb", {}, {}, {}, {}});
  NewPoint point;
  point.point = {"N1", {110, 210}, std::nullopt, 3, "", {}, {}, {}, {}};
  book.points.push_back(point);
  const struct {
    const char* columns;
    bool all;
    const char* csv;
  } cases[] = {
      {"", false, "point,x,y\nN1,110.000,210.000\n"},
      {"", true, "point,x,y,z\nK1,100.000,200.000,10.500\nN1,110.000,210.000,\n"},
      {"PENZD", true, "K1,200.000,100.000,10.500,\"bolt, kerb\"\nN1,210.000,110.000,,\n"},
      {"DP", false, ",N1\n"},
  };
  for (const auto& c : cases) {
    ReportOptions options;
    options.columns = c.columns;
    options.allPoints = c.all;
    EXPECT_EQ(FormatCsv(book, options), c.csv) << c.columns << c.all;
  }
}

TEST(TextEscape, InvalidUtf8AndMarkupBecomeSafe) {
  const struct {
    const char* input;
    const char* json;
    const char* xml;
  } cases[] = {
      {"plain.txt", "\"plain.txt\"", "plain.txt"},
      {"a\"b\\c", "\"a\\\"b\\\\c\"", "a&quot;b\\c"},
      {"<a&b>'", "\"<a&b>'\"", "&lt;a&amp;b&gt;&apos;"},
      {"tab\tbell\x07", "\"tab\\tbell\\u0007\"",
       "tab\xEF\xBF\xBD"
       "bell\xEF\xBF\xBD"},
      // Latin-1, a cut-off sequence, an overlong slash, a surrogate.
      {"caf\xE9", "\"caf\xEF\xBF\xBD\"", "caf\xEF\xBF\xBD"},
      {"x\xE2\x82", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\"", "x\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xCE\xB2 \xE2\x80\xB3 \xF0\x9F\x93\x90", "\"\xCE\xB2 \xE2\x80\xB3 \xF0\x9F\x93\x90\"",
       "\xCE\xB2 \xE2\x80\xB3 \xF0\x9F\x93\x90"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonString(c.input), c.json) << c.input;
    EXPECT_EQ(XmlText(c.input), c.xml) << c.input;
  }
  EXPECT_EQ(CodePointCount("\xCE\xB2 \xE2\x80\xB3 \xF0\x9F\x93\x90"), 5u);
}

}  // namespace
}  // namespace traverse
