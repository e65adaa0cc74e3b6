// The projections against published forward computations, and the
// reduction's figures against values worked by hand from their formulas.
#include "geodesy/grid.hpp"

#include <GeographicLib/Geodesic.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

// A line and the line back from one inverse problem: as the line back's own
// call gives them, to within the rounding of the azimuth (1e-10 degrees is
// 2e-9 m of arc-to-chord over a kilometre) and of the length.
TEST(GridTest, ALineAndItsLineBackFromOneGeodesic) {
  const Grid grid(*GridOfEpsg(32633));  // UTM 33N
  struct Case {
    double n1, e1, n2, e2, h;
  } cases[] = {
      {5300000, 630000, 5300133, 630010, 0},      // a short leg, 130 km east of the meridian
      {5300000, 630000, 5290000, 645000, 850},    // 18 km, on a height
      {5300000, 500000, 5300000, 500400, 100},    // on the central meridian, east-west
      {5300000, 410000, 5300400, 410000, -20},    // west of it, north-south
      {5300000, 630000, 5300000, 630000, 0},      // one place
  };
  const auto bearing = [](double dn, double de) { return std::atan2(de, dn) * 180 / std::numbers::pi; };
  for (const Case& c : cases) {
    const PointFactors a = grid.At(c.n1, c.e1), b = grid.At(c.n2, c.e2);
    const double length = std::hypot(c.n2 - c.n1, c.e2 - c.e1);
    Grid::LineFactors back;
    const Grid::LineFactors there =
        grid.Line(a, b, bearing(c.n2 - c.n1, c.e2 - c.e1), length, c.h,
                  bearing(c.n1 - c.n2, c.e1 - c.e2), back);
    const Grid::LineFactors alone = grid.Line(a, b, bearing(c.n2 - c.n1, c.e2 - c.e1), length, c.h);
    const Grid::LineFactors own = grid.Line(b, a, bearing(c.n1 - c.n2, c.e1 - c.e2), length, c.h);
    // The line itself is the very figures of a call of its own.
    EXPECT_EQ(there.arcToChordFrom, alone.arcToChordFrom);
    EXPECT_EQ(there.scale, alone.scale);
    EXPECT_EQ(there.height, alone.height);
    EXPECT_NEAR(back.arcToChordFrom, own.arcToChordFrom, 1e-10);
    EXPECT_NEAR(back.arcToChordTo, own.arcToChordTo, 1e-10);
    EXPECT_NEAR(back.scale, own.scale, 1e-11);
    EXPECT_NEAR(back.height, own.height, 1e-15);
    EXPECT_NEAR(back.arcToChordFrom, there.arcToChordTo, 1e-12);  // the end's own correction
  }
}

// A line against GeographicLib's geodesic of its ends: under 2 km, by its
// normal section, the azimuths within 1e-10 rad and the length within 1e-8
// m, at low, middle and high latitudes, on Transverse Mercator and Lambert
// grids; beyond, the geodesic itself.
TEST(GridTest, ALineIsItsGeodesicsToWithinItsBounds) {
  struct Case {
    int epsg;
    double n1, e1, dn, de;
  } cases[] = {
      {32633, 5300000, 630000, 133, 10},       // UTM 33N, 48 deg N, a short leg
      {32633, 5300000, 630000, -1400, 1400},   // 1980 m to the south-east
      {32633, 7800000, 640000, 900, -1700},    // 70 deg N
      {32733, 1200000, 380000, -1990, 100},    // 79 deg S, west of the meridian
      {32631, 100000, 750000, 1000, 1700},     // a degree north of the equator, at the zone's edge
      {27700, 313177, 651409, 1500, -1300},    // the British National Grid
      {2249, 2900000, 760000, 6000, 1000},     // Massachusetts, Lambert, in US survey feet
      {32633, 5300000, 630000, 3000, 4000},    // 5 km: the geodesic
  };
  const auto bearing = [](double dn, double de) { return std::atan2(de, dn) * 180 / std::numbers::pi; };
  const auto turn = [](double degrees) { return std::remainder(degrees, 360.0); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.epsg);
    const GridDefinition g = *GridOfEpsg(c.epsg);
    const Grid grid(g);
    const GeographicLib::Geodesic geodesic(g.ellipsoid.a, 1 / g.ellipsoid.inverseFlattening);
    const PointFactors a = grid.At(c.n1, c.e1), b = grid.At(c.n1 + c.dn, c.e1 + c.de);
    double s12 = 0, azi1 = 0, azi2 = 0;
    geodesic.Inverse(a.at.lat, a.at.lon, b.at.lat, b.at.lon, s12, azi1, azi2);
    const double length = std::hypot(c.dn, c.de), metres = length * g.unit;
    Grid::LineFactors back;
    const double forward = bearing(c.dn, c.de), reverse = bearing(-c.dn, -c.de);
    const Grid::LineFactors line = grid.Line(a, b, forward, length, 0, reverse, back);
    // The azimuths the line's figures imply, against the geodesic's.
    const double radian = 180 / std::numbers::pi;
    EXPECT_NEAR(turn(forward - line.arcToChordFrom + a.convergence - azi1) / radian, 0, 1e-10);
    EXPECT_NEAR(turn(reverse - back.arcToChordFrom + b.convergence - azi2 - 180) / radian, 0, 1e-10);
    EXPECT_NEAR(back.arcToChordTo, line.arcToChordFrom, 1e-12);
    EXPECT_NEAR(metres / line.scale, s12, 1e-8);
    if (metres >= 2000) EXPECT_EQ(metres / line.scale, s12);
  }
}

}  // namespace
}  // namespace traverse::geodesy
