// LandXML CgPoints as control: what CAD programs write (a namespace prefix,
// CgPoints nested, references, descriptions), and the faults named by line.
#include "input/landxml_points.hpp"

#include <gtest/gtest.h>

#include "adjustment/job_error.hpp"

namespace traverse {
namespace {

TEST(LandXmlPoints, CgPointsAreKnownPointsWithTheirLines) {
  const std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n"
      "<lx:LandXML xmlns:lx=\"http://www.landxml.org/schema/LandXML-1.2\">\n"
      "<lx:CgPoints>\n"
      "  <lx:CgPoint name=\"T1\" desc=\"pillar &amp; plate\">5000.5 3000.25 12.5</lx:CgPoint>\n"
      "  <lx:CgPoints><lx:CgPoint name=\"T2\" code=\"PEG\">\n 5100 3100 \n</lx:CgPoint></lx:CgPoints>\n"
      "  <lx:CgPoint pntRef=\"T1\"/>\n"
      "</lx:CgPoints>\n</lx:LandXML>\n";
  ASSERT_TRUE(IsXml(text));
  const std::vector<NamedPoint> points = ReadLandXmlPoints(text, "c.xml");
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].name, "T1");
  EXPECT_EQ(points[0].xy.x, 5000.5);
  EXPECT_EQ(points[0].xy.y, 3000.25);
  EXPECT_EQ(points[0].z, 12.5);
  EXPECT_EQ(points[0].description, "pillar & plate");
  EXPECT_EQ(points[0].line, 4);
  EXPECT_EQ(points[1].name, "T2");
  EXPECT_FALSE(points[1].z);
  EXPECT_EQ(points[1].description, "PEG");
  EXPECT_EQ(points[1].line, 5);
}

TEST(LandXmlPoints, FaultsNameTheFileAndLine) {
  const std::string head = "<LandXML>\n<CgPoints>\n";
  const struct {
    std::string text;
    int line;
    const char* says;
  } cases[] = {
      {head + "<CgPoint name=\"A\">1 2</CgPoints>\n</LandXML>\n", 3, "is no well-formed XML"},
      {"<?xml version=\"1.0\"?>\n\n<Other/>\n", 3, "is no LandXML file: its root element is <Other>"},
      {head + "<CgPoint>1 2</CgPoint></CgPoints></LandXML>", 3, "a CgPoint without a name"},
      {head + "\n<CgPoint name=\"A\">1 x</CgPoint></CgPoints></LandXML>", 4,
       "the east of 'A': 'x' is not a number"},
      {head + "<CgPoint name=\"A\">1</CgPoint></CgPoints></LandXML>", 3,
       "the CgPoint 'A': expected 'N E' or 'N E Z', found '1'"},
      {head + "</CgPoints></LandXML>", 1, "the LandXML file has no CgPoint with coordinates"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ReadLandXmlPoints(c.text, "c.xml");
      ADD_FAILURE() << "read";
    } catch (const JobError& error) {
      EXPECT_EQ(error.file(), "c.xml");
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(std::string(error.what()).rfind(c.says, 0), 0u) << error.what();
    }
  }
  EXPECT_FALSE(IsXml("A,5000,3000\n"));
}

}  // namespace
}  // namespace traverse
