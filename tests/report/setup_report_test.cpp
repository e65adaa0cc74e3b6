// Setups and sideshots in every format: the JSON's keys and values, each
// format showing a setup and a sideshot, and a book of 100,000 sideshots
// written in time and memory proportional to them.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report/setup_example.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

using nlohmann::json;

TEST(SetupReport, JsonKeysAndValuesInTheReportsUnit) {
  BookResult book = testing::SetupBook();
  book.settings.unit = AngleUnit::Degree;  // every angle key: gon times 0.9
  const json report = json::parse(FormatJson(book, {}));
  struct Expected {
    const char* pointer;
    json value;
  };
  const Expected numbers[] = {
      {"/setups/0/line", 12},
      {"/setups/0/hi", 1.55},
      {"/setups/0/orientation", 56.789 * 0.9},
      {"/setups/0/orientation_sigma", 0.0002 * 0.9},
      {"/setups/0/collimation", 0.0012 * 0.9},
      {"/setups/0/index_error", -0.0008 * 0.9},
      {"/setups/0/direction_sigma", 0.0003 * 0.9},
      {"/setups/0/degrees_of_freedom", 1},
      {"/setups/0/rounds/1/first_line", 17},
      {"/setups/0/rounds/1/largest_residual", 0.0012 * 0.9},
      {"/setups/0/pairs/2/line_ii", 19},
      {"/setups/0/pairs/0/index_error", -0.0006 * 0.9},
      {"/setups/0/directions/0/zenith", 100.1 * 0.9},
      {"/setups/0/directions/0/slope_distance", 100.0125},
      {"/setups/0/directions/0/horizontal_distance", 100.0001},
      {"/setups/0/directions/0/target_height", 1.3},
      {"/setups/0/directions/0/dh", -0.1072},
      {"/setups/0/directions/1/direction", 123.4567 * 0.9},
      {"/setups/0/directions/1/spread", 0.0008 * 0.9},
      {"/setups/0/directions/1/rounds", 2},
      {"/sideshots/0/line", 21},
      {"/sideshots/0/setup", 12},
      {"/sideshots/0/x", 1200.123},
      {"/sideshots/0/y", 2100.456},
      {"/sideshots/0/z", 101.2},
      {"/sideshots/0/sx", 0.004},
      {"/sideshots/0/sy", 0.005},
      {"/sideshots/0/ellipse/a", 0.006},
      {"/sideshots/0/ellipse/bearing", 33.3 * 0.9},
      {"/network/observations/0/setup", 12},
      {"/network/observations/0/measured", 123.4567 * 0.9},
  };
  for (const Expected& e : numbers)
    EXPECT_NEAR(report.at(json::json_pointer(e.pointer)).get<double>(), e.value.get<double>(), 1e-12)
        << e.pointer;
  const Expected others[] = {
      {"/setups/0/station", "S1"},
      {"/setups/0/rounds/1/flagged", true},
      {"/setups/0/rounds/0/flagged", false},
      {"/setups/0/pairs/1/index_error", nullptr},
      {"/setups/0/directions/1/zenith", nullptr},
      {"/setups/0/directions/1/code", nullptr},
      {"/setups/0/directions/2/one_face", true},
      {"/setups/0/directions/2/code", "TREE"},
      {"/sideshots/0/from", "S1"},
      {"/sideshots/0/description", "oak, 0.6 m"},
      {"/sideshots/1/name", "K2"},
      {"/sideshots/1/z", nullptr},
      {"/sideshots/1/sx", nullptr},
      {"/sideshots/1/ellipse", nullptr},
      {"/sideshots/1/code", nullptr},
      {"/network/observations/0/kind", "direction"},
      {"/network/observations/0/to", "P1"},
  };
  for (const Expected& e : others) EXPECT_EQ(report.at(json::json_pointer(e.pointer)), e.value) << e.pointer;

  // A book without them keeps the keys, empty, as it keeps `checks`.
  book.setups.clear();
  book.sideshots.clear();
  book.network->observations[0].ref.kind = ObservationKind::Distance;
  book.network->observations[0].setup = 0;
  const json plain = json::parse(FormatJson(book, {}));
  EXPECT_EQ(plain["setups"], json::array());
  EXPECT_EQ(plain["sideshots"], json::array());
  EXPECT_FALSE(plain["network"]["observations"][0].contains("setup"));
}

}  // namespace
}  // namespace traverse
