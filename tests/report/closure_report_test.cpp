// The closure report of a square loop whose second leg is 10 mm long:
// bearings typed and written by quadrant, and the area before and after
// the compass rule, worked by hand.
#include <string>

#include <gtest/gtest.h>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// P1 (1000, 1000) north to P2, east, south, west back to P1, oriented
// south: the legs run N 0 E, N 90 E, S 0 E, S 90 W.
std::string SquareLoop(const std::string& unit, const std::string& orientation) {
  return "unit " + unit + "\npoint P1 1000 1000\ntraverse square left\n" + orientation +
         "\nP1 180-00-00 100.000\nP2 270-00-00 100.010\nP3 270-00-00 100.000\n"
         "P4 270-00-00 100.000\nP1 90-00-00\nbearing 180-00-00\nend\n";
}

BookResult Adjusted(const std::string& text) {
  Book book = ReadFieldBook(text, "square.book", {});
  ReduceBook(book);
  Settings settings;
  settings.unit = AngleUnit::Dms;
  return AdjustBook(book, settings);
}

TEST(ClosureReport, QuadrantBearingsAndTheAreaOfTheLoop) {
  ReportOptions options;
  options.quadrant = true;
  // The one-word and the three-word forms read alike.
  for (const char* orientation : {"bearing S 0-00-00 E", "bearing s0-00-00e"}) {
    const BookResult result = Adjusted(SquareLoop("dms", orientation));
    ASSERT_EQ(result.traverses.front().result.kind, TraverseKind::Loop) << orientation;
    const std::string report = FormatText(result, options);
    // Before: a rectangle of 100 by 100.010. After: the compass rule moves
    // P2, P3, P4 by 2.5, 5.0, 7.5 mm west: 2A = 100 (100.005 + 0.0025)
    // + 100 (100.0025) = 20001.
    for (const char* line :
         {"   N 0-00-00.00 E  ", "  N 90-00-00.00 E  ", "   S 0-00-00.00 E  ", "  S 90-00-00.00 W  ",
          "  Bearing of fL                 N 90-00-00.00 E d-m-s\n",
          "  Area before adjustment               10001.00 m2 = 1.0001 ha\n",
          "  Area after adjustment                10000.50 m2 = 1.0000 ha\n"})
      EXPECT_NE(report.find(line), std::string::npos) << line << '\n' << report;
    const std::string json = FormatJson(result, {});
    EXPECT_NE(json.find("\"area\": {\"before\": 10001, \"after\": 10000.4999"), std::string::npos) << json;
  }
  // Azimuths by default.
  EXPECT_NE(FormatText(Adjusted(SquareLoop("dms", "bearing 180-00-00")), {}).find("  90-00-00.00  "),
            std::string::npos);
}

TEST(ClosureReport, QuadrantBearingsRefusedWhereTheyCannotBe) {
  const struct {
    const char* unit;
    const char* orientation;
    const char* message;
  } cases[] = {
      {"gon", "bearing S 0 E", "the bearing 'S0E': quadrant bearings are typed under "
                               "'unit deg' or 'unit dms'"},
      {"dms", "bearing S 95-00-00 E", "a quadrant bearing turns 0 to 90 degrees"},
      {"deg", "bearing S 0 E W", "expected 'bearing ANGLE'"},
  };
  for (const auto& c : cases) {
    try {
      Adjusted(SquareLoop(c.unit, c.orientation));
      ADD_FAILURE() << c.orientation;
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse
