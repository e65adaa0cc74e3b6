// Setups and sideshots in every format: the JSON's keys and values, each
// format showing a setup and a sideshot, and a book of 100,000 sideshots
// written in time and memory proportional to them.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report/setup_example.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

using nlohmann::json;

// A book of n sideshots round one station, each with a code, as a
// topographic survey has them.
BookResult ManySideshots(std::size_t n) {
  BookResult book = testing::SetupBook();
  book.sideshots.clear();
  book.sideshots.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double k = static_cast<double>(i);
    Sideshot shot = testing::Shot("T" + std::to_string(i), static_cast<int>(30 + i),
                                  {1000 + 0.37 * std::fmod(k * 7.1, 500), 2000 + 0.29 * std::fmod(k * 3.3, 700)});
    shot.z = 100 + k / n;
    shot.code = i % 3 == 0 ? "TREE" : "KERB";
    book.sideshots.push_back(std::move(shot));
  }
  return book;
}

// Every format writes ten times the sideshots in about ten times the time
// (a quadratic step would take a hundred), and the text report goes out in
// pieces no larger than a few thousand rows.
TEST(SetupReport, HundredThousandSideshotsInLinearTime) {
  const BookResult small = ManySideshots(10000), large = ManySideshots(100000);
  const auto streamed = [](void (*write)(const BookResult&, const ReportOptions&, const ReportSink&)) {
    return [write](const BookResult& book, const ReportOptions& options) {
      std::size_t bytes = 0;
      write(book, options, [&](std::string_view piece) { bytes += piece.size(); });
      return bytes;
    };
  };
  const auto whole = [](std::string (*write)(const BookResult&, const ReportOptions&)) {
    return [write](const BookResult& book, const ReportOptions& options) {
      return write(book, options).size();
    };
  };
  struct Case {
    const char* format;
    std::function<std::size_t(const BookResult&, const ReportOptions&)> write;
  };
  ReportOptions csv;
  csv.sideshots = true;
  ReportOptions dxf;
  dxf.codeLayers = true;
  const Case cases[] = {{"text", streamed(WriteText)}, {"html", streamed(WriteHtml)},
                        {"json", whole(FormatJson)},    {"csv", whole(FormatCsv)},
                        {"svg", whole(FormatSvg)},      {"dxf", whole(FormatDxf)}};
  for (const Case& c : cases) {
    const ReportOptions& options = c.format == std::string("csv") ? csv : dxf;
    // In processor time, which other programs on the machine leave alone;
    // the small book's best of two, as its first run warms the caches.
    std::clock_t smallTime = std::numeric_limits<std::clock_t>::max();
    std::size_t smallBytes = 0;
    for (int run = 0; run < 2; ++run) {
      const std::clock_t start = std::clock();
      smallBytes = c.write(small, options);
      smallTime = std::min(smallTime, std::clock() - start);
    }
    const std::clock_t start = std::clock();
    const std::size_t largeBytes = c.write(large, options);
    EXPECT_GT(largeBytes, 8 * smallBytes) << c.format;
    EXPECT_LT(std::clock() - start, 30 * smallTime) << c.format;
  }
  std::size_t largest = 0;
  WriteText(large, {}, [&](std::string_view piece) { largest = std::max(largest, piece.size()); });
  EXPECT_LT(largest, 1u << 20);  // 100,000 rows are some 8 MB
}

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

// Each format shows the setup and the sideshots: its own way of saying so.
TEST(SetupReport, EveryFormatShowsTheSetupAndItsSideshots) {
  const BookResult book = testing::SetupBook();
  ReportOptions sideshots;
  sideshots.sideshots = true;
  ReportOptions pnezd = sideshots;
  pnezd.columns = "PNEZD";
  ReportOptions codeLayers;
  codeLayers.codeLayers = true;
  struct Case {
    const char* format;
    std::string (*write)(const BookResult&, const ReportOptions&);
    ReportOptions options;
    std::vector<std::string> shows;
  };
  const Case cases[] = {
      {"text", FormatText, {},
       {"\nSetup 1 at S1 (line 12)\n-----------------------\n",
        "  Sigma of a direction       3.0 cc from 2 rounds, 1 degree of freedom\n",
        "  Orientation           56.78900 gon, sigma 2.0 cc\n",
        "  P1        14        123.45670          8.0       2\n",
        "      2  17-20                   12.0  FLAGGED\n",
        "  Round 2 (lines 17-20) has a residual of 12.0 cc, above three times",
        "  A       13, 15    10.0    -6.0\n",
        "  direction    14  S1 to P1 (setup line 12)  123.45670  gon",
        "and have no check: a blunder in one cannot show.\n",
        "  T1     S1      21  1200.123  2100.456  101.200      4.0      5.0  TREE  oak, 0.6 m\n",
        "  K2     S1      22   950.500  1900.250\n"}},
      {"html", FormatHtml, {},
       {"<h2>Setup 1 at S1 (line 12)</h2>", "<td class=\"alarm\">FLAGGED</td>",
        "<p class=\"alarm\">Round 2 (lines 17-20)", "<h2>Sideshots</h2>",
        "<tr><td>T1</td><td>S1</td><td class=\"num\">21</td><td class=\"num\">1200.123</td>",
        "<g class=\"sideshots\""}},
      {"csv --points sideshots", FormatCsv, sideshots,
       {"point,x,y,z\nT1,1200.123,2100.456,101.200\nK2,950.500,1900.250,\n"}},
      {"csv PNEZD", FormatCsv, pnezd,
       {"T1,1200.123,2100.456,101.200,\"TREE oak, 0.6 m\"\nK2,950.500,1900.250,,\n"}},
      {"svg", FormatSvg, {},
       {"<path class=\"rays\" d=\"M", "<circle cx=", ">sideshot</text>", ">T1</text>"}},
      {"dxf", FormatDxf, {}, {"\n2\nSIDESHOTS\n", "\n0\nPOINT\n8\nSIDESHOTS\n"}},
      {"dxf --dxf-code-layers", FormatDxf, codeLayers,
       {"\n2\nTREE\n", "\n0\nPOINT\n8\nTREE\n", "\n0\nPOINT\n8\nSIDESHOTS\n"}},
  };
  for (const Case& c : cases) {
    const std::string out = c.write(book, c.options);
    for (const std::string& piece : c.shows)
      EXPECT_NE(out.find(piece), std::string::npos) << c.format << " lacks:\n" << piece << "\nin:\n" << out;
  }
}

// R12 takes letters, digits, '$', '-' and '_' in a layer's name, 31 at most.
TEST(SetupReport, CodesAsDxfLayerNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"tree", "TREE"}, {"Kerb-Stone_2$", "KERB-STONE_2$"}, {"fence post/1", "FENCE_POST_1"},
      {"M\xC3\xBCll", "M_LL"}, {std::string(40, 'a'), std::string(31, 'A')}};
  for (const auto& [code, layer] : cases) EXPECT_EQ(DxfLayerName(code), layer) << code;
}

}  // namespace
}  // namespace traverse
