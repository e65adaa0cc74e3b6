#include "traverse/angular_closure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "record_support.hpp"
#include "support/memory_platform.hpp"

namespace traverse::testing {
namespace {

class AngularClosure : public ::testing::Test {
 protected:
  AngularClosure() { ClearRecord(record); }
  ~AngularClosure() override { ClearRecord(record); }

  // Puts the bearings, the side and the angles in place as the dialogue does,
  // the sum accumulated in doubles.
  void Prepare(const std::string& side, double bearingAB, double bearingCD,
               const std::vector<double>& angles) {
    record.AngleSide = side;
    record.BearingAB = bearingAB;
    record.BearingCD = bearingCD;
    record.AngleCount = static_cast<std::uint8_t>(angles.size());
    record.MeasuredAngleSum = 0;
    for (std::size_t i = 0; i < angles.size(); ++i) {
      record.MeasuredAngle[i + 1] = angles[i];
      record.MeasuredAngleSum = record.MeasuredAngleSum + angles[i];
    }
  }

  PlatformScope scope;
  TTraverse& record = TraverseRecord;
};

struct ClosureCase {
  const char* name;
  std::string side;
  double bearingAB;
  double bearingCD;
  std::vector<double> angles;
  double theoreticalSum;
  double misclosure;
  std::vector<double> legBearings;  // 0..n
};

// The closures worked out by hand; where the bits matter they are exact hex
// values of the extended evaluation rounded at each store.
const ClosureCase closureCases[] = {
    {"left, small misclosure spread",
     "left",
     50,
     150,
     {250, 250.004},
     500,
     0x1.0624dd2f20000p-8,
     {50, 0x1.8ffdf3b645a1cp+6, 0x1.2bfffffffffffp+7}},
    {"left, closing exactly", "left", 0, 0, {200.002, 199.998}, 400, 0, {0, 0.002, 0}},
    {"right, leg bearing stays unreduced",
     "right",
     0,
     0,
     {200.002, 199.998},
     400,
     0,
     {0, -0x1.0624dd2f20000p-9, 0}},
    {"left typed with capitals and blanks",
     " Left\t",
     0,
     0,
     {200.002, 199.998},
     400,
     0,
     {0, 0.002, 0}},
    {"difference 400.01 takes out one circle",
     "right",
     0,
     300,
     {250, 250.01},
     500,
     0.01,
     {0, -49.995, -100}},
    {"difference 900 takes out two circles",
     "right",
     0,
     300,
     {500, 500},
     900,
     100,
     {0, -250, -500}},
};

TEST_F(AngularClosure, SpreadsTheMisclosureAndPropagatesTheBearings) {
  for (const ClosureCase& c : closureCases) {
    SCOPED_TRACE(c.name);
    Prepare(c.side, c.bearingAB, c.bearingCD, c.angles);
    AdjustAngles(record);
    const auto n = static_cast<double>(c.angles.size());
    EXPECT_EQ(record.TheoreticalAngleSum, c.theoreticalSum);
    EXPECT_NEAR(record.AngularMisclosure, c.misclosure, 1e-9);
    EXPECT_EQ(record.AngleCorrection, -record.AngularMisclosure / n);
    for (std::size_t i = 1; i <= c.angles.size(); ++i)
      EXPECT_EQ(record.CorrectedAngle[i], c.angles[i - 1] + record.AngleCorrection) << i;
    for (std::size_t i = 0; i < c.legBearings.size(); ++i)
      EXPECT_NEAR(record.LegBearing[i], c.legBearings[i], 1e-9) << "leg bearing " << i;
    EXPECT_EQ(record.AngleSide, c.side);
  }
}

TEST_F(AngularClosure, KeepsTheExtendedEvaluationBits) {
  // The first case of the table, bit for bit: a double evaluation differs.
  Prepare("left", 50, 150, {250, 250.004});
  AdjustAngles(record);
  EXPECT_EQ(record.AngularMisclosure, 0x1.0624dd2f20000p-8);
  EXPECT_EQ(record.AngleCorrection, -0x1.0624dd2f20000p-9);
  EXPECT_EQ(record.CorrectedAngle[1], 0x1.f3fef9db22d0ep+7);
  EXPECT_EQ(record.CorrectedAngle[2], 0x1.f4010624dd2f1p+7);
  EXPECT_EQ(record.LegBearing[1], 0x1.8ffdf3b645a1cp+6);
  EXPECT_EQ(record.LegBearing[2], 0x1.2bfffffffffffp+7);
}

struct WrapCase {
  double difference;  // measured sum minus the theoretical sum of 400
  double circles;     // whole circles taken out
  double misclosure;
};

// The misclosure always ends within -200 to +200 gon, however many circles
// the difference holds; a difference already in that range is left alone.
constexpr WrapCase wrapCases[] = {
    {0.004, 0, 0.004},       {199.9, 0, 199.9},      {-199.9, 0, -199.9},
    {-200, 0, -200},         {200, 1, -200},         {400, 1, 0},
    {-400, -1, 0},           {399.998, 1, -0.002},   {400.002, 1, 0.002},
    {-399.998, -1, 0.002},   {-400.002, -1, -0.002}, {799.998, 2, -0.002},
    {800.002, 2, 0.002},     {-799.998, -2, 0.002},  {-800.002, -2, -0.002},
    {1199.998, 3, -0.002},   {1200.002, 3, 0.002},   {-1199.998, -3, 0.002},
    {-1200.002, -3, -0.002}, {4000.001, 10, 0.001},  {-40000.001, -100, -0.001},
};

TEST_F(AngularClosure, TakesOutTheNearestWholeNumberOfCircles) {
  for (const char* side : {"left", "right"}) {
    for (const WrapCase& c : wrapCases) {
      SCOPED_TRACE(std::string(side) + " difference " + std::to_string(c.difference));
      // Both bearings 0 with two angles: a theoretical sum of 400 either way.
      Prepare(side, 0, 0, {200 + c.difference, 200});
      AdjustAngles(record);
      EXPECT_EQ(record.TheoreticalAngleSum, 400 + 400 * c.circles);
      EXPECT_NEAR(record.AngularMisclosure, c.misclosure, 1e-9);
      EXPECT_NEAR(record.AngleCorrection, -c.misclosure / 2, 1e-9);
      // The adjusted end bearing meets the known one, up to whole circles.
      const double sign = std::string(side) == "left" ? 1 : -1;
      EXPECT_NEAR(record.LegBearing[2], sign * 400 * c.circles, 1e-9);
    }
  }
}

TEST_F(AngularClosure, NoAnglesFailBeforeAnyTableEntryIsWritten) {
  struct {
    double bearingCD;
    double measuredSum;
    const char* failure;
  } cases[] = {
      {10, 0, "EZeroDivide"},  // misclosure -10
      {0, 0, "EInvalidOp"},    // misclosure exactly 0: 0 / 0
      {0, 400.5, "EZeroDivide"},
  };
  for (const auto& c : cases) {
    Prepare("left", 0, c.bearingCD, {});
    record.MeasuredAngleSum = c.measuredSum;
    record.LegBearing[0] = record.LegBearing[1] = record.CorrectedAngle[1] = 7;
    Caught caught = FailureOf([&] { AdjustAngles(record); });
    EXPECT_EQ(caught.className, c.failure);
    EXPECT_EQ(record.LegBearing[0], 7);
    EXPECT_EQ(record.LegBearing[1], 7);
    EXPECT_EQ(record.CorrectedAngle[1], 7);
  }
}

TEST_F(AngularClosure, AStoredBearingBeyondTheDoubleRangeOverflows) {
  Prepare("left", 0, 0, {1.5e308, 1.5e308});
  record.MeasuredAngleSum = 1.5e308;  // the dialogue's own sum would already overflow
  record.MeasuredAngle[2] = 1.5e308;
  Caught caught = FailureOf([&] { AdjustAngles(record); });
  EXPECT_EQ(caught.className, "EOverflow");
  EXPECT_EQ(caught.message, "Floating point overflow");
}

struct SideCase {
  std::string answer;
  bool left;
};

const SideCase sideCases[] = {
    {"left", true},      {"Left", true},
    {"LEFT", true},      {"lEfT", true},
    {" left", true},     {"left ", true},
    {"\tleft\r", true},  {std::string("\0left \x1f", 7), true},
    {"  LeFt  ", true},  {"right", false},
    {"", false},         {"   ", false},
    {"lef", false},      {"leftt", false},
    {"le ft", false},    {"left\x7f", false},
    {"\xa0left", false}, {"links", false},
    {"l", false},        {"left.", false},
};

TEST(SideAnswer, LeftInAnyCaseWithBlanksAroundIt) {
  for (const SideCase& c : sideCases)
    EXPECT_EQ(IsLeftSide(c.answer), c.left) << '"' << c.answer << '"';
}

}  // namespace
}  // namespace traverse::testing
