// Setups and sideshots in every format: the JSON's keys and values, each
// format showing a setup and a sideshot, and a book of 100,000 sideshots
// written in time proportional to them, the text report a block at a time.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(SetupReport, JsonKeysAndValuesInTheReportsUnit) {
  BookResult book = testing::SetupBook();
  book.settings.unit = AngleUnit::Degree;  // every angle key: gon times 0.9
  const json report = json::parse(FormatJson(book, {}));
  const std::pair<const char*, json> expected[] = {
      {"/setups/0/hi", 1.55},
      {"/setups/0/orientation", 56.789 * 0.9},
      {"/setups/0/orientation_sigma", 0.0002 * 0.9},
      {"/setups/0/index_error", -0.0008 * 0.9},
      {"/setups/0/direction_sigma", 0.0003 * 0.9},
      {"/setups/0/degrees_of_freedom", 1},
      {"/setups/0/rounds/1", {{"number", 2}, {"first_line", 17}, {"last_line", 20},
                              {"largest_residual", 0.0012 * 0.9}, {"flagged", true}}},
      {"/setups/0/pairs/1", {{"target", "P1"}, {"line_i", 14}, {"line_ii", 16},
                             {"collimation", 0.0014 * 0.9}, {"index_error", nullptr}}},
      {"/setups/0/directions/0/zenith", 100.1 * 0.9},
      {"/setups/0/directions/0/slope_distance", 100.0125},
      {"/setups/0/directions/0/dh", -0.1072},
      {"/setups/0/directions/1/spread", 0.0008 * 0.9},
      {"/setups/0/directions/1/zenith", nullptr},
      {"/setups/0/directions/1/code", nullptr},
      {"/setups/0/directions/2/one_face", true},
      {"/sideshots/0", {{"name", "T1"}, {"from", "S1"}, {"line", 21}, {"setup", 12},
                        {"x", 1200.123}, {"y", 2100.456}, {"z", 101.2}, {"sx", 0.004},
                        {"sy", 0.005}, {"ellipse", {{"a", 0.006}, {"b", 0.003}, {"bearing", 33.3 * 0.9}}},
                        {"code", "TREE"}, {"description", "oak, 0.6 m"}}},
      {"/sideshots/1/z", nullptr},
      {"/sideshots/1/sx", nullptr},
      {"/sideshots/1/ellipse", nullptr},
      {"/network/observations/0/kind", "direction"},
      {"/network/observations/0/setup", 12},
  };
  // Numbers to the last bit but for the unit's conversion.
  const auto same = [](const json& a, const json& b) -> bool {
    if (a.is_number() && b.is_number()) return std::fabs(a.get<double>() - b.get<double>()) < 1e-12;
    if (!a.is_object() || !b.is_object() || a.size() != b.size()) return a == b;
    for (const auto& [key, value] : b.items())
      if (!a.contains(key) || !(a[key].is_number() ? std::fabs(a[key].get<double>() - value.get<double>()) < 1e-12
                                                   : a[key] == value))
        return false;
    return true;
  };
  for (const auto& [pointer, value] : expected) {
    const json& actual = report.at(json::json_pointer(pointer));
    EXPECT_TRUE(same(actual, value)) << pointer << ": " << actual << " not " << value;
  }
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

// Each format shows the setup and the sideshots in its own way.
TEST(SetupReport, EveryFormatShowsTheSetupAndItsSideshots) {
  const BookResult book = testing::SetupBook();
  struct Case {
    const char* format;
    std::string (*write)(const BookResult&, const ReportOptions&);
    std::vector<std::string> shows;
  };
  const Case cases[] = {
      {"text", FormatText,
       {"\nSetup 1 at S1 (line 12)\n-----------------------\n",
        "  Sigma of a direction       3.0 cc from 2 rounds, 1 degree of freedom\n",
        "  Orientation           56.78900 gon, sigma 2.0 cc\n",
        "  P1        14        123.45670          8.0       2\n",
        "  Round 2 (lines 17-20) has a residual of 12.0 cc, above three times",
        "  direction    14  S1 to P1, setup line 12  123.45670  gon",
        "and have no check: a blunder in one cannot show.\n",
        "  T1     S1      21  1200.123  2100.456  101.200      4.0      5.0  TREE  oak, 0.6 m\n"}},
      {"html", FormatHtml,
       {"<h2>Setup 1 at S1 (line 12)</h2>", "<td class=\"alarm\">FLAGGED</td>", "<h2>Sideshots</h2>",
        "<tr><td>T1</td><td>S1</td><td class=\"num\">21</td><td class=\"num\">1200.123</td>",
        "<g class=\"sideshots\""}},
      {"svg", FormatSvg, {"<path class=\"rays\" d=\"M", ">sideshot</text>", ">T1</text>"}},
  };
  for (const Case& c : cases) {
    const std::string out = c.write(book, {});
    for (const std::string& piece : c.shows)
      EXPECT_NE(out.find(piece), std::string::npos) << c.format << " lacks:\n" << piece << "\nin:\n" << out;
  }
}

// Ten times the sideshots take about ten times the processor time in every
// format (a quadratic step would take a hundred; processor time, which other
// programs leave alone), and the text goes out in pieces of a few thousand rows.
TEST(SetupReport, HundredThousandSideshotsInLinearTime) {
  const auto book = [](std::size_t n) {
    BookResult result = testing::SetupBook();
    for (std::size_t i = 0; i < n; ++i) {
      const double k = static_cast<double>(i);
      result.sideshots.push_back(testing::Shot("T" + std::to_string(i), static_cast<int>(30 + i),
                                               {1000 + std::fmod(k * 2.6, 185), 2000 + std::fmod(k * 0.97, 203)}));
      result.sideshots.back().code = i % 3 ? "KERB" : "TREE";
    }
    return result;
  };
  const BookResult small = book(10000), large = book(100000);
  const auto streamed = [](auto write) {
    return [write](const BookResult& b, const ReportOptions& o) {
      std::size_t bytes = 0;
      write(b, o, [&](std::string_view piece) { bytes += piece.size(); });
      return bytes;
    };
  };
  const auto whole = [](auto write) {
    return [write](const BookResult& b, const ReportOptions& o) { return write(b, o).size(); };
  };
  const std::pair<const char*, std::function<std::size_t(const BookResult&, const ReportOptions&)>> formats[] = {
      {"text", streamed(WriteText)}, {"html", streamed(WriteHtml)}, {"json", whole(FormatJson)},
      {"csv", whole(FormatCsv)},     {"svg", whole(FormatSvg)},      {"dxf", whole(FormatDxf)}};
  ReportOptions options;
  options.sideshots = options.codeLayers = true;
  for (const auto& [format, write] : formats) {
    std::clock_t smallTime = std::numeric_limits<std::clock_t>::max();  // the best of two
    std::size_t smallBytes = 0;
    for (int run = 0; run < 2; ++run) {
      const std::clock_t start = std::clock();
      smallBytes = write(small, options);
      smallTime = std::min(smallTime, std::clock() - start);
    }
    const std::clock_t start = std::clock();
    EXPECT_GT(write(large, options), 8 * smallBytes) << format;
    EXPECT_LT(std::clock() - start, 30 * smallTime) << format;
  }
  std::size_t largest = 0;
  WriteText(large, {}, [&](std::string_view piece) { largest = std::max(largest, piece.size()); });
  EXPECT_LT(largest, 1u << 20);  // of some 8 MB

  // The JSON handed out in blocks is the whole report's very text, a block
  // at most a megabyte but where one string is longer.
  BookResult longText = testing::SetupBook();
  longText.sideshots.front().description = std::string(3 << 20, 'x');
  for (const BookResult* b : {&large, static_cast<const BookResult*>(&longText)}) {
    std::string joined;
    std::size_t pieces = 0;
    largest = 0;
    WriteJson(*b, options, [&](std::string_view piece) {
      joined += piece;
      largest = std::max(largest, piece.size());
      ++pieces;
    });
    EXPECT_EQ(joined, FormatJson(*b, options));
    EXPECT_GT(pieces, 1u);
    if (b == &large) {
      EXPECT_LE(largest, 1u << 20);
    }
  }
  EXPECT_NE(FormatSvg(small, {}).find(" sideshot names left out where they crowd"), std::string::npos);
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
