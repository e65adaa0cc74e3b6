// A setup with sideshots through the program, figures worked by hand: on
// 1002, oriented on 1001 by both faces (c = i = 0), a sideshot a quarter turn
// to the right at 10 m and one half a turn round at 5 m. The bearing to 1001
// runs along (-0.8, -0.6), so they lie at (+6, -8) and (+4, +3) from 1002.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

using nlohmann::json;

const char* const SetupBook =
    "unit gon\n"
    "point 1001 4800.000 2850.000 309.874\n"
    "point 1002 5000.000 3000.000 312.456\n"
    "point 1003 5165.381 3770.824 311.216\n"
    "point 1004 4882.538 4053.667 310.602\n"
    "traverse main left\n"
    "1001\n"
    "1002 219.0346 250.012\n"
    "2001 250.0008 299.987\n"
    "2002 174.9991 280.009\n"
    "1003 265.0013\n"
    "1004\n"
    "end\n"
    "setup 1002 hi=1.500\n"
    "1001   0.0000 za=100.0000\n"
    "1001 200.0000 za=300.0000\n"
    "T1   100.0000 za=100.0000 sd=10.000 ht=1.500 code=TREE \"oak, 0.6 m\"\n"
    "K2   200.0000 hd=5.000\n"
    "end\n";

std::string Adjust(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "adjust");
  ChildSetup setup;
  setup.input = SetupBook;
  setup.arguments = arguments;
  setup.timeLimit = 60;
  const ChildRun run = RunChild(PROGRAM_UNDER_TEST, setup);
  EXPECT_EQ(run.exitCode, 0) << run.error;
  return run.output;
}

TEST(SetupReportEndToEnd, SideshotsWorkedByHandInEveryFormat) {
  const json report = json::parse(Adjust({"--format", "json"}));
  ASSERT_EQ(report["setups"].size(), 1u);
  EXPECT_EQ(report["setups"][0]["line"], 14);
  EXPECT_EQ(report["setups"][0]["collimation"].get<double>(), 0);
  EXPECT_NEAR(report["setups"][0]["directions"][1]["direction"].get<double>(), 100, 1e-12);
  const json& shots = report["sideshots"];
  ASSERT_EQ(shots.size(), 2u);
  const double xy[2][2] = {{5006, 2992}, {5004, 3003}};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(shots[i]["x"].get<double>(), xy[i][0], 1e-9) << i;
    EXPECT_NEAR(shots[i]["y"].get<double>(), xy[i][1], 1e-9) << i;
    EXPECT_EQ(shots[i]["from"], "1002");
    EXPECT_EQ(shots[i]["line"], 17 + i);
    EXPECT_EQ(shots[i]["setup"], 14);
    EXPECT_TRUE(shots[i]["sx"].is_null());  // compass: no sigma
  }
  // Level sight, hi = ht: the station's height and the earth's curvature
  // less refraction at 10 m, (1 - 0.13) * 10² / (2 * 6.37e6) m.
  EXPECT_NEAR(shots[0]["z"].get<double>(), 312.456 + 6.83e-6, 1e-8);

  EXPECT_EQ(Adjust({"--format", "csv", "--points", "sideshots", "--columns", "PNEZD"}),
            "T1,5006.000,2992.000,312.456,\"TREE oak, 0.6 m\"\nK2,5004.000,3003.000,,\n");
  // A book of one traverse has no plan of the whole but for its sideshots.
  EXPECT_NE(Adjust({"--format", "html"}).find("<g class=\"sideshots\""), std::string::npos);
}

// Under least squares the setup's orientation is the bearing to 1001 with a
// sigma, its direction is in the network with its setup's line, and T1's
// ellipse lies along its ray, a = 3 mm + 2 ppm of 10 m, and across it,
// b = 10 m times the orientation's sigma and T1's own (10 cc / root 2 for a
// pair, times root 2 in one face) together.
TEST(SetupReportEndToEnd, SideshotPrecisionUnderLeastSquares) {
  const json report = json::parse(Adjust({"--format", "json", "--rule", "least-squares"}));
  const json& setup = report["setups"][0];
  EXPECT_NEAR(setup["orientation"].get<double>(), 200 + std::atan(0.75) * 200 / std::numbers::pi, 1e-9);
  const double orientationSigma = setup["orientation_sigma"].get<double>();
  std::vector<json> directions;
  for (const json& o : report["network"]["observations"])
    if (o["kind"] == "direction") directions.push_back(o);
  ASSERT_EQ(directions.size(), 1u);  // to 1001; the sideshots stay out
  EXPECT_EQ(directions[0]["setup"], 14);
  EXPECT_EQ(directions[0]["line"], 15);
  const json& ellipse = report["sideshots"][0]["ellipse"];
  EXPECT_NEAR(ellipse["a"].get<double>(), 0.00302, 1e-12);
  EXPECT_NEAR(ellipse["b"].get<double>(),
              10 * std::hypot(orientationSigma, 0.001) * std::numbers::pi / 200, 1e-12);
  EXPECT_NEAR(ellipse["bearing"].get<double>(), setup["orientation"].get<double>() + 100 - 200, 1e-9);
}

}  // namespace
}  // namespace traverse::e2e
