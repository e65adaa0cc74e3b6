// Jobs in feet: the worked example's book in US survey feet adjusts to the
// metre figures divided by 1200/3937, its millimetre figures unchanged; CSV,
// JSON and the area of a loop in the job's unit; an instrument file in feet
// converted in feet; a grid in another unit refused; a bad `length` record.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

using nlohmann::json;

constexpr double usFeetPerMetre = 3937.0 / 1200.0;

ChildRun Traverse(std::vector<std::string> arguments, const std::string& input = "") {
  ChildSetup setup;
  setup.input = input;
  setup.arguments = std::move(arguments);
  return RunChild(PROGRAM_UNDER_TEST, setup);
}

json Json(const std::string& book, std::vector<std::string> more = {}) {
  std::vector<std::string> arguments = {"adjust", "--format", "json"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  const ChildRun run = Traverse(arguments, book);
  EXPECT_EQ(run.exitCode, 0) << run.error;
  return json::parse(run.output);
}

// The book was typed from worked.book times 3937/1200 to 1e-6 ft: every
// coordinate and height comes out as the metre one in US survey feet, to
// that rounding, and the corrections in mm are the metre ones.
TEST(LengthUnits, TheWorkedExampleInUsSurveyFeetIsTheMetreOneConverted) {
  const json metres = Json(ReadExample("worked.book"));
  const json feet = Json(ReadExample("worked_usft.book"));
  EXPECT_FALSE(metres.contains("length_unit"));  // a metre job's report as it always was
  EXPECT_EQ(feet["length_unit"], "usft");
  ASSERT_EQ(feet["points"].size(), metres["points"].size());
  for (std::size_t i = 0; i < feet["points"].size(); ++i)
    for (const char* key : {"x", "y", "z"}) {
      SCOPED_TRACE(metres["points"][i]["name"].get<std::string>() + " " + key);
      EXPECT_NEAR(feet["points"][i][key].get<double>(),
                  metres["points"][i][key].get<double>() * usFeetPerMetre, 1e-5);
    }
  // The text report: headers in usft, the mm columns figure for figure.
  const ChildRun text = Traverse({"adjust"}, ReadExample("worked_usft.book"));
  ASSERT_EQ(text.exitCode, 0) << text.error;
  for (const char* line :
       {"Length unit        US survey feet (usft, 1200/3937 m); sigmas, residuals and corrections in mm\n",
        "  point   X [usft]   Y [usft]\n  -----  ---------  ---------\n  2001   16886.282  10506.093\n"
        "  2002   16732.296  11478.174\n",
        "    1  1002  2001       60.00056        820.248    482.124    663.599     -2.6     -1.8",
        "    1  1002  2001     -3.709              0.8  1021.409\n", "  Height misclosure fH  -2.7 mm\n",
        "  fL                          0.0340 usft\n"})
    EXPECT_NE(text.output.find(line), std::string::npos) << line << '\n' << text.output;
  // CSV in the job's unit.
  const ChildRun csv = Traverse({"adjust", "--format", "csv"}, ReadExample("worked_usft.book"));
  EXPECT_NE(csv.output.find("2001,16886.282,10506.093"), std::string::npos) << csv.output;
  // --length-unit converts a book stated in feet back into metres.
  const json back = Json(ReadExample("worked_usft.book"), {"--length-unit", "m"});
  EXPECT_EQ(back["length_unit"], "m");
  EXPECT_NEAR(back["points"][0]["x"].get<double>(), metres["points"][0]["x"].get<double>(), 5e-6);
}

// A square loop of 208.710 ft with its second leg 208.720 ft: before the
// adjustment a rectangle of 208.71 by 208.72 = 43561.95 ft2, 1.00004 acres
// of 43560 ft2; the compass rule moves P2, P3, P4 west by a quarter, half and
// three quarters of the 0.010 ft: P2 (1208.710, 999.9975), P3 (1208.710,
// 1208.715), P4 (1000, 1208.7125), by the shoelace A = 43560.91 ft2.
TEST(LengthUnits, TheAreaOfALoopInFeetIsInSquareFeetAndAcres) {
  const std::string book =
      "unit dms\nlength ft\npoint P1 1000 1000\ntraverse square left\nbearing 180-00-00\n"
      "P1 180-00-00 208.710\nP2 270-00-00 208.720\nP3 270-00-00 208.710\n"
      "P4 270-00-00 208.710\nP1 90-00-00\nbearing 180-00-00\nend\n";
  const ChildRun text = Traverse({"adjust"}, book);
  ASSERT_EQ(text.exitCode, 0) << text.error;
  for (const char* line : {"  Area before adjustment             43561.95 ft2 = 1.0000 acres\n",
                           "  Area after adjustment              43560.91 ft2 = 1.0000 acres\n"})
    EXPECT_NE(text.output.find(line), std::string::npos) << line << '\n' << text.output;
  const json report = Json(book);
  EXPECT_EQ(report["length_unit"], "ft");
  EXPECT_NEAR(report["traverses"][0]["area"]["before"].get<double>(), 43561.9512, 1e-6);
}

// A Carlson file in US survey feet (MO UN2) is converted as it is written,
// in its unit, and the book says so.
TEST(LengthUnits, AnInstrumentFileInFeetIsConvertedInFeet) {
  const std::string rw5 =
      "JB,NMfeet\nMO,AD0,UN2,SF1.00000000,EC0,EO0.0,AU1\nSP,PNS,N 6561.667,E 3280.833,EL 328.083\n"
      "OC,OPS,N 6561.667,E 3280.833,EL 328.083\nLS,HI5.000,HR6.000\n"
      "BK,OPS,BPM,BS0.0000,BC0.0000\nSS,OPS,FPA,AR100.0000,ZE100.0000,SD820.208\n";
  const ChildRun converted = Traverse({"convert"}, rw5);
  ASSERT_EQ(converted.exitCode, 0) << converted.error;
  for (const char* line : {"\nunit gon\nlength usft\npoint S 6561.667 3280.833 328.083\n",
                           "\nsetup S hi=5\n", " sd=820.208 ht=6\n"})
    EXPECT_NE(converted.output.find(line), std::string::npos) << line << '\n' << converted.output;
  // Asked for metres, the book is converted into them.
  const ChildRun metres = Traverse({"convert", "--length-unit", "m"}, rw5);
  EXPECT_EQ(metres.output.find("length "), std::string::npos) << metres.output;
  EXPECT_NE(metres.output.find("point S 2000.0001"), std::string::npos) << metres.output;
}

// A grid's coordinates are in its unit: a job in another is refused naming
// both; without a length record the job takes the grid's feet.
TEST(LengthUnits, AGridInAnotherUnitIsRefusedAndAGridInFeetSetsTheUnit) {
  const std::string body =
      "grid epsg:2230\npoint A 1800000 6280000\npoint B 1800000 6281000\npoint C 1800100 6282000\n"
      "point D 1800100 6283000\ntraverse\nA\nB 200 1000\nN1 200 1000.5\nC 200\nD\nend\n";
  const struct {
    const char* what;
    std::string book;
    std::vector<std::string> options;
    std::string message;
  } refused[] = {
      {"a length record", "length ft\n" + body, {},
       "standard input:2: the grid NAD83 / California zone 6 (ftUS) is in US survey feet and the "
       "lengths are in international feet, the book's (its length record on line 1): a grid's "
       "coordinates are in its own unit (give 'length usft' or --length-unit usft)"},
      {"--length-unit", body, {"--length-unit", "m"},
       "standard input:1: the grid NAD83 / California zone 6 (ftUS) is in US survey feet and the "
       "lengths are in metres, the job's: a grid's coordinates are in its own unit (give 'length "
       "usft' or --length-unit usft)"},
      {"a bad unit", "unit gon\nlength yd\n", {},
       "standard input:2: expected the length unit m (metres), ft (international feet) or usft (US "
       "survey feet), found 'yd'"},
      {"no unit", "length\n", {}, "standard input:1: expected 'length m', 'length ft' or 'length usft', found 'length'"},
      {"a second record", "length ft\nlength ft\n", {},
       "standard input:2: the book has a second length record (the first on line 1)"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> arguments = {"adjust"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const ChildRun run = Traverse(arguments, c.book);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error, "traverse: " + c.message + "\n");
  }
  // Its made-up angles miss (exit 3); the report is written all the same.
  const ChildRun onGrid = Traverse({"adjust", "--format", "json"}, body);
  ASSERT_FALSE(onGrid.output.empty()) << onGrid.error;
  EXPECT_EQ(json::parse(onGrid.output)["length_unit"], "usft");
}

}  // namespace
}  // namespace traverse::e2e
