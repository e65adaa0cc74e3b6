// A book's heights adjusted with its plan: a free station's zeniths, a free
// slope distance and levelling lines to a mark without coordinates, written
// from true heights, read, reduced and adjusted.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"

namespace traverse {
namespace {

constexpr double rho = 63.661977236758134308;  // gon per radian
constexpr double earthRadius = 6371000;

struct Mark {
  double x, y, z;
};
const std::map<std::string, Mark> truth = {{"K1", {5000, 5000, 100.000}},
                                           {"K2", {5000, 5800, 104.500}},
                                           {"K3", {5600, 5350, 99.800}},
                                           {"S1", {5250, 5300, 102.250}},
                                           {"M", {0, 0, 101.100}}};

// The zenith (gon) and slope distance that give the true height difference
// over a horizontal distance, hi and ht, refraction 0.13.
std::pair<double, double> Zenith(const std::string& from, const std::string& to, double hi, double ht) {
  const Mark &a = truth.at(from), &b = truth.at(to);
  const double d = std::hypot(b.x - a.x, b.y - a.y);
  const double c = b.z - a.z - 0.87 * d * d / (2 * earthRadius) - hi + ht;
  return {std::atan2(d, c) * rho, std::hypot(d, c)};
}

// `blunder` adds to one reading: "za K2" to the zenith to K2, "level K2" to
// the line K2-K3.
std::string BookOf(const std::string& blunder = "") {
  std::string book = "unit gon\nsigma direction 2\nsigma length 2 2\n";
  const auto add = [&book](const char* format, auto... values) {
    char text[200];
    std::snprintf(text, sizeof text, format, values...);
    book += text;
  };
  add("point K1 5000 5000 100.000\npoint K2 5000 5800 104.500\npoint K3 5600 5350\n");
  add("setup S1 hi=1.55\n");
  for (const char* target : {"K1", "K2", "K3"}) {
    const Mark &s = truth.at("S1"), &t = truth.at(target);
    const double bearing = std::atan2(t.y - s.y, t.x - s.x) * rho;
    const auto [zenith, slope] = Zenith("S1", target, 1.55, 1.30);
    add("%s %.9f hd=%.9f za=%.9f ht=1.30\n", target, std::fmod(bearing + 400 - 123.4567, 400),
        std::hypot(t.x - s.x, t.y - s.y), zenith + (blunder == std::string("za ") + target ? 0.005 : 0));
    (void)slope;
  }
  add("end\n");
  const auto [zenith, slope] = Zenith("K1", "S1", 1.60, 1.70);
  add("distance K1 S1 sd=%.9f za=%.9f hi=1.60 ht=1.70\n", slope, zenith);
  add("sigma level 2\n");
  for (const auto& [from, to, km] : {std::tuple{"K3", "M", 0.8}, {"M", "K1", 1.2}, {"K2", "K3", 1.5},
                                     {"K1", "K3", 2.0}})
    add("level %s %s %.6f dist=%.1f\n", from, to,
        truth.at(to).z - truth.at(from).z + (blunder == std::string("level ") + from ? 0.02 : 0), km);
  return book;
}

BookResult Adjusted(const std::string& text) {
  Book book = ReadFieldBook(text, "heights", {});
  ReduceBook(book);
  Settings settings;
  settings.rule = Rule::LeastSquares;
  return AdjustBook(book, settings);
}

TEST(Heights, ReturnToTheTruthWithTheirStatistics) {
  const BookResult result = Adjusted(BookOf());
  ASSERT_TRUE(result.heightNetwork);
  const HeightNetworkReport& h = *result.heightNetwork;
  EXPECT_EQ(h.redundancy, 8 - 3);  // 3 zeniths, a slope distance, 4 lines; S1, K3 and M
  EXPECT_FALSE(h.suspect);
  ASSERT_EQ(result.points.size(), 1u);
  EXPECT_NEAR(*result.points[0].point.z, truth.at("S1").z, 1e-6);
  EXPECT_TRUE(result.points[0].sigmaZ);
  ASSERT_EQ(h.heightsOnly.size(), 2u);  // the known point without a height, the levelled mark
  for (const HeightOnlyPoint& p : h.heightsOnly) EXPECT_NEAR(p.z, truth.at(p.name).z, 1e-6) << p.name;
  int levelled = 0, trigonometric = 0;
  for (const ObservationReport& o : result.network->observations)
    if (o.ref.kind == ObservationKind::HeightDifference) (o.levelled ? levelled : trigonometric) += 1;
  EXPECT_EQ(levelled, 4);
  EXPECT_EQ(trigonometric, 4);
}

TEST(Heights, ABlunderIsNamedByItsLine) {
  const struct {
    const char* blunder;
    const char* line;  // the text the suspect's line starts with
  } cases[] = {{"level K2", "level K2 K3"}, {"za K2", "K2 "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blunder);
    const std::string text = BookOf(c.blunder);
    const BookResult result = Adjusted(text);
    ASSERT_TRUE(result.heightNetwork && result.heightNetwork->suspect);
    const ObservationReport& o =
        result.network->observations[result.heightNetwork->suspect->ref.observation];
    EXPECT_EQ(o.ref.kind, ObservationKind::HeightDifference);
    // The line of the book it names.
    std::size_t start = 0;
    for (int line = 1; line < o.line; ++line) start = text.find('\n', start) + 1;
    EXPECT_EQ(text.compare(start, std::string(c.line).size(), c.line), 0) << text.substr(start, 40);
    EXPECT_TRUE(result.heightNetwork->globalTest.Exceeded());
  }
}

TEST(Heights, WhatFixesNoHeightIsRefusedByName) {
  const struct {
    const char* book;
    const char* message;
  } cases[] = {
      {"point K1 0 0\nlevel K1 M 1.5\nlevel M K1 -1.5\n", "no point the levelling"},
      {"point K1 0 0 10\nlevel K1 M 1.5\nlevel M K1 -1.5\nlevel A B 1\nlevel B A -1\n",
       "do not reach a known height from '"},  // 'A' or 'B', whichever the factor meets first
  };
  for (const auto& c : cases) {
    try {
      Adjusted(c.book);
      ADD_FAILURE() << c.book;
    } catch (const JobError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse
