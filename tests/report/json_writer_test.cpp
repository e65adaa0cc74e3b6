// The JSON report read back with nlohmann: the keys, the nulls of each kind,
// exact round trips of the numbers, and the angles in degrees.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "report/worked_example.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

using nlohmann::json;

json Parse(const Job& job, const Adjustment& result) {
  return json::parse(FormatJson(AnswerFileResult(job, result), {}));
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Json, WorkedExampleByCompass) {
  const json report = Parse(testing::WorkedJob(), testing::WorkedCompass());
  for (const char* key :
       {"unit", "rule", "kind", "start_bearing", "end_bearing", "angular_misclosure",
        "angle_correction", "angles", "legs", "linear_misclosure", "total_length",
        "relative_precision", "points", "tolerance", "least_squares", "suspect",
        "expected_misclosure", "notes"}) {
    EXPECT_TRUE(report.contains(key)) << key;
  }
  EXPECT_EQ(report["unit"], "gon");
  EXPECT_EQ(report["rule"], "compass");
  EXPECT_EQ(report["kind"], "connecting");
  EXPECT_EQ(report["start_bearing"].get<double>(), 40.9665529398);
  EXPECT_EQ(report["angles"].size(), 4u);
  EXPECT_EQ(report["angles"][3]["correction"].get<double>(), -0.00058823495);
  EXPECT_EQ(report["legs"][2]["cy"].get<double>(), -0.0020067182);
  EXPECT_EQ(report["linear_misclosure"]["across"].get<double>(), -0.0070626929);
  EXPECT_EQ(report["points"][1]["y"].get<double>(), 3498.5544085202);
  EXPECT_FALSE(report["points"][0].contains("ellipse"));
  EXPECT_EQ(report["tolerance"]["angular"]["actual"].get<double>(), 23.529398);
  EXPECT_TRUE(report["tolerance"]["passed"].get<bool>());
  EXPECT_TRUE(report["least_squares"].is_null());
  EXPECT_TRUE(report["suspect"].is_null());
  EXPECT_TRUE(report["expected_misclosure"].is_null());
  EXPECT_TRUE(report["notes"].is_array());
}

TEST(Json, NumbersReadBackToTheSameDouble) {
  const Job job = testing::WorkedJob();
  Adjustment result = testing::WorkedCompass();
  const double values[] = {
      0.1, 5146.9512345678, 1e-300, -0.0, 5e-324, 1.7976931348623157e308, -123456789012345680.0,
      100};
  for (const double x : values) {
    result.points = {{x, -x}};
    const json report = Parse(job, result);
    EXPECT_TRUE(SameBits(report["points"][0]["x"].get<double>(), x)) << x;
    EXPECT_TRUE(SameBits(report["points"][0]["y"].get<double>(), -x)) << x;
  }
  // JSON has no spelling for these.
  result.totalLength = std::numeric_limits<double>::quiet_NaN();
  result.points = {{std::numeric_limits<double>::infinity(), 0}};
  const json report = Parse(job, result);
  EXPECT_TRUE(report["total_length"].is_null());
  EXPECT_TRUE(report["points"][0]["x"].is_null());
}

TEST(Json, NullsWhereTheKindHasNoFigure) {
  Job job = testing::WorkedJob();
  job.source = "odd \"name\"\n\xE9";
  Adjustment noEnd = testing::WorkedCompass();
  noEnd.kind = TraverseKind::NoEndOrientation;
  noEnd.endBearing.reset();
  noEnd.requiredAngleSum.reset();
  noEnd.angularMisclosure.reset();
  noEnd.angularVerdict.reset();
  noEnd.linear->along.reset();
  noEnd.linear->across.reset();
  json report = Parse(job, noEnd);
  EXPECT_EQ(report["kind"], "no-end-orientation");
  EXPECT_EQ(report["source"], "odd \"name\"\n\xEF\xBF\xBD");
  for (const char* key : {"end_bearing", "required_angle_sum", "angular_misclosure"}) {
    EXPECT_TRUE(report[key].is_null()) << key;
  }
  EXPECT_TRUE(report["tolerance"]["angular"].is_null());
  EXPECT_TRUE(report["linear_misclosure"]["along"].is_null());
  EXPECT_FALSE(report["linear_misclosure"]["x"].is_null());

  Adjustment open = noEnd;
  open.kind = TraverseKind::Open;
  open.linear.reset();
  open.relativePrecision.reset();
  open.linearVerdict.reset();
  open.points.clear();
  open.notes = {"The traverse has no check."};
  report = Parse(job, open);
  EXPECT_EQ(report["kind"], "open");
  EXPECT_TRUE(report["linear_misclosure"].is_null());
  EXPECT_TRUE(report["relative_precision"].is_null());
  EXPECT_TRUE(report["tolerance"]["linear"].is_null());
  EXPECT_TRUE(report["tolerance"]["passed"].get<bool>());
  EXPECT_TRUE(report["points"].is_array() && report["points"].empty());
  EXPECT_EQ(report["notes"][0], "The traverse has no check.");
}

TEST(Json, LeastSquaresInDegrees) {
  Job job = testing::WorkedJob();
  job.settings.unit = AngleUnit::Dms;
  const json report = Parse(job, testing::WorkedLeastSquares());
  EXPECT_EQ(report["unit"], "deg");
  EXPECT_EQ(report["rule"], "least-squares");
  EXPECT_NEAR(report["start_bearing"].get<double>(), 36.86989764582, 1e-11);
  EXPECT_NEAR(report["end_bearing"].get<double>(), 135.0, 1e-12);
  EXPECT_NEAR(report["points"][0]["ellipse"]["bearing"].get<double>(), 121.68, 1e-12);
  // The correction of an angle is its residual; the verdict stays as held.
  EXPECT_NEAR(report["angles"][2]["correction"].get<double>(), -0.00099, 1e-15);
  EXPECT_EQ(report["tolerance"]["angular"]["actual"].get<double>(), 23.529398);
  const json& ls = report["least_squares"];
  EXPECT_EQ(ls["redundancy"], 3);
  EXPECT_EQ(ls["global_test"]["upper"].get<double>(), 9.348);
  EXPECT_EQ(ls["observations"].size(), 7u);
  EXPECT_EQ(ls["observations"][4]["kind"], "length");
  EXPECT_EQ(ls["observations"][4]["residual"].get<double>(), -0.0021);
  EXPECT_EQ(report["suspect"]["index"], 3);
  EXPECT_EQ(report["suspect"]["alternatives"][0]["kind"], "length");
  EXPECT_EQ(report["suspect"]["alternatives"][0]["index"], 2);
  EXPECT_NEAR(report["expected_misclosure"]["angular"].get<double>(), 0.0018, 1e-15);
  EXPECT_EQ(report["expected_misclosure"]["across_ratio"].get<double>(), 1.68);
}

}  // namespace
}  // namespace traverse
