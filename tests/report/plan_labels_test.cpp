// The plan's labels stand clear of one another, of the point symbols and of
// the misclosure arrows: on the worked example, the published examples, the
// field books in examples/ and a generated traverse of 60 points. The boxes
// are reckoned from the SVG itself, as the plan's writer promises them: 0.6
// em per character (0.65 em in bold), 0.8 em above the baseline and 0.2 em
// below.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "adjustment/book.hpp"
#include "adjustment/reduction.hpp"
#include "adjustment/rules.hpp"
#include "input/answers.hpp"
#include "input/field_book.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

struct Box {
  double left, top, right, bottom;
  std::string what;
};

bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Whether the segment from (x1, y1) to (x2, y2) passes through the box, by
// sampling it finely (a test need not be clever).
bool Crosses(const Box& box, double x1, double y1, double x2, double y2) {
  for (int i = 0; i <= 200; ++i) {
    const double t = i / 200.0, x = x1 + t * (x2 - x1), y = y1 + t * (y2 - y1);
    if (x > box.left && x < box.right && y > box.top && y < box.bottom) return true;
  }
  return false;
}

double Attribute(const std::string& element, const std::string& name) {
  const std::regex pattern(" " + name + "=\"([-0-9.]+)\"");
  std::smatch match;
  return std::regex_search(element, match, pattern) ? std::stod(match[1]) : NAN;
}

std::string Unescaped(std::string text) {
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"&amp;", "&"},
                                 {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}}) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  }
  return text;
}

// Every label box, symbol box and misclosure arrow of the plan, and the
// clashes among them.
std::vector<std::string> Clashes(const std::string& svg) {
  std::vector<Box> labels, symbols;
  std::vector<std::array<double, 4>> arrows;
  std::istringstream lines(svg);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("class=\"label\"") != std::string::npos) {
      const double size = std::isnan(Attribute(line, "font-size")) ? 14 : Attribute(line, "font-size");
      const bool bold = line.find("font-weight=\"bold\"") != std::string::npos;
      const std::string text = Unescaped(line.substr(line.find('>') + 1, line.rfind("</text>") - line.find('>') - 1));
      const double x = Attribute(line, "x"), y = Attribute(line, "y");
      const double width = (bold ? 0.65 : 0.6) * size * static_cast<double>(CodePointCount(text));
      labels.push_back({x, y - 0.8 * size, x + width, y + 0.2 * size, "label '" + text + "'"});
    } else if (line.find("class=\"point\"") != std::string::npos) {
      const double x = Attribute(line, "cx"), y = Attribute(line, "cy");
      symbols.push_back({x - 5, y - 5, x + 5, y + 5, "point at " + std::to_string(x)});
    } else if (line.find("class=\"known\"") != std::string::npos) {
      std::smatch match;
      std::regex_search(line, match, std::regex("points=\"([-0-9.]+),([-0-9.]+)"));
      const double x = std::stod(match[1]), y = std::stod(match[2]) + 9;
      symbols.push_back({x - 8, y - 9, x + 8, y + 6, "known point at " + std::to_string(x)});
    } else if (line.find("class=\"misclosure\"") != std::string::npos) {
      arrows.push_back({Attribute(line, "x1"), Attribute(line, "y1"), Attribute(line, "x2"),
                        Attribute(line, "y2")});
    }
  }
  std::vector<std::string> clashes;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    for (std::size_t j = i + 1; j < labels.size(); ++j)
      if (Overlap(labels[i], labels[j])) clashes.push_back(labels[i].what + " / " + labels[j].what);
    for (const Box& symbol : symbols)
      if (Overlap(labels[i], symbol)) clashes.push_back(labels[i].what + " / " + symbol.what);
    for (const auto& a : arrows)
      if (Crosses(labels[i], a[0], a[1], a[2], a[3]))
        clashes.push_back(labels[i].what + " / the misclosure arrow");
  }
  if (labels.size() < 3) clashes.push_back("only " + std::to_string(labels.size()) + " labels");
  return clashes;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string AnswersPlan(const std::string& name, AngleUnit unit) {
  Job job;
  job.source = name;
  job.settings.unit = unit;
  ReadAnswers(ReadText(std::string(EXAMPLES_DIR) + "/" + name), job);
  return FormatSvg(AnswerFileResult(job, Adjust(job)), {});
}

BookResult AdjustedBook(const std::string& name, Rule rule) {
  FileAccess files;
  files.resolve = [](const std::string& written) { return std::string(EXAMPLES_DIR) + "/" + written; };
  files.read = [](const std::string& path, std::string& text) {
    text = ReadText(path);
    return text.empty() ? std::string("empty") : std::string();
  };
  Book book = ReadFieldBook(ReadText(std::string(EXAMPLES_DIR) + "/" + name), name, files);
  ReduceBook(book);
  Settings settings;
  settings.rule = rule;
  return AdjustBook(book, settings);
}

std::string BookPlan(const std::string& name) {
  return FormatSvg(AdjustedBook(name, Rule::LeastSquares), {});
}

// A connecting traverse of 60 new points that wanders (fixed seed), with
// legs of 40 to 120 m and small errors, so points crowd in places.
std::string GeneratedPlan() {
  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> turn(-60, 60), length(40, 120), noise(-0.002, 0.002);
  Job job;
  job.source = "generated";
  job.a = {0, -200};
  job.b = {0, 0};
  double bearing = 100, x = 0, y = 0;  // gon, from B onwards
  job.angles.push_back(bearing + 200 - 100);  // from A (due west of B) to the first leg
  for (int i = 0; i <= 60; ++i) {
    const double s = length(random);
    x += s * std::cos(bearing * std::numbers::pi / 200);
    y += s * std::sin(bearing * std::numbers::pi / 200);
    job.lengths.push_back(s + noise(random));
    const double change = turn(random);
    job.angles.push_back(200 + change + noise(random) / 100);
    bearing += change;
  }
  job.c = {x, y};
  job.d = {x + 100 * std::cos(bearing * std::numbers::pi / 200), y + 100 * std::sin(bearing * std::numbers::pi / 200)};
  return FormatSvg(AnswerFileResult(job, Adjust(job)), {});
}

TEST(PlanLabels, StandClearOfOneAnotherAndOfTheSymbols) {
  const struct {
    const char* name;
    std::string svg;
  } plans[] = {
      {"worked example", AnswersPlan("worked_left.txt", AngleUnit::Gon)},
      {"worked example, right", AnswersPlan("worked_right.txt", AngleUnit::Gon)},
      {"Krumm's traverse", AnswersPlan("krumm_traverse.txt", AngleUnit::Dms)},
      {"worked book", BookPlan("worked.book")},
      {"two traverses", BookPlan("two_traverses.book")},
      {"60 points", GeneratedPlan()},
  };
  for (const auto& plan : plans) {
    SCOPED_TRACE(plan.name);
    const std::vector<std::string> clashes = Clashes(plan.svg);
    EXPECT_TRUE(clashes.empty()) << clashes.size() << " clashes, the first: " << clashes.front();
  }
}

// An orientation point far outside the traverse becomes an arrow at the
// frame's edge with its name; the traverse keeps the drawing.
TEST(PlanLabels, AFarOrientationPointIsAnArrowAtTheEdge) {
  const std::string svg = AnswersPlan("krumm_traverse.txt", AngleUnit::Dms);
  EXPECT_EQ(std::count(svg.begin(), svg.end(), '\n') > 0, true);
  std::size_t arrows = 0;
  for (std::size_t at = 0; (at = svg.find("class=\"far-mark\"", at)) != std::string::npos; ++at)
    ++arrows;
  EXPECT_EQ(arrows, 2u);
  EXPECT_NE(svg.find(">A</text>"), std::string::npos);
  EXPECT_NE(svg.find(">D</text>"), std::string::npos);
}

// The page's plans: the whole network's with its ellipses, and each
// traverse's with the points it starts and ends on, also those computed by
// a traverse above.
TEST(PlanLabels, ThePagesPlansShowTheNetworkAndTheStartingPoints) {
  const auto plans = [](const std::string& name, Rule rule) {
    const std::string html = FormatHtml(AdjustedBook(name, rule), {});
    std::vector<std::string> found;
    for (std::size_t at = 0; (at = html.find("<svg", at)) != std::string::npos; ++at)
      found.push_back(html.substr(at, html.find("</svg>", at) - at));
    return found;
  };
  const auto has = [](const std::string& svg, const char* part) { return svg.find(part) != std::string::npos; };
  const std::vector<std::string> network = plans("ghilani_wolf_network.book", Rule::LeastSquares);
  ASSERT_EQ(network.size(), 2u);  // the network's, then its one traverse's
  EXPECT_TRUE(has(network[0], "stroke-dasharray=\"2,3\"") && has(network[0], "<ellipse"));
  // Headed as the network it is, not as its one traverse.
  EXPECT_TRUE(has(network[0], "(network of 1 traverse, least-squares)"));
  EXPECT_TRUE(has(plans("trilateration.book", Rule::LeastSquares)[0], "(network, least-squares)"));
  // A traverse's plan shows its first look, by the compass rule.
  EXPECT_TRUE(has(network[1], "(traverse AG, compass)"));
  const std::vector<std::string> book = plans("two_traverses.book", Rule::Compass);
  ASSERT_EQ(book.size(), 3u);
  for (const char* name : {">PP101<", ">PP102<", ">3001<", ">3002<", ">3003<"})
    EXPECT_TRUE(has(book[1], name)) << name;
  // The lane leaves 3002 of the road: drawn as a point from above, named.
  EXPECT_TRUE(has(book[2], ">3002<") &&
              std::regex_search(book[2], std::regex("class=\"known\" points=\"[^\"]*\" fill=\"white\"")));
  EXPECT_FALSE(has(book[2], ">3001<"));
}

// A g x g grid of junctions 400 m apart, each edge a traverse through two
// new stations, the four corners known: the shape of the benchmark's books.
BookResult GridBook(int g) {
  BookResult book;
  book.source = "grid";
  const auto name = [](int i, int j) { return "J" + std::to_string(i) + "." + std::to_string(j); };
  const auto at = [](double i, double j) { return GridPoint{400 * i, 400 * j}; };
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j) {
      const bool corner = (i == 0 || i == g - 1) && (j == 0 || j == g - 1);
      if (corner) book.known.push_back({name(i, j), at(i, j), std::nullopt, 0, {}, {}, {}, {}, {}});
      else book.points.push_back({{name(i, j), at(i, j), std::nullopt, 0, {}, {}, {}, {}, {}}, std::nullopt, std::nullopt});
    }
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j)
      for (const auto& [di, dj] : {std::pair{0, 1}, std::pair{1, 0}}) {
        if (i + di >= g || j + dj >= g) continue;
        BookTraverseResult t;
        t.name = name(i, j) + "-" + name(i + di, j + dj);
        t.job.b = at(i, j);
        t.job.c = at(i + di, j + dj);
        t.job.stations = {name(i, j), t.name + "a", t.name + "b", name(i + di, j + dj)};
        t.result.linear = LinearMisclosure{0.01, -0.01, 0.014, 0, {}, {}};
        for (const double f : {1.0 / 3, 2.0 / 3}) {
          t.result.points.push_back(at(i + f * di, j + f * dj));
          book.points.push_back({{t.job.stations[f < 0.5 ? 1 : 2], t.result.points.back(), std::nullopt, 0, {}, {}, {}, {}, {}},
                                 std::nullopt, std::nullopt});
        }
        book.traverses.push_back(std::move(t));
      }
  return book;
}

// Labelling grows about as n log n: four times the points take well under
// sixteen times as long (the best of three runs each), and the crowded
// plan stays clear, names its control points and says how many names it left out.
TEST(PlanLabels, PlacementTimeGrowsGentlyOnGridBooks) {
  const auto seconds = [](const BookResult& book, std::string& svg) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
      const auto start = std::chrono::steady_clock::now();
      svg = FormatSvg(book, {});
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
  };
  std::string small, large;
  const double t20 = seconds(GridBook(15), small), t40 = seconds(GridBook(30), large);
  EXPECT_LT(t40, 10 * t20) << t20 << " s for 15 x 15, " << t40 << " s for 30 x 30";
  const std::vector<std::string> clashes = Clashes(small);
  EXPECT_TRUE(clashes.empty()) << clashes.size() << " clashes, the first: " << clashes.front();
  for (const char* corner : {">J0.0<", ">J0.14<", ">J14.0<", ">J14.14<", " names left out where points crowd<"})
    EXPECT_NE(small.find(corner), std::string::npos) << corner;
}

}  // namespace
}  // namespace traverse
