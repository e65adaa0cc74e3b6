// Relative precision in a book's report: the ALTA/NSPS verdict on pairs
// just inside and just outside the tolerance, and a pair named by a
// `relative` record beside those the observations join.
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

TEST(RelativePrecision, VerdictJustInsideAndJustOutside) {
  // 20 mm + 50 ppm of 100 m allows 25 mm at 95 %: 2.4477 a.
  const RelativeTolerance alta{20, 50};
  const struct {
    double a, distance;
    bool passed;
  } cases[] = {{0.0102, 100, true},      // 24.97 mm
               {0.0103, 100, false},     // 25.21 mm
               {0.0081, 2, true},        // 19.83 mm of 20.1
               {0.0083, 2, false}};      // 20.32 mm
  for (const auto& c : cases) {
    RelativePrecision figures;
    figures.ellipse.a = c.a;
    figures.distance = c.distance;
    const RelativePairs asked{{{0, 1}}, {0}};
    const auto name = [](int i) { return i == 0 ? std::string("P1") : std::string("P2"); };
    const std::vector<RelativeReport> judged = JudgeRelative(asked, {figures}, name, alta);
    ASSERT_EQ(judged.size(), 1u);
    EXPECT_NEAR(*judged[0].allowed, 0.020 + 50e-6 * c.distance, 1e-15);
    EXPECT_EQ(judged[0].passed, c.passed) << c.a << ' ' << c.distance;
    EXPECT_FALSE(JudgeRelative(asked, {figures}, name, std::nullopt)[0].allowed);
  }
}

std::string Example(const std::string& name) {
  std::ifstream in(std::string(EXAMPLES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

BookResult Adjusted(const std::string& text, std::optional<RelativeTolerance> tolerance) {
  Book book = ReadFieldBook(text, "net.book", {});
  ReduceBook(book);
  Settings settings;
  settings.unit = AngleUnit::Dms;
  settings.rule = Rule::LeastSquares;
  settings.relativeTolerance = tolerance;
  return AdjustBook(book, settings);
}

TEST(RelativePrecision, NetworkPairsAndNamedPairInTheReport) {
  // The loop and its inner traverses: twelve pairs joined by observations,
  // and A-K, which none joins, asked for by name.
  const std::string book = Example("ghilani_wolf_network.book") + "relative A K\n";
  const BookResult loose = Adjusted(book, RelativeTolerance{20, 50});
  ASSERT_TRUE(loose.network);
  ASSERT_EQ(loose.network->relative.size(), 13u);
  const RelativeReport& named = loose.network->relative.back();
  EXPECT_EQ(named.from + "-" + named.to, "A-K");
  EXPECT_GT(named.line, 0);
  EXPECT_TRUE(loose.TolerancesPassed());
  // Within 1 mm + 1 ppm no pair holds: each one fails the verdict.
  const BookResult tight = Adjusted(book, RelativeTolerance{1, 1});
  EXPECT_EQ(tight.network->RelativeFailures(), 13u);
  EXPECT_FALSE(tight.TolerancesPassed());
  const std::string report = FormatText(tight, {});
  EXPECT_NE(report.find("13 of 13 pairs EXCEED the relative tolerance"), std::string::npos) << report;
  EXPECT_NE(report.find("Overall: a tolerance is EXCEEDED"), std::string::npos);
  const std::string json = FormatJson(tight, {});
  for (const char* key : {"\"relative\": [", "\"sigma_distance\": ", "\"precision_95\": ",
                          "\"allowed\": ", "\"passed\": false"})
    EXPECT_NE(json.find(key), std::string::npos) << key;
}

TEST(RelativePrecision, RecordsThatCannotBeMet) {
  const std::string book = Example("ghilani_wolf_network.book");
  for (const auto& [record, message] :
       {std::pair{"relative A Z\n", "relative: 'Z' is no point of the network"},
        std::pair{"relative A\n", "expected 'relative A B' with two different points"},
        std::pair{"relative A A\n", "expected 'relative A B' with two different points"}}) {
    try {
      Adjusted(book + record, std::nullopt);
      ADD_FAILURE() << record;
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse
