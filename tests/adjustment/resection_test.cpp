#include "network/resection.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace traverse {
namespace {

// A free station resected from targets sighted from the true station with
// its circle turned by `orientation`, distances where `ranged`.
FreeStation FromTruth(const GridPoint& station, double orientation,
                      const std::vector<GridPoint>& targets, std::size_t ranged = 0) {
  std::vector<ResectionTarget> sights;
  for (const GridPoint& t : targets) {
    const equations::Line line(station, t);
    sights.push_back({t, WithinTurn(line.Bearing() - orientation), {}});
    if (sights.size() <= ranged) sights.back().distance = std::hypot(line.dx, line.dy);
  }
  return Resect(sights);
}

TEST(Resect, PlacesAndOrientsTheStation) {
  const GridPoint station{5000, 3000};
  const struct {
    const char* name;
    double orientation;
    std::vector<GridPoint> targets;
    std::size_t ranged;
  } cases[] = {
      {"three directions round the station", 123.4567, {{5400, 3100}, {4700, 3350}, {4800, 2600}}, 0},
      {"three directions to one side", 0.0003, {{5400, 3500}, {5600, 3000}, {5300, 2400}}, 0},
      {"four directions", 399.9991, {{5400, 3500}, {5600, 3000}, {5300, 2400}, {4500, 2900}}, 0},
      {"two distances, either side", 250.5, {{5200, 3300}, {4700, 2800}}, 2},
      {"two distances and a direction", 399.9996, {{5200, 3300}, {5100, 2700}, {4400, 3100}}, 2},
  };
  for (const auto& kase : cases) {
    SCOPED_TRACE(kase.name);
    const FreeStation found = FromTruth(station, kase.orientation, kase.targets, kase.ranged);
    EXPECT_NEAR(found.station.x, station.x, 1e-6);
    EXPECT_NEAR(found.station.y, station.y, 1e-6);
    EXPECT_TRUE(found.orientation >= 0 && found.orientation < 400) << found.orientation;
    EXPECT_NEAR(NextTo(found.orientation, kase.orientation), kase.orientation, 1e-7);
  }
}

// Engineering Surveying, Module 7 "Resection", Example 1 (Collins' method):
// from L, M-L-A 145°, A-L-B 85° and B-L-M 130° clockwise; L is X 310.678,
// Y 303.913 (310.677 by its second way).
TEST(Resect, PublishedExample) {
  const double gonPerDegree = 400.0 / 360;
  const FreeStation found = Resect({{{553.630, 294.678}, 0, {}},
                                    {{143.556, 430.659}, 145 * gonPerDegree, {}},
                                    {{191.406, 172.268}, 230 * gonPerDegree, {}}});
  EXPECT_NEAR(found.station.x, 310.678, 0.0005);
  EXPECT_NEAR(found.station.y, 303.913, 0.0005);
}

// Four targets on a circle with the station, or in line with it: refused,
// with every target named.
TEST(Resect, RefusesTheDangerCircle) {
  const GridPoint centre{1000, 1000};
  auto on = [&](double gon, double radius) { return PolarPoint(centre, 0, gon, radius); };
  const struct {
    const char* name;
    GridPoint station;
    std::vector<GridPoint> targets;
  } cases[] = {
      {"on the circle", on(10, 500), {on(90, 500), on(170, 500), on(260, 500), on(330, 500)}},
      {"a decimetre off it", on(10, 500.1), {on(90, 500), on(170, 500), on(260, 500)}},
      {"on a line", {0, 0}, {{100, 100}, {200, 200}, {-300, -300}}},
  };
  for (const auto& kase : cases) {
    SCOPED_TRACE(kase.name);
    try {
      FromTruth(kase.station, 55.5, kase.targets);
      ADD_FAILURE() << "resected";
    } catch (const DangerCircle& error) {
      EXPECT_EQ(error.targets().size(), kase.targets.size());
      EXPECT_EQ(error.targets().back(), static_cast<int>(kase.targets.size()) - 1);
    }
  }
}

}  // namespace
}  // namespace traverse
