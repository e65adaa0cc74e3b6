#include "traverse/linear_closure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
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

  // Legs from B to C with the given bearings and lengths, increments taken
  // leg by leg and lengths summed in doubles, as the dialogue does.
  void Prepare(double xb, double yb, double xc, double yc, const std::vector<double>& bearings,
               const std::vector<double>& lengths) {
    record.XB = xb;
    record.YB = yb;
    record.XC = xc;
    record.YC = yc;
    record.AngleCount = static_cast<std::uint8_t>(lengths.size() + 1);
    record.SumLength = 0;
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
  const char* name;
  double xc;
  std::vector<double> lengths;  // every leg along +X, from B = (0, 0)
  double misclosureX;
  std::vector<double> corrections;
};

// Each leg takes the share of the misclosure its length has of the length
// sum, negative lengths included.
const ProportionCase proportionCases[] = {
    {"one leg", 100, {100.02}, 0.02, {-0.02}},
    {"30 and 10 with 0.08", 39.92, {30, 10}, 0.08, {-0.06, -0.02}},
    {"three equal legs", 299.97, {100, 100, 100}, 0.03, {-0.01, -0.01, -0.01}},
    {"a negative length", 20.1, {30, -10}, -0.1, {0.15, -0.05}},
};

TEST_F(LinearClosure, SpreadsTheMisclosureInProportionToTheLengths) {
  for (const ProportionCase& c : proportionCases) {
    SCOPED_TRACE(c.name);
    Prepare(0, 0, c.xc, 0, std::vector<double>(c.lengths.size(), 0), c.lengths);
    AdjustIncrements(record);
    EXPECT_EQ(record.DxBC, c.xc);
    EXPECT_EQ(record.DyBC, 0);
    EXPECT_NEAR(record.MisclosureX, c.misclosureX, 1e-12);
    EXPECT_EQ(record.MisclosureY, 0);
    double sumX = 0;
    for (std::size_t i = 1; i <= c.lengths.size(); ++i) {
      EXPECT_EQ(record.IncrementX[i], c.lengths[i - 1]);
      EXPECT_NEAR(record.CorrectedIncrementX[i] - record.IncrementX[i], c.corrections[i - 1], 1e-12)
          << "leg " << i;
      sumX += record.CorrectedIncrementX[i];
    }
    // The corrected increments close on C.
    EXPECT_NEAR(sumX, c.xc, 1e-12);
  }
}

TEST_F(LinearClosure, OneLegClosesOnCExactly) {
  Prepare(0, 0, 100, 0, {0}, {100.02});
  AdjustIncrements(record);
  EXPECT_EQ(record.SumIncrementX, 100.02);
  EXPECT_EQ(record.MisclosureX, 100.02 - 100);
  EXPECT_EQ(record.CorrectedIncrementX[1], 100);
  EXPECT_EQ(record.PointX[0], 0);
}

TEST_F(LinearClosure, IncrementsFollowTheBearing) {
  struct {
    double bearing;
    double x;
    double y;
  } cases[] = {{0, 10, 0},     {50, 7.0710678118654752, 7.0710678118654752},
               {100, 0, 10},   {200, -10, 0},
               {300, 0, -10},  {400, 10, 0},
               {-100, 0, -10}, {450, 7.0710678118654752, 7.0710678118654752}};
  for (const auto& c : cases) {
    record.LegBearing[1] = c.bearing;
    record.LegLength[1] = 10;
    LegIncrements(record, 1);
    EXPECT_NEAR(record.IncrementX[1], c.x, 1e-14) << c.bearing;
    EXPECT_NEAR(record.IncrementY[1], c.y, 1e-14) << c.bearing;
  }
  // 100 gon in extended is not quite pi/2: a tiny X increment, not 0.
  record.LegBearing[1] = 100;
  record.LegLength[1] = 1000;
  LegIncrements(record, 1);
  EXPECT_NE(record.IncrementX[1], 0);
  EXPECT_LT(std::fabs(record.IncrementX[1]), 1e-12);
  // A bearing whose angle lies beyond the x87 range gives no increment.
  record.LegBearing[1] = 1e30;
  LegIncrements(record, 1);
  EXPECT_EQ(record.IncrementX[1], 0);
  EXPECT_EQ(record.IncrementY[1], 0);
}

TEST_F(LinearClosure, NextPointAccumulatesFromB) {
  Prepare(1000, 2000, 1000, 2030.03, {100, 100, 100}, {10, 10, 10});
  AdjustIncrements(record);
  NextPoint(record, 1);
  NextPoint(record, 2);
  EXPECT_EQ(record.PointX[0], 1000);
  EXPECT_EQ(record.PointY[0], 2000);
  EXPECT_NEAR(record.PointY[1], 2010.01, 1e-9);
  EXPECT_NEAR(record.PointY[2], 2020.02, 1e-9);
  EXPECT_NEAR(record.PointX[2], 1000, 1e-9);
}

TEST_F(LinearClosure, AZeroLengthSumFailsBeforeAnyCorrection) {
  struct {
    std::vector<double> lengths;
    const char* failure;
  } cases[] = {
      {{0}, "EInvalidOp"},  // 0 / 0
      {{0, 0, 0}, "EInvalidOp"},
      {{5, -5}, "EZeroDivide"},  // 5 / 0
      {{-0.0, 3, -3}, "EInvalidOp"},
  };
  for (const auto& c : cases) {
    Prepare(0, 0, 1, 1, std::vector<double>(c.lengths.size(), 50), c.lengths);
    record.CorrectedIncrementX[1] = record.CorrectedIncrementY[1] = 7;
    Caught caught = FailureOf([&] { AdjustIncrements(record); });
    EXPECT_EQ(caught.className, c.failure);
    EXPECT_EQ(record.CorrectedIncrementX[1], 7);
    EXPECT_EQ(record.CorrectedIncrementY[1], 7);
  }
}

TEST_F(LinearClosure, AStoredValueBeyondTheDoubleRangeOverflows) {
  Caught sum = FailureOf([&] {
    Prepare(0, 0, 1, 0, {0, 0}, {1.5e308, 1e308});
    AdjustIncrements(record);
  });
  EXPECT_EQ(sum.className, "EOverflow");

  Caught point = FailureOf([&] {
    Prepare(1.5e308, 0, 1.5e308, 0, {0, 200, 0}, {1e308, 1e308, 1});
    AdjustIncrements(record);
    NextPoint(record, 1);
  });
  EXPECT_EQ(point.className, "EOverflow");
}

// The worked example run through the computations alone, left angles and
// their right-angle twin; expected bits from an exact evaluation.
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
