#include "traverse/angular_closure.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "record_support.hpp"
#include "support/memory_platform.hpp"

namespace traverse::testing {
namespace {

class AngularClosure : public ::testing::Test {
 protected:
  AngularClosure() { ClearRecord(record); }
  ~AngularClosure() override { ClearRecord(record); }

  // Bearings, side and angles as the dialogue leaves them, the sum in doubles.
  void Adjust(const std::string& side, double bearingAB, double bearingCD,
              const std::vector<double>& angles) {
    record.AngleSide = side;
    record.BearingAB = bearingAB;
    record.BearingCD = bearingCD;
    record.AngleCount = static_cast<std::uint8_t>(angles.size());
    for (std::size_t i = 0; i < angles.size(); ++i) {
      record.MeasuredAngle[i + 1] = angles[i];
      record.MeasuredAngleSum = record.MeasuredAngleSum + angles[i];
    }
    AdjustAngles(record);
  }

  PlatformScope scope;
  TTraverse& record = TraverseRecord;
};

struct ClosureCase {
  const char* name;
  std::string side;
  double bearingAB, bearingCD;
  std::vector<double> angles;
  double theoreticalSum, misclosure;
  std::vector<double> legBearings;  // 0..n
};

// The first row is exact to the bit (an evaluation in doubles differs); the
// others are checked to 1e-9.
// clang-format off
const ClosureCase closureCases[] = {
    {"left, small misclosure", "left", 50, 150, {250, 250.004}, 500, 0x1.0624dd2f20000p-8,
     {50, 0x1.8ffdf3b645a1cp+6, 0x1.2bfffffffffffp+7}},
    {"left, closing exactly", "left", 0, 0, {200.002, 199.998}, 400, 0, {0, 0.002, 0}},
    {"right, bearing left unreduced", "right", 0, 0, {200.002, 199.998}, 400, 0,
     {0, -0x1.0624dd2f20000p-9, 0}},
    {"difference 400.01: one circle", "right", 0, 300, {250, 250.01}, 500, 0.01, {0, -49.995, -100}},
    {"difference 900: two circles", "right", 0, 300, {500, 500}, 900, 100, {0, -250, -500}},
};
// clang-format on

TEST_F(AngularClosure, SpreadsTheMisclosureAndPropagatesTheBearings) {
  for (const ClosureCase& c : closureCases) {
    SCOPED_TRACE(c.name);
    ClearRecord(record);
    Adjust(c.side, c.bearingAB, c.bearingCD, c.angles);
    EXPECT_EQ(record.TheoreticalAngleSum, c.theoreticalSum);
    EXPECT_NEAR(record.AngularMisclosure, c.misclosure, 1e-9);
    EXPECT_EQ(record.AngleCorrection,
              -record.AngularMisclosure / static_cast<double>(c.angles.size()));
    for (std::size_t i = 1; i <= c.angles.size(); ++i)
      EXPECT_EQ(record.CorrectedAngle[i], c.angles[i - 1] + record.AngleCorrection) << i;
    for (std::size_t i = 0; i < c.legBearings.size(); ++i)
      EXPECT_NEAR(record.LegBearing[i], c.legBearings[i], 1e-9) << "leg bearing " << i;
  }
  ClearRecord(record);
  const ClosureCase& exact = closureCases[0];
  Adjust(exact.side, exact.bearingAB, exact.bearingCD, exact.angles);
  EXPECT_EQ(record.AngularMisclosure, exact.misclosure);
  EXPECT_EQ(record.LegBearing[1], exact.legBearings[1]);
  EXPECT_EQ(record.LegBearing[2], exact.legBearings[2]);
}

// Difference of the sums (against a theoretical 400), whole circles taken
// out, and the misclosure that remains: always within -200 to +200 gon.
// clang-format off
constexpr double wrapCases[][3] = {
    {0.004, 0, 0.004},      {199.9, 0, 199.9},      {-199.9, 0, -199.9},   {-200, 0, -200},
    {200, 1, -200},         {400, 1, 0},            {-400, -1, 0},
    {399.998, 1, -0.002},   {400.002, 1, 0.002},    {-399.998, -1, 0.002}, {-400.002, -1, -0.002},
    {799.998, 2, -0.002},   {800.002, 2, 0.002},    {-799.998, -2, 0.002}, {-800.002, -2, -0.002},
    {1199.998, 3, -0.002},  {1200.002, 3, 0.002},   {-1199.998, -3, 0.002}, {-1200.002, -3, -0.002},
    {4000.001, 10, 0.001},  {-40000.001, -100, -0.001},
};
// clang-format on

TEST_F(AngularClosure, TakesOutTheNearestWholeNumberOfCircles) {
  for (const char* side : {"left", "right"}) {
    for (const auto& [difference, circles, misclosure] : wrapCases) {
      SCOPED_TRACE(std::string(side) + " " + std::to_string(difference));
      ClearRecord(record);
      Adjust(side, 0, 0, {200 + difference, 200});
      EXPECT_EQ(record.TheoreticalAngleSum, 400 + 400 * circles);
      EXPECT_NEAR(record.AngularMisclosure, misclosure, 1e-9);
      // The adjusted end bearing meets the known one, up to whole circles.
      EXPECT_NEAR(record.LegBearing[2], (side[0] == 'l' ? 400 : -400) * circles, 1e-9);
    }
  }
}

TEST_F(AngularClosure, NoAnglesFailBeforeAnyTableEntryIsWritten) {
  // End bearing, measured sum, failure: a zero misclosure divides 0 by 0.
  const std::tuple<double, double, const char*> cases[] = {
      {10, 0, "EZeroDivide"}, {0, 400.5, "EZeroDivide"}, {0, 0, "EInvalidOp"}};
  for (const auto& [bearingCD, measuredSum, failure] : cases) {
    ClearRecord(record);
    record.MeasuredAngleSum = measuredSum;
    record.LegBearing[0] = record.CorrectedAngle[1] = 7;
    EXPECT_EQ(
        FailureOf([&, endBearing = bearingCD] { Adjust("left", 0, endBearing, {}); }).className,
        failure);
    EXPECT_EQ(record.LegBearing[0], 7);
    EXPECT_EQ(record.CorrectedAngle[1], 7);
  }
}

TEST(SideAnswer, LeftInAnyCaseWithBlanksAroundIt) {
  // clang-format off
  const std::pair<std::string, bool> cases[] = {
      {"left", true},    {"LEFT", true},   {"lEfT", true},     {" left", true},   {"left ", true},
      {"\tleft\r", true}, {std::string("\0Left \x1f", 7), true},
      {"right", false},  {"", false},      {"   ", false},     {"lef", false},    {"leftt", false},
      {"le ft", false},  {"left\x7f", false}, {"\xa0left", false}, {"left.", false},
  };
  // clang-format on
  for (const auto& [answer, left] : cases)
    EXPECT_EQ(IsLeftSide(answer), left) << '"' << answer << '"';
}

}  // namespace
}  // namespace traverse::testing
