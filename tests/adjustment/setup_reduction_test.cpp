// The reduction of a setup's rounds of directions, against figures worked by
// hand (gon; 1 cc = 0.0001 gon).
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"

namespace traverse {
namespace {

struct Pointing {
  std::string target;
  double hz;
  int face = 1;
  std::optional<double> zenith = {}, slope = {}, ht = {};
};

// A setup on S at line 10 whose pointings are on lines 11, 12, ...
BookSetup Pointed(const std::vector<Pointing>& pointings, std::optional<double> hi = {}) {
  BookSetup setup;
  setup.station = "S";
  setup.line = 10;
  setup.hi = hi;
  for (const Pointing& p : pointings)  // clang-format off
    setup.readings.push_back({p.target, 11 + static_cast<int>(setup.readings.size()), p.hz, p.zenith,
                              p.slope, {}, p.ht, p.face, {}, {}});  // clang-format on
  return setup;
}

const SetupDirection& Direction(const BookSetup& setup, const std::string& target) {
  for (const SetupDirection& direction : setup.directions)
    if (direction.target == target) return direction;
  throw std::logic_error("no direction to " + target);
}

TEST(SetupReduction, TwoRoundsOfThreeTargetsWithSideshots) {
  // Round 1: A 0.0010 | 199.9990 -> c 10 cc, mean 0.0000; B 50.0030 | 250.0010
  // -> c 10 cc, 50.0020; C 120.0050 | 320.0030 -> c 10 cc, 120.0040.
  // Round 2: A 100.0012 | 300.0008 -> c 2 cc, 100.0010; B 150.0028 | 350.0008
  // -> 150.0018, reduced 50.0008; C 220.0060 | 20.0040 -> 220.0050, 120.0040.
  // Mean c = 52 cc / 6. B 50.0014, spread 12 cc; C 120.0040, spread 0.
  // Residuals (x - r) - mean: round 1 (2, -4, 2) cc, round 2 (-2, 4, -2) cc;
  // [vv] = 48 cc², dof (2 - 1)(3 - 1) = 2, s = sqrt(24) cc.
  // A's i: (98.0005 + 301.9985 - 400) / 2 = -5 cc, then -4 cc: mean -4.5 cc;
  // its zenith the mean of its pairs 98.0010 and 98.0015.
  // D, face one once after round 1: 75.0030 - c - 0.0000; za 101.0000 - i;
  // HD = 50 cos(1.00045 gon) = 49.993826, dH = -50 sin(1.00045 gon) +
  // 0.87 HD² / 2R + 1.6 - 1.3 = -0.785707 + 0.000171 + 0.3.
  // E, face two once in round 2: 330.0020 - 200 + c - 100.0010.
  // clang-format off
  BookSetup setup = Pointed({
      {"A", 0.0010, 1, 98.0005, 120.004}, {"B", 50.0030}, {"C", 120.0050},
      {"C", 320.0030, 2}, {"B", 250.0010, 2}, {"A", 199.9990, 2, 301.9985, 120.002},
      {"D", 75.0030, 1, 101.0000, 50.000, 1.3},
      {"A", 100.0012, 1, 98.0011}, {"B", 150.0028}, {"C", 220.0060}, {"E", 330.0020, 2},
      {"C", 20.0040, 2}, {"B", 350.0008, 2}, {"A", 300.0008, 2, 301.9981}}, 1.6);
  // clang-format on
  ReduceSetup(setup, StandardRefraction);
  const double c = 0.0052 / 6, tolerance = 1e-9;
  EXPECT_NEAR(setup.collimation, c, tolerance);
  EXPECT_NEAR(setup.indexError.value_or(0), -0.00045, tolerance);
  ASSERT_EQ(setup.pairs.size(), 6u);  // round 1's A, B, C, then round 2's
  EXPECT_NEAR(setup.pairs[3].collimation, 0.0002, tolerance);
  EXPECT_NEAR(setup.pairs[3].indexError.value_or(0), -0.0004, tolerance);
  EXPECT_EQ(setup.pairs[3].lineII, 24);
  ASSERT_EQ(setup.rounds.size(), 2u);
  EXPECT_EQ(setup.rounds[1].firstLine, 18);
  EXPECT_NEAR(setup.directionSigma.value_or(0), std::sqrt(24.0) * 1e-4, tolerance);
  EXPECT_EQ(setup.degreesOfFreedom, 2);
  for (const SetupRound& round : setup.rounds) {
    EXPECT_NEAR(round.largestResidual, 0.0004, tolerance);
    EXPECT_FALSE(round.flagged);
  }
  const struct {
    std::string target;
    double direction, spread;
    int rounds;
    bool oneFace;
  } directions[] = {{"A", 0, 0, 2, false},
                    {"B", 50.0014, 0.0012, 2, false},
                    {"C", 120.0040, 0, 2, false},
                    {"D", 75.0030 - c, 0, 1, true},
                    {"E", 30.0010 + c, 0, 1, true}};
  ASSERT_EQ(setup.directions.size(), 5u);
  for (const auto& expected : directions) {
    const SetupDirection& direction = Direction(setup, expected.target);
    EXPECT_NEAR(direction.direction, expected.direction, tolerance) << expected.target;
    EXPECT_NEAR(direction.spread, expected.spread, tolerance) << expected.target;
    EXPECT_EQ(direction.rounds, expected.rounds) << expected.target;
    EXPECT_EQ(direction.oneFace, expected.oneFace) << expected.target;
  }
  const SetupDirection& a = Direction(setup, "A");
  EXPECT_NEAR(a.zenith.value_or(0), 98.00125, tolerance);
  EXPECT_NEAR(a.slope.value_or(0), 120.003, tolerance);
  EXPECT_FALSE(a.dh);  // no ht read for A
  const SetupDirection& d = Direction(setup, "D");
  EXPECT_NEAR(d.zenith.value_or(0), 101.00045, tolerance);
  EXPECT_NEAR(d.horizontal.value_or(0), 49.993826, 1e-6);
  EXPECT_NEAR(d.dh.value_or(0), -0.485549, 1e-6);
}

TEST(SetupReduction, DirectionsAcrossZeroAndAOneFaceSetMissingATarget) {
  // Across zero: round 1 A 399.9990 | 199.9990, B 100.0000, C 399.9980 ->
  // reduced B 100.0010, C 399.9990; round 2 A 0.0010, B 100.0010, C 0.0010 ->
  // B 100.0000, C 0.0000 = 400.0000 next to 399.9990. Means B 100.0005,
  // C 399.9995, spreads 10 cc; v = (0, -5, 5) and (0, 5, -5) cc,
  // s = sqrt(100 / 2) cc.
  // Face one only, round 2 without B: reduced B 50.0010, -, 50.0006; C
  // 140.0020, 140.0026, 140.0024. Sigma from rounds 1 and 3: x = 50.0008,
  // 140.0022, v = (0, -2, 2) and (0, 2, -2) cc, s = sqrt(16 / 2) cc; round 2
  // against those means: (0, -4) cc less their mean, 2 cc.
  // clang-format off
  BookSetup wrap = Pointed({
      {"A", 399.9990}, {"B", 100.0000}, {"C", 399.9980},
      {"C", 199.9980, 2}, {"B", 300.0000, 2}, {"A", 199.9990, 2},
      {"A", 0.0010}, {"B", 100.0010}, {"C", 0.0010},
      {"C", 200.0010, 2}, {"B", 300.0010, 2}, {"A", 200.0010, 2}});
  BookSetup oneFace = Pointed({
      {"A", 10.0000, 1, 100.0020}, {"B", 60.0010}, {"C", 150.0020},
      {"A", 110.0005}, {"C", 250.0031},
      {"A", 210.0010}, {"B", 260.0016}, {"C", 350.0034}});
  // clang-format on
  const struct {
    BookSetup* setup;
    double b, c, spreadB, spreadC, sigma, secondResidual;
    std::size_t rounds;
    bool oneFace;
  } cases[] = {
      {&wrap, 100.0005, 399.9995, 0.0010, 0.0010, std::sqrt(50.0) * 1e-4, 0.0005, 2, false},
      {&oneFace, 50.0008, 140 + 0.0070 / 3, 0.0004, 0.0006, std::sqrt(8.0) * 1e-4, 0.0002, 3,
       true}};
  for (const auto& expected : cases) {
    BookSetup& setup = *expected.setup;
    ReduceSetup(setup, StandardRefraction);
    EXPECT_NEAR(Direction(setup, "B").direction, expected.b, 1e-9);
    EXPECT_NEAR(Direction(setup, "C").direction, expected.c, 1e-9);
    EXPECT_NEAR(Direction(setup, "B").spread, expected.spreadB, 1e-9);
    EXPECT_NEAR(Direction(setup, "C").spread, expected.spreadC, 1e-9);
    EXPECT_NEAR(setup.directionSigma.value_or(0), expected.sigma, 1e-9);
    EXPECT_EQ(setup.degreesOfFreedom, 2);
    ASSERT_EQ(setup.rounds.size(), expected.rounds);
    EXPECT_NEAR(setup.rounds[1].largestResidual, expected.secondResidual, 1e-9);
    EXPECT_EQ(Direction(setup, "C").oneFace, expected.oneFace);
  }
  EXPECT_EQ(oneFace.pairs.size(), 0u);
  EXPECT_EQ(oneFace.collimation, 0);
  EXPECT_FALSE(oneFace.indexError);
  EXPECT_NEAR(Direction(oneFace, "A").zenith.value_or(0), 100.0020, 1e-12);
}

TEST(SetupReduction, ABlunderInOneRoundIsFlagged) {
  // Five rounds of five targets read without error but for 50 cc on the third
  // target in round 3: x3 is 10 cc high, v = 50 (4/5)(4/5) = 32 cc there,
  // 50 (4/5) / 5 = 8 cc elsewhere in round 3 and 50 (1/5)(4/5) = 8 cc on the
  // third target elsewhere; [vv] = 32² + 4·8² + 4 (8² + 4·2²) = 1600 cc²,
  // dof 16, s = 10 cc, and only 32 cc exceeds 3 s.
  std::vector<Pointing> pointings;
  const double targets[] = {0, 61.2345, 130.5000, 245.0050, 333.3333};
  for (int round = 0; round < 5; ++round)
    for (int face = 0; face < 2; ++face)
      for (int t = 0; t < 5; ++t) {
        const int target = face == 0 ? t : 4 - t;
        const double blunder = round == 2 && target == 2 ? 0.0050 : 0;
        pointings.push_back({std::string(1, static_cast<char>('A' + target)),
                             NormalisedGon(targets[target] + 80 * round + 200 * face + blunder),
                             face + 1});
      }
  BookSetup setup = Pointed(pointings);
  ReduceSetup(setup, StandardRefraction);
  EXPECT_NEAR(setup.directionSigma.value_or(0), 0.0010, 1e-9);
  EXPECT_EQ(setup.degreesOfFreedom, 16);
  EXPECT_NEAR(Direction(setup, "C").direction, 130.5010, 1e-9);
  EXPECT_NEAR(Direction(setup, "C").spread, 0.0050, 1e-9);
  ASSERT_EQ(setup.rounds.size(), 5u);
  for (const SetupRound& round : setup.rounds) {
    EXPECT_NEAR(round.largestResidual, round.number == 3 ? 0.0032 : 0.0008, 1e-9);
    EXPECT_EQ(round.flagged, round.number == 3);
  }
}

TEST(SetupReduction, OrdersThatCannotBePairedAreRefusedOnTheirLine) {
  const struct {
    BookSetup setup;
    int line;
    std::string message;
  } cases[] = {
      // clang-format off
      // A twice in face one before face two: round 1 would be A B in face one.
      {Pointed({{"A", 0}, {"B", 50}, {"A", 0}, {"C", 90}, {"C", 290, 2}, {"B", 250, 2}, {"A", 200, 2}}),
       13, "'A' is read again before round 1 is read in the other face"},
      // Closing the horizon on A is not a round.
      {Pointed({{"A", 0}, {"B", 50}, {"C", 90}, {"A", 0},
                {"A", 200, 2}, {"C", 290, 2}, {"B", 250, 2}, {"A", 200, 2}}),
       14, "'A' is read again before round 1"},
      {Pointed({{"A", 0}, {"B", 50}, {"C", 90}, {"C", 290, 2}, {"A", 200, 2}, {"A", 200, 2}, {"B", 250, 2}}),
       16, "'A' is read again in face two before 'B' is read in face two in round 1"},
      {Pointed({{"A", 0}, {"B", 50}, {"C", 90}, {"C", 290, 2}, {"B", 250, 2}, {"A", 200, 2},
                {"B", 50}, {"C", 90}, {"C", 290, 2}, {"B", 250, 2}}),
       17, "round 2 (from here) does not read 'A'"},
      {Pointed({{"A", 0, 1, 100, 10, 1.5}, {"A", 200, 2, 300, 10, 1.3}}), 12,
       "'A' is read here with a target height other than on line 11"},
      {Pointed({}), 10, "reads no target"},
      // clang-format on
  };
  for (const auto& c : cases) {
    BookSetup setup = c.setup;
    try {
      ReduceSetup(setup, StandardRefraction);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const JobError& error) {
      EXPECT_EQ(error.line(), c.line) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace traverse

namespace traverse {
namespace {

// Thousands of targets in one setup, whose names share the slots of its
// table and probe on: each pointing still finds its own direction. Two
// rounds of 40 targets in both faces (c = -2.5 gon), 3000 sideshots after
// them.
TEST(SetupReduction, ManyTargetsEachFindTheirOwnDirection) {
  std::vector<Pointing> pointings;
  for (int round = 0; round < 2; ++round) {
    for (int t = 0; t < 40; ++t)
      pointings.push_back({"T" + std::to_string(t), 5.0 * t + 0.0002 * round});
    for (int t = 39; t >= 0; --t)
      pointings.push_back({"T" + std::to_string(t), 205.0 + 5.0 * t + 0.0002 * round, 2});
    for (int s = 0; s < 1500; ++s)
      pointings.push_back({"S" + std::to_string(round * 1500 + s), 0.01 * s});
  }
  BookSetup setup = Pointed(pointings);
  ReduceSetup(setup, 0.13);
  ASSERT_EQ(setup.directions.size(), 3040u);
  EXPECT_EQ(setup.rounds.size(), 2u);
  EXPECT_EQ(setup.pairs.size(), 80u);
  for (int t = 0; t < 40; ++t) {
    const SetupDirection& d = Direction(setup, "T" + std::to_string(t));
    EXPECT_EQ(d.rounds, 2) << t;
    EXPECT_NEAR(d.direction, 5.0 * t, 1e-9) << t;
  }
  EXPECT_EQ(Direction(setup, "S2999").rounds, 1);
  EXPECT_EQ(Direction(setup, "S2999").line, 11 + 2 * 1580 - 1);
}

}  // namespace
}  // namespace traverse
