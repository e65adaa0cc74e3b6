#include "traverse/linear_closure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "record_support.hpp"
#include "support/memory_platform.hpp"
#include "traverse/angular_closure.hpp"
#include "traverse/grid_bearing.hpp"

namespace traverse::testing {
namespace {

class LinearClosure : public ::testing::Test {
 protected:
  LinearClosure() { ClearRecord(record); }
  ~LinearClosure() override { ClearRecord(record); }

  // Legs from B to C; increments taken leg by leg and lengths summed in
  // doubles, as the dialogue does.
  void Prepare(double xb, double yb, double xc, double yc, const std::vector<double>& bearings,
               const std::vector<double>& lengths) {
    ClearRecord(record);
    record.XB = xb, record.YB = yb, record.XC = xc, record.YC = yc;
    record.AngleCount = static_cast<std::uint8_t>(lengths.size() + 1);
    for (std::size_t i = 1; i <= lengths.size(); ++i) {
      record.LegBearing[i] = bearings[i - 1];
      record.LegLength[i] = lengths[i - 1];
      LegIncrements(record, static_cast<std::uint8_t>(i));
      record.SumLength = record.SumLength + lengths[i - 1];
    }
  }

  PlatformScope scope;
  TTraverse& record = TraverseRecord;
};

struct ProportionCase {
  double xc;                    // C on the X axis, B at the origin
  std::vector<double> lengths;  // every leg along +X
  double misclosureX;
  std::vector<double> corrections;
};

// Each leg takes the share of the misclosure its length has of the length
// sum, a negative length included.
const ProportionCase proportionCases[] = {
    {100, {100.02}, 0.02, {-0.02}},
    {39.92, {30, 10}, 0.08, {-0.06, -0.02}},
    {299.97, {100, 100, 100}, 0.03, {-0.01, -0.01, -0.01}},
    {20.1, {30, -10}, -0.1, {0.15, -0.05}},
};

TEST_F(LinearClosure, SpreadsTheMisclosureInProportionToTheLengths) {
  for (const ProportionCase& c : proportionCases) {
    SCOPED_TRACE(c.xc);
    Prepare(0, 0, c.xc, 0, std::vector<double>(c.lengths.size(), 0), c.lengths);
    AdjustIncrements(record);
    EXPECT_EQ(record.DxBC, c.xc);
    EXPECT_NEAR(record.MisclosureX, c.misclosureX, 1e-12);
    EXPECT_EQ(record.MisclosureY, 0);
    double sumX = 0;
    for (std::size_t i = 1; i <= c.lengths.size(); ++i) {
      EXPECT_NEAR(record.CorrectedIncrementX[i] - record.IncrementX[i], c.corrections[i - 1],
                  1e-12);
      sumX += record.CorrectedIncrementX[i];
    }
    EXPECT_NEAR(sumX, c.xc, 1e-12);  // the corrected legs close on C
  }
  // One leg of 100.02 onto C at 100 closes exactly.
  Prepare(0, 0, 100, 0, {0}, {100.02});
  AdjustIncrements(record);
  EXPECT_EQ(record.CorrectedIncrementX[1], 100);
}

TEST_F(LinearClosure, IncrementsFollowTheBearing) {
  const double half = 7.0710678118654752;
  const double cases[][3] = {{0, 10, 0},    {50, half, half}, {100, 0, 10},   {200, -10, 0},
                             {300, 0, -10}, {400, 10, 0},     {-100, 0, -10}, {450, half, half}};
  for (const auto& [bearing, x, y] : cases) {
    Prepare(0, 0, 0, 0, {bearing}, {10});
    EXPECT_NEAR(record.IncrementX[1], x, 1e-14) << bearing;
    EXPECT_NEAR(record.IncrementY[1], y, 1e-14) << bearing;
  }
  // 100 gon in extended is not quite pi/2: a tiny X increment, not 0.
  Prepare(0, 0, 0, 0, {100}, {1000});
  EXPECT_NE(record.IncrementX[1], 0);
  EXPECT_LT(std::fabs(record.IncrementX[1]), 1e-12);
  // An angle beyond the x87 range gives no increment at all.
  Prepare(0, 0, 0, 0, {1e30}, {1000});
  EXPECT_EQ(record.IncrementX[1], 0);
  EXPECT_EQ(record.IncrementY[1], 0);
}

TEST_F(LinearClosure, FailsOnAZeroLengthSumOrAnOverflowingStore) {
  struct {
    std::vector<double> bearings, lengths;
    double xb;
    const char* failure;
  } cases[] = {
      {{0}, {0}, 0, "EInvalidOp"},  // 0 / 0
      {{0, 0, 0}, {-0.0, 3, -3}, 0, "EInvalidOp"},
      {{0, 0}, {5, -5}, 0, "EZeroDivide"},
      {{0, 0}, {1.5e308, 1e308}, 0, "EOverflow"},        // the sum of the increments
      {{0, 200}, {8e307, 8e307}, 1.5e308, "EOverflow"},  // the first point
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    Caught caught = FailureOf([&] {
      Prepare(c.xb, 0, c.xb, 0, c.bearings, c.lengths);
      record.CorrectedIncrementX[1] = 7;
      AdjustIncrements(record);
      NextPoint(record, 1);
    });
    EXPECT_EQ(caught.className, c.failure);
    if (caught.className != "EOverflow") {
      EXPECT_EQ(record.CorrectedIncrementX[1], 7);
    }
  }
}

// The worked example through the computations alone, left angles and their
// right-angle twin; expected bits from an exact evaluation.
TEST_F(LinearClosure, WorkedExampleGivesTheKnownPoints) {
  for (bool left : {true, false}) {
    SCOPED_TRACE(left ? "left" : "right");
    ClearRecord(record);
    record.XA = 4800, record.YA = 2850, record.XB = 5000, record.YB = 3000;
    record.XC = 5165.381, record.YC = 3770.824, record.XD = 4882.538, record.YD = 4053.667;
    record.AngleSide = left ? "left" : "right";
    record.AngleCount = 4;
    const double angles[] = {219.0346, 250.0008, 174.9991, 265.0013};
    const double lengths[] = {250.012, 299.987, 280.009};
    record.BearingAB = GridBearing(record.XB - record.XA, record.YB - record.YA);
    record.BearingCD = GridBearing(record.XD - record.XC, record.YD - record.YC);
    for (int i = 1; i <= 4; ++i) {
      record.MeasuredAngle[i] = left ? angles[i - 1] : 400 - angles[i - 1];
      record.MeasuredAngleSum += record.MeasuredAngle[i];
    }
    AdjustAngles(record);
    for (std::uint8_t i = 1; i <= 3; ++i) {
      record.LegLength[i] = lengths[i - 1];
      LegIncrements(record, i);
      record.SumLength += lengths[i - 1];
    }
    AdjustIncrements(record);
    NextPoint(record, 1);
    NextPoint(record, 2);

    EXPECT_EQ(record.BearingAB, 0x1.47bb801b93443p+5);  // 40.96655
    EXPECT_EQ(record.BearingCD, 0x1.2c00000000004p+7);  // 150.00000
    EXPECT_EQ(record.AngularMisclosure, left ? 0x1.34678f3580000p-9 : -0x1.34678f3580000p-9);
    EXPECT_EQ(record.LegBearing[1], 0x1.e001281167973p+5);  // 60.00056
    EXPECT_EQ(record.LegBearing[2], 0x1.b800cb8c0389cp+6);  // 110.00078
    EXPECT_EQ(record.LegBearing[3], 0x1.53ff456a41ab0p+6);  // 84.99929
    EXPECT_EQ(record.LegBearing[4], 0x1.2c00000000006p+7);  // 150.00000
    EXPECT_EQ(record.MisclosureX, 0x1.16842e16bc000p-7);    // 0.00850
    EXPECT_EQ(record.MisclosureY, 0x1.85d4ca2440000p-8);    // 0.00595
    EXPECT_EQ(record.PointX[1], 0x1.41af2f2750cd9p+12);     // 5146.949
    EXPECT_EQ(record.PointY[1], 0x1.90486e55a7f6dp+11);     // 3202.263
    EXPECT_EQ(record.PointX[2], 0x1.3ec0396d7a83fp+12);     // 5100.014
    EXPECT_EQ(record.PointY[2], 0x1.b551bdb6efddfp+11);     // 3498.554
  }
}

}  // namespace
}  // namespace traverse::testing
