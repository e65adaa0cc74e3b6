// The closure figures: a loop's area against a polygon worked by hand, and
// quadrant bearings both ways in every quadrant and on the four axes.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "adjustment/closure.hpp"

namespace traverse {
namespace {

TEST(LoopArea, HandWorkedPentagonFarFromTheOrigin) {
  // (0,0) (30,0) (40,20) (20,35) (0,25): by trapezoids under each side,
  // 2A = 0 + 600 + 1000 + 500 + 0 = 2100, A = 1050 m², whichever way round
  // and however far out on the grid.
  std::vector<GridPoint> corners = {{0, 0}, {30, 0}, {40, 20}, {20, 35}, {0, 25}};
  for (GridPoint& p : corners) p = {p.x + 5'432'100, p.y + 512'300};
  EXPECT_NEAR(PolygonArea(corners), 1050, 1e-6);
  std::reverse(corners.begin(), corners.end());
  EXPECT_NEAR(PolygonArea(corners), 1050, 1e-6);
  EXPECT_EQ(PolygonArea({{0, 0}, {1, 1}}), 0);
}

TEST(LoopArea, UnadjustedCornersLeaveTheMisclosureInTheLastLeg) {
  const std::vector<GridPoint> corners =
      UnadjustedCorners({100, 200}, {10, 0, -10, 0.02}, {0, 10, 0, -10});
  ASSERT_EQ(corners.size(), 4u);
  EXPECT_EQ(corners[3].x, 100);
  EXPECT_EQ(corners[3].y, 210);
  EXPECT_NEAR(PolygonArea(corners), 100, 1e-9);
}

TEST(QuadrantBearing, EveryQuadrantAndTheFourAxes) {
  struct Case {
    double gon;
    bool north, east;
    double angle;
  };
  const Case cases[] = {
      {0, true, true, 0},        // north
      {100, true, true, 100},    // east
      {200, false, true, 0},     // south
      {300, false, false, 100},  // west
      {50.5, true, true, 50.5},  {150.5, false, true, 49.5},
      {250.5, false, false, 50.5}, {350.5, true, false, 49.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gon);
    const QuadrantBearing q = QuadrantOf(c.gon);
    EXPECT_EQ(q.north, c.north);
    EXPECT_EQ(q.east, c.east);
    EXPECT_NEAR(q.angle, c.angle, 1e-12);
    EXPECT_NEAR(*BearingOfQuadrant(c.north, c.east, c.angle), c.gon, 1e-12);
  }
  // An axis a few ulps off, as atan2 leaves it, stays on the axis.
  EXPECT_TRUE(QuadrantOf(100 + 3e-13).north);
  EXPECT_EQ(QuadrantOf(400 - 1e-13).angle, 0);
  // N 0 W is north again, not 400; beyond a right angle is no quadrant.
  EXPECT_EQ(*BearingOfQuadrant(true, false, 0), 0);
  EXPECT_FALSE(BearingOfQuadrant(true, true, 100.5));
  EXPECT_FALSE(BearingOfQuadrant(false, false, -1));
}

}  // namespace
}  // namespace traverse
