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

#include "adjustment/book.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

using nlohmann::json;

// A small book's result with one setup of two rounds and two sideshots, as
// the writers get it; the figures are made up but of the right size.
BookResult SetupBook() {
  BookResult book;
  book.source = "setups.book";
  book.settings.rule = Rule::LeastSquares;
  book.known = {{"S1", {1000, 2000}, 100.0, 2, "", {}, {}, {}, {}}, {"A", {1100, 2000}, std::nullopt, 3, "", {}, {}, {}, {}}};
  book.points = {{{"P1", {1050, 2100}, std::nullopt, 0, "", {}, {}, {}, {}}, PointPrecision{0.002, 0.003, 0.0035, 0.0015, 20}, std::nullopt}};
  const BookSetup setup{
      "S1", 12, 1.55, {}, {},
      {{"A", 13, 15, 0.0010, -0.0006}, {"P1", 14, 16, 0.0014, std::nullopt},
       {"A", 17, 19, 0.0011, -0.0010}, {"P1", 18, 20, 0.0013, std::nullopt}},
      {{1, 13, 16, 0.0001, false}, {2, 17, 20, 0.0012, true}},
      {{"A", 13, 0, 0, 2, false, 100.1, 100.0125, 100.0001, -0.1072, 1.3, "", ""},
       {"P1", 14, 123.4567, 0.0008, 2, false, {}, {}, {}, {}, {}, "", ""},
       {"T1", 21, 210.5, 0, 1, true, {}, {}, {}, {}, {}, "TREE", "oak, 0.6 m"},
       {"K2", 22, 300.25, 0, 1, false, {}, {}, {}, {}, {}, "", ""}},
      0.0012, -0.0008, 0.0003, 1, ""};
  book.setups = {{setup, 56.789, 0.0002, {}, {}}};
  book.sideshots = {{"T1", "S1", 21, 12, {1200.123, 2100.456}, 101.2, PointPrecision{0.004, 0.005, 0.006, 0.003, 33.3},
                     "TREE", "oak, 0.6 m", {}, {}},
                    {"K2", "S1", 22, 12, {950.5, 1900.25}, {}, {}, "", "", {}, {}}};
  book.network = NetworkReport{};
  book.network->observations = {
      {{123.4567, 0.0002, 0.0003, 0.8, 0.5}, {0, ObservationKind::Direction, 1}, 14, "", "S1", "P1", false, 12}};
  return book;
}

TEST(SetupReport, JsonKeysAndValuesInTheReportsUnit) {
  BookResult book = SetupBook();
  book.settings.unit = AngleUnit::Degree;  // every angle key: gon times 0.9
  const json report = json::parse(FormatJson(book, {}));
  // Each figure where scripts find it; numbers to the last bit but for the
  // unit's conversion.
  const std::pair<const char*, json> expected[] = {
      {"/setups/0", {{"hi", 1.55}, {"orientation", 56.789 * 0.9}, {"orientation_sigma", 0.0002 * 0.9},
                     {"index_error", -0.0008 * 0.9}, {"direction_sigma", 0.0003 * 0.9}, {"degrees_of_freedom", 1}}},
      {"/setups/0/rounds/1", {{"number", 2}, {"first_line", 17}, {"last_line", 20},
                              {"largest_residual", 0.0012 * 0.9}, {"flagged", true}}},
      {"/setups/0/pairs/1", {{"target", "P1"}, {"line_i", 14}, {"line_ii", 16},
                             {"collimation", 0.0014 * 0.9}, {"index_error", nullptr}}},
      {"/setups/0/directions/0", {{"zenith", 100.1 * 0.9}, {"slope_distance", 100.0125}, {"dh", -0.1072}}},
      {"/setups/0/directions/1", {{"spread", 0.0008 * 0.9}, {"zenith", nullptr}, {"code", nullptr}}},
      {"/setups/0/directions/2/one_face", true},
      {"/sideshots/0", {{"name", "T1"}, {"from", "S1"}, {"line", 21}, {"setup", 12},
                        {"x", 1200.123}, {"y", 2100.456}, {"z", 101.2}, {"sx", 0.004},
                        {"sy", 0.005}, {"ellipse", {{"a", 0.006}, {"b", 0.003}, {"bearing", 33.3 * 0.9}}},
                        {"code", "TREE"}, {"description", "oak, 0.6 m"}}},
      {"/sideshots/1", {{"z", nullptr}, {"sx", nullptr}, {"ellipse", nullptr}}},
      {"/network/observations/0", {{"kind", "direction"}, {"setup", 12}}},
  };
  for (const auto& [pointer, value] : expected) {
    const json actual = report.at(json::json_pointer(pointer)).flatten(), wanted = value.flatten();
    for (const auto& [key, v] : wanted.items()) {
      const json a = actual.contains(key) ? actual[key] : json("absent");
      if (v.is_number() && a.is_number()) EXPECT_NEAR(a.get<double>(), v.get<double>(), 1e-12) << pointer << key;
      else EXPECT_EQ(a, v) << pointer << key;
    }
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
  const BookResult book = SetupBook();
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
        "  T1     S1      21  1200.123  2100.456  101.200      4.0      5.0  TREE  oak, 0.6 m\n",
        "  K2     S1      22   950.500  1900.250\n"}},
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
    BookResult result = SetupBook();
    for (std::size_t i = 0; i < n; ++i) {
      const double k = static_cast<double>(i);
      result.sideshots.push_back({"T" + std::to_string(i), "S1", static_cast<int>(30 + i), 12,
                                  {1000 + std::fmod(k * 2.6, 185), 2000 + std::fmod(k * 0.97, 203)}, {}, {},
                                  i % 3 ? "KERB" : "TREE", "", {}, {}});
    }
    return result;
  };
  const BookResult small = book(10000), large = book(100000);
  ReportOptions options;
  options.sideshots = options.codeLayers = true;
  std::size_t largest = 0;  // of the pieces of text
  const auto streamed = [&](auto write, bool text) {
    return [&, write, text](const BookResult& b) {
      std::size_t bytes = 0;
      write(b, options, [&](std::string_view piece) {
        bytes += piece.size();
        if (text) largest = std::max(largest, piece.size());
      });
      return bytes;
    };
  };
  const auto whole = [&](auto write) { return [&, write](const BookResult& b) { return write(b, options).size(); }; };
  const std::pair<const char*, std::function<std::size_t(const BookResult&)>> formats[] = {
      {"text", streamed(WriteText, true)}, {"html", streamed(WriteHtml, false)}, {"json", whole(FormatJson)},
      {"csv", whole(FormatCsv)},     {"svg", whole(FormatSvg)},      {"dxf", whole(FormatDxf)}};
  for (const auto& [format, write] : formats) {
    std::clock_t smallTime = std::numeric_limits<std::clock_t>::max();  // the best of two
    std::size_t smallBytes = 0;
    for (int run = 0; run < 2; ++run) {
      const std::clock_t start = std::clock();
      smallBytes = write(small);
      smallTime = std::min(smallTime, std::clock() - start);
    }
    const std::clock_t start = std::clock();
    EXPECT_GT(write(large), 8 * smallBytes) << format;
    EXPECT_LT(std::clock() - start, 30 * smallTime) << format;
  }
  EXPECT_LT(largest, 1u << 20);  // of some 8 MB

  // The JSON handed out in blocks is the whole report's very text, a block
  // at most a megabyte but where one string is longer.
  BookResult longText = SetupBook();
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
