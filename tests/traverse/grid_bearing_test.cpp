#include "traverse/grid_bearing.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "record_support.hpp"
#include "support/memory_platform.hpp"
#include "traverse/extended_math.hpp"

namespace traverse::testing {
namespace {

struct BearingCase {
  double dx;
  double dy;
  double bearing;
};

// The four axis directions come out exact, without an arctangent; a negative
// zero counts as zero.
constexpr BearingCase axisCases[] = {
    {0, 5, 100},     {0, -7, 300}, {2, 0, 0},       {-3, 0, 200},        {-0.0, 4, 100},
    {-0.0, -4, 300}, {4, -0.0, 0}, {-2, -0.0, 200}, {0, 0x1p-1074, 100}, {-0x1p-1074, 0, 200},
};

// Expected bearings worked out exactly: the extended quotient, its arctangent
// rounded to double, then RhoGon times it (plus 200 or 400) in extended,
// rounded to double.
constexpr BearingCase quadrantCases[] = {
    {1, 1, 50},
    {-1, 1, 150},
    {-1, -1, 250},
    {1, -1, 350},
    {3, 4, 0x1.d8447fe46cbbdp+5},      // 59.0334470601733
    {-3, -4, 0x1.03088ffc8d978p+8},    // 259.033447060173
    {200, 150, 0x1.47bb801b93443p+5},  // A to B of the worked example, 40.96655
    // Steep lines: the extended quotient holds 1e600 without overflow.
    {1e-300, 1e300, 100},
    {-1e-300, -1e300, 300},
    // Within rounding of +X from the fourth quadrant: exactly 400.
    {1, -1e-17, 400},
};

TEST(GridBearing, AxisDirectionsAreExact) {
  for (const BearingCase& c : axisCases) {
    double bearing = GridBearing(c.dx, c.dy);
    EXPECT_EQ(bearing, c.bearing) << "dx " << c.dx << " dy " << c.dy;
    EXPECT_FALSE(std::signbit(bearing)) << "dx " << c.dx << " dy " << c.dy;
  }
}

TEST(GridBearing, QuadrantsFollowTheSignsOfTheDifferences) {
  for (const BearingCase& c : quadrantCases)
    EXPECT_EQ(GridBearing(c.dx, c.dy), c.bearing) << "dx " << c.dx << " dy " << c.dy;
}

TEST(GridBearing, CoincidingPointsAreAnInvalidOperation) {
  PlatformScope scope;
  constexpr double zeros[][2] = {{0, 0}, {-0.0, 0}, {0, -0.0}, {-0.0, -0.0}};
  for (const auto& zero : zeros) {
    Caught caught = FailureOf([&] { GridBearing(zero[0], zero[1]); });
    EXPECT_EQ(caught.className, "EInvalidOp");
    EXPECT_EQ(caught.message, "Invalid floating point operation");
  }
}

TEST(ExtendedMath, SineAndCosineBeyondTheX87RangeAreZero) {
  constexpr Extended beyond[] = {0x1p63L, -0x1p63L, 1e30L, -1e300L, 0x1p16000L};
  for (Extended x : beyond) {
    EXPECT_EQ(Sine(x), 0) << static_cast<double>(x);
    EXPECT_EQ(Cosine(x), 0) << static_cast<double>(x);
  }
  // Just inside the range the instructions still answer.
  Extended inside = 0x1.fffffffffffffffep62L;
  EXPECT_LE(std::fabs(Sine(inside)), 1);
  EXPECT_NE(Sine(inside) * Sine(inside) + Cosine(inside) * Cosine(inside), 0);
}

}  // namespace
}  // namespace traverse::testing
