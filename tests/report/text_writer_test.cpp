// The printed report: exact tables of the worked example, the sentences of
// each kind, the verdict words, and columns that stay aligned when a value
// is huge.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"
#include "report/worked_example.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

std::string Report(const Job& job, const Adjustment& result) {
  ReportOptions options;
  options.version = "1.0";
  return FormatText(AnswerFileResult(job, result), options);
}

// The lines of the section under `title`, up to the blank line that ends it.
std::vector<std::string> Section(const std::string& report, const std::string& title) {
  std::istringstream in(report.substr(report.find("\n" + title + "\n") + 1));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line) && !line.empty();) lines.push_back(line);
  return lines;
}

TEST(TextReport, WorkedExampleTables) {
  const std::string report = Report(testing::WorkedJob(), testing::WorkedCompass());
  EXPECT_EQ(report.rfind("traverse 1.0 - traverse adjustment\n", 0), 0u);
  EXPECT_NE(report.find("\nInput              worked.txt\n"), std::string::npos);
  const std::vector<std::string> angles = {
      "Angles",
      "  no.  at  measured [gon]  correction [cc]  adjusted [gon]",
      "  ---  --  --------------  ---------------  --------------",
      "    1  B        219.03460             -5.9       219.03401",
      "    2  1        250.00080             -5.9       250.00021",
      "    3  2        174.99910             -5.9       174.99851",
      "    4  C        265.00130             -5.9       265.00071"};
  EXPECT_EQ(Section(report, "Angles"), angles);
  const std::vector<std::string> points = {
      "New points", "  point     X [m]     Y [m]", "  -----  --------  --------",
      "      1  5146.949  3202.263", "      2  5100.014  3498.554"};
  EXPECT_EQ(Section(report, "New points"), points);
  for (const char* line :
       {"  Angular misclosure fb       23.5 cc\n", "  Correction per angle        -5.9 cc\n",
        "  fX                        0.0085 m\n", "  Relative precision       1:80006\n",
        "  angular  50.0 cc  23.5 cc  passed\n", "  linear    1:5000  1:80006  passed\n",
        "  Overall: passed\n", "\nNo suspected blunder\n"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(report.find('\r'), std::string::npos);
  EXPECT_EQ(report.back(), '\n');
}

TEST(TextReport, EachKindSaysWhatItChecks) {
  const Job job = testing::WorkedJob();
  const Adjustment connecting = testing::WorkedCompass();
  Adjustment loop = connecting;
  loop.kind = TraverseKind::Loop;
  Adjustment noEnd = connecting;
  noEnd.kind = TraverseKind::NoEndOrientation;
  noEnd.endBearing.reset();
  noEnd.angularMisclosure.reset();
  noEnd.angularVerdict.reset();
  Adjustment open = noEnd;
  open.kind = TraverseKind::Open;
  open.linear.reset();
  open.relativePrecision.reset();
  open.linearVerdict.reset();
  open.points.clear();
  open.notes = {"Nothing checks an open traverse."};
  const struct {
    const Adjustment& result;
    std::vector<const char*> present;
    std::vector<const char*> absent;
  } cases[] = {
      {loop, {"closed loop", "\n  B      5000.000"}, {"\n  C  ", "\n  D  "}},
      {noEnd,
       {"no orientation at C", "Angular misclosure fb  none: no orientation at C", "\n  C  "},
       {"\n  D  ", "angular  "}},
      {open,
       {"it has no check", "none: the traverse has no check", "\n  none\n",
        "\n  Nothing checks an open traverse.\n", "No blunder can be detected",
        "\n  none checked\n"},
       {"\n  C  ", "Suspected", "No suspected blunder"}},
  };
  for (const auto& c : cases) {
    const std::string report = Report(job, c.result);
    for (const char* text : c.present) EXPECT_NE(report.find(text), std::string::npos) << text;
    for (const char* text : c.absent) EXPECT_EQ(report.find(text), std::string::npos) << text;
  }
}

TEST(TextReport, ExceededToleranceIsShouted) {
  Adjustment result = testing::WorkedCompass();
  result.linearVerdict = Verdict{100000, 80005.8947, false};
  const std::string report = Report(testing::WorkedJob(), result);
  EXPECT_NE(report.find("  linear   1:100000  1:80006  EXCEEDED\n"), std::string::npos);
  EXPECT_NE(report.find("  Overall: EXCEEDED\n"), std::string::npos);
}

// On the page only what failed is marked red: each verdict cell and the
// overall line, read back from the page, for a passing and a failing check.
TEST(HtmlReport, OnlyFailuresAreRed) {
  Adjustment result = testing::WorkedCompass();
  result.angularVerdict = Verdict{40, 23.5, true};
  result.linearVerdict = Verdict{100000, 80005.8947, false};
  const std::string page = FormatHtml(AnswerFileResult(testing::WorkedJob(), result), {});
  const std::pair<std::string, bool> cells[] = {
      {"<td>passed</td>", true},
      {"<td class=\"alarm\">EXCEEDED</td>", true},
      {"<td class=\"alarm\">passed</td>", false},
      {"<p class=\"alarm\">Overall: EXCEEDED</p>", true},
  };
  for (const auto& [cell, present] : cells)
    EXPECT_EQ(page.find(cell) != std::string::npos, present) << cell;
  result.linearVerdict->passed = true;
  const std::string passing = FormatHtml(AnswerFileResult(testing::WorkedJob(), result), {});
  EXPECT_EQ(passing.find("class=\"alarm\""), std::string::npos);
}

// A field book's report speaks of its own stations: the bearings from each
// end station to its mark (a mark given as a bearing has no name), the
// misclosure along its ends; its title on top, D-M-S where the book is, and
// the slope distances, zeniths, hi, ht and index errors it measured.
TEST(TextReport, FieldBookSpeaksOfItsStationsInItsUnit) {
  const std::string book =
      "title Smith farm, lot 7\nunit dms\npoint TP12 4800 2850 100\npoint PP101 5000 3000 101\n"
      "point PP102 5165.381 3770.824\ntraverse left\nTP12\n"
      "PP101 197-07-52.1 sd=250.1 za=90-00-00/270-00-10 hi=1.5 ht=1.6\n"
      "P1 225-00-00.3 299.987\nP2 157-29-57.1 280.009\nPP102 238-30-00.4\nbearing 135-00-00\nend\n";
  Book read = ReadFieldBook(book, "farm.book", {});
  ReduceBook(read);
  Settings settings;
  settings.unit = AngleUnit::Dms;
  const std::string report = FormatText(AdjustBook(read, settings), {});
  for (const char* line : {"\nSmith farm, lot 7\n", "  Start bearing PP101\xE2\x80\x93TP12  ",
                           "  End bearing PP102 to its mark  135-00-00.00 d-m-s\n",
                           "  Along PP101\xE2\x80\x93PP102  ", "Angle unit         d-m-s;",
                           "  1  B  ", "slope [m]  zenith [d-m-s]  hi [m]  ht [m]  index error [arcsec]",
                           "  250.100     89-59-55.00   1.500   1.600                   5.0  ",
                           "197-07-52.10", "\nOverall: no tolerance was given, so none was checked\n"})
    EXPECT_EQ(report.find(line) != std::string::npos, std::string(line) != "  1  B  ") << line;
}

// A tripped gross-error guard is the verdict with or without tolerances,
// and the implied scale error is stated.
TEST(TextReport, GrossVerdictAndScaleError) {
  for (const bool tolerances : {false, true}) {
    Adjustment result = testing::WorkedCompass();
    if (!tolerances) result.angularVerdict = result.linearVerdict = std::nullopt;
    result.gross = GrossCheck{true, false, {"The angle unit: read as gon they close."}};
    result.scaleErrorPpm = 392;
    const std::string report = Report(testing::WorkedJob(), result);
    EXPECT_NE(report.find("  GROSS: the angular misclosure is beyond what a survey gives\n"),
              std::string::npos) << tolerances;
    EXPECT_NE(report.find("  Overall: GROSS\n"), std::string::npos) << tolerances;
    EXPECT_NE(report.find("  Scale error  "), std::string::npos);
    EXPECT_NE(report.find("392 ppm: the misclosure lies along the line"), std::string::npos);
  }
}

// A closure to the last bit is not a precision of 1:61322553974068952.
TEST(TextReport, PrecisionBeyondAMillionIsBetterThanAMillion) {
  Adjustment result = testing::WorkedCompass();
  result.relativePrecision = 61322553974068952.0;
  result.linearVerdict = Verdict{10000, 61322553974068952.0, true};
  const std::string report = Report(testing::WorkedJob(), result);
  EXPECT_NE(report.find("Relative precision     better than 1:1000000\n"), std::string::npos);
  EXPECT_NE(report.find("  better than 1:1000000  passed\n"), std::string::npos);
  EXPECT_EQ(report.find("61322553974068952"), std::string::npos);
}

TEST(TextReport, LeastSquaresInDegreesWithItsSuspect) {
  Job job = testing::WorkedJob();
  job.settings.unit = AngleUnit::Degree;
  const std::string report = Report(job, testing::WorkedLeastSquares());
  for (const char* text :
       {"measured [deg]  correction [arcsec]", "A-priori sigmas    angle 3.2 arcsec",
        "  Iterations            3 (converged)\n",
        "  Global test vTPv   6.05 bounds [0.22, 9.35]: passed\n",
        "  angle     3  157.499190  deg      -3.6  arcsec  -4.12  <- suspect\n",
        "  length    1     250.012  m        -2.1  mm      -0.98\n",
        "\nSuspected blunder: angle 3 (w = -4.1)\nIt cannot be told apart from length 2,"}) {
    EXPECT_NE(report.find(text), std::string::npos) << text;
  }
}

TEST(TextReport, HugeValuesWidenTheirColumn) {
  Adjustment result = testing::WorkedCompass();
  result.points[1] = {1e20, -0.0};
  const std::vector<std::string> points =
      Section(Report(testing::WorkedJob(), result), "New points");
  ASSERT_EQ(points.size(), 5u);
  EXPECT_EQ(points[4], "      2  100000000000000000000.000     0.000");
  for (std::size_t i = 2; i < points.size(); ++i) EXPECT_EQ(points[i].size(), points[1].size());
}

}  // namespace
}  // namespace traverse
