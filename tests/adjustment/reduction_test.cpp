// The reduction of a book's readings, against figures worked by hand.
#include "adjustment/reduction.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace traverse {
namespace {

// A book holding `readings`, and the run of all of them.
ReadingRun Hold(Book& book, std::initializer_list<double> readings) {
  const ReadingRun run{static_cast<std::uint32_t>(book.readings.size()),
                       static_cast<std::uint32_t>(readings.size())};
  book.readings.insert(book.readings.end(), readings);
  return run;
}

TEST(Reduction, AnglesAreUnwrappedAroundTheFirstReading) {
  const struct {
    std::initializer_list<double> readings;
    double mean, spread;
  } cases[] = {
      {{399.9990, 0.0010}, 0, 0.0020},          // across zero: not 200
      {{0.0010, 399.9990, 0.0040}, 0.0040 / 3, 0.0050},
      {{123.4560}, 123.4560, 0},
      {{-0.0010}, 399.9990, 0},                 // one reading, normalised
  };
  for (const auto& c : cases) {
    Book book;
    Measured angle;
    angle.readings = Hold(book, c.readings);
    ReduceAngle(angle, book.Of(angle.readings));
    EXPECT_NEAR(angle.value, c.mean, 1e-12) << c.mean;
    EXPECT_NEAR(angle.summary.spread, c.spread, 1e-12) << c.mean;
    EXPECT_EQ(angle.summary.count, static_cast<int>(c.readings.size()));
  }
}

TEST(Reduction, SlopeLegsGiveLengthHeightAndIndexError) {
  // dH = SD cos z + (1 - k) HD^2 / 2R + hi - ht, R = 6371 km, k = 0.13.
  const double rho = std::numbers::pi / 200;
  const double curvature = 0.87 * 100.0 * 100.0 / (2 * 6371000.0);
  const struct {
    std::initializer_list<double> slope, zenith;
    std::optional<double> hi, ht;
    double length, dh, zenithMean;
    std::optional<double> indexError;
  } cases[] = {
      {{100}, {100}, 1.5, 1.5, 100, curvature, 100, std::nullopt},
      {{100}, {100}, 1.6, std::nullopt, 100, curvature + 1.6, 100, std::nullopt},
      // Face one reads 99.9990, face two 300.0030: the mean 99.9980, the
      // index error half of 0.0020.
      {{100.002, 99.998}, {99.9990, 300.0030}, std::nullopt, std::nullopt,
       100 * std::sin(99.998 * rho), 100 * std::cos(99.998 * rho) + curvature, 99.998, 0.0010},
  };
  for (const auto& c : cases) {
    Book book;
    BookLeg leg;
    leg.slope = Hold(book, c.slope);
    leg.zenith = Hold(book, c.zenith);
    leg.hi = c.hi;
    leg.ht = c.ht;
    ReduceLeg(leg, book, StandardRefraction);
    EXPECT_NEAR(leg.length, c.length, 1e-9);
    ASSERT_TRUE(leg.dh);
    EXPECT_NEAR(*leg.dh, c.dh, 1e-9);
    EXPECT_NEAR(leg.zenithMean.value_or(0), c.zenithMean, 1e-12);
    EXPECT_NEAR(leg.slopeMean.value_or(0), 100, 1e-12);
    EXPECT_EQ(leg.indexError.has_value(), c.indexError.has_value());
    if (c.indexError) {
      EXPECT_NEAR(*leg.indexError, *c.indexError, 1e-9);
    }
  }
}

}  // namespace
}  // namespace traverse
