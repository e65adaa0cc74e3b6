// Control files as CAD programs write them: the header's columns in any order
// and by any of their usual names, or the columns named by the book.
#include "input/control_points.hpp"

#include <gtest/gtest.h>

#include "adjustment/job_error.hpp"

namespace traverse {
namespace {

TEST(ControlPoints, TheHeaderOrTheLettersPlaceEveryColumn) {
  const struct {
    const char* text;
    const char* letters;
    const char* error;  // "" where the row reads as T1 N=5000 E=3000 Z=12.5 "pillar"
  } cases[] = {
      {"T1,5000,3000,12.5,pillar\n", "", ""},  // no header: PNEZD
      {"P,N,E,Z,D\nT1,5000,3000,12.5,pillar\n", "", ""},
      {"Name,Easting,Northing,Elevation,Code\nT1,3000,5000,12.5,pillar\n", "", ""},
      {"desc,ID,Y,X,h\npillar,T1,3000,5000,12.5\n", "", ""},
      {"Point,Northing,East,Level\nT1,5000,3000,12.5\n", "", "the header's column 'Level' is none of"},
      {"Point,X,Northing,Y\nT1,5000,5000,3000\n", "", "the header's column 'Northing' is the "
                                                     "same as 'X'"},
      {"Point,Y,Z\nT1,3000,12.5\n", "", "the header has no column N (north)"},
      {"T1,3000,5000,12.5,pillar\n", "PENZD", ""},
      {"anything,at,all\nT1,3000,5000,pillar,12.5\n", "PENDZ", ""},  // the letters win
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      const std::vector<NamedPoint> points = ReadControlPoints(c.text, "c.csv", c.letters);
      EXPECT_STREQ(c.error, "");
      ASSERT_EQ(points.size(), 1u);
      EXPECT_EQ(points[0].name, "T1");
      EXPECT_EQ(points[0].xy.x, 5000);
      EXPECT_EQ(points[0].xy.y, 3000);
      EXPECT_EQ(points[0].z, 12.5);
      EXPECT_EQ(points[0].description, "pillar");
    } catch (const JobError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.error, 0), 0u) << error.what();
      EXPECT_NE(std::string(c.error), "");
      EXPECT_EQ(error.line(), 1);
      EXPECT_EQ(error.file(), "c.csv");
    }
  }
}

TEST(ControlPoints, ColumnLettersAreEachColumnOnceWithPointNorthAndEast) {
  for (const char* good : {"PNEZD", "penzd", "PEN", "DZPEN", "PBL", "LBPZ"})
    EXPECT_TRUE(AreColumns(good)) << good;
  for (const char* bad : {"", "PNN", "PNX", "PEZD", "PNEZDD", "PNEB", "PBE", "PB"})
    EXPECT_FALSE(AreColumns(bad)) << bad;
}

// Latitude and longitude columns make geographic control, in decimal
// degrees or D-M-S; a D-M-S latitude in a file without header is a row, not
// a header passed over.
TEST(ControlPoints, LatitudeAndLongitudeColumnsGiveGeographicControl) {
  const struct {
    const char* text;
    const char* letters;
    const char* error;  // "" where the row reads as G at -37.5, 144.25, Z 12.5
  } cases[] = {
      {"Name,Lat,Lon,Z\nG,-37.5,144.25,12.5\n", "", ""},
      {"longitude,latitude,elev,point\n144-15-00,-37-30-00,12.5,G\n", "", ""},
      {"G,-37-30-00,144-15-00,12.5\n", "PBLZ", ""},
      {"Name,Lat,Lon,North\nG,-37.5,144.25,0\n", "", "the header has both grid"},
      {"Name,Lat,Z\nG,-37.5,12.5\n", "", "the header has no column L (longitude)"},
      {"Name,Lat,Lon\nG,-97.5,144.25\n", "", "the latitude of 'G': expected at most 90"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      const std::vector<NamedPoint> points = ReadControlPoints(c.text, "c.csv", c.letters);
      EXPECT_STREQ(c.error, "");
      ASSERT_EQ(points.size(), 1u);
      EXPECT_EQ(points[0].name, "G");
      ASSERT_TRUE(points[0].geographic);
      EXPECT_DOUBLE_EQ(points[0].geographic->lat, -37.5);
      EXPECT_DOUBLE_EQ(points[0].geographic->lon, 144.25);
      EXPECT_EQ(points[0].z, 12.5);
    } catch (const JobError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.error, 0), 0u) << error.what();
      EXPECT_NE(std::string(c.error), "");
      EXPECT_EQ(error.file(), "c.csv");
    }
  }
}

}  // namespace
}  // namespace traverse
