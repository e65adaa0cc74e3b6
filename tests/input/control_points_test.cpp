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
  for (const char* good : {"PNEZD", "penzd", "PEN", "DZPEN"}) EXPECT_TRUE(AreColumns(good)) << good;
  for (const char* bad : {"", "PNN", "PNX", "PEZD", "PNEZDD"}) EXPECT_FALSE(AreColumns(bad)) << bad;
}

}  // namespace
}  // namespace traverse
