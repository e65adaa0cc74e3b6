// The projections against published forward computations, and the
// reduction's figures against values worked by hand from their formulas.
#include "geodesy/grid.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace traverse::geodesy {
namespace {

double Dms(double d, double m, double s) { return d + m / 60 + s / 3600; }

// Published forward computations: grid coordinates of a geographic point.
struct Forward {
  const char* source;
  int epsg;
  double lat, lon, north, east, tolerance;
};

TEST(GridTest, ForwardComputationsMatchThePublishedOnes) {
  const Forward cases[] = {
      // Ordnance Survey, "A guide to coordinate systems in Great Britain",
      // the worked example of the National Grid (Airy 1830, OSGB36).
      {"OS guide, annex C", 27700, Dms(52, 39, 27.2531), Dms(1, 43, 4.5177), 313177.270, 651409.903,
       0.0005},
  };
  for (const Forward& c : cases) {
    SCOPED_TRACE(c.source);
    const Grid grid(*GridOfEpsg(c.epsg));
    double north = 0, east = 0;
    grid.ToGrid({c.lat, c.lon}, north, east);
    EXPECT_NEAR(north, c.north, c.tolerance);
    EXPECT_NEAR(east, c.east, c.tolerance);
    const PointFactors back = grid.At(c.north, c.east);
    EXPECT_NEAR(back.at.lat, c.lat, 1e-8);
    EXPECT_NEAR(back.at.lon, c.lon, 1e-8);
  }
}

}  // namespace
}  // namespace traverse::geodesy
