// A network of setups written from true coordinates, read, reduced and
// adjusted: a free station placed by resection, a setup on a known point,
// sets of two rounds in both faces and a sideshot from each station.
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "input/field_book.hpp"

namespace traverse {
namespace {

constexpr double rho = 63.661977236758134308;  // gon per radian

using Points = std::map<std::string, GridPoint>;

const Points truth = {{"K1", {5000, 5000}},     {"K2", {5000, 5800}}, {"K3", {5600, 5350}},
                      {"S1", {5250, 5300}},     {"P", {5400, 5600}},  {"T1", {5270.5, 5321.25}},
                      {"T2", {5580.25, 5391.5}}, {"Q1", {5150, 4850}},  {"Q2", {5400, 4950}},
                      // On the circle through K1, K2 and K3 (centre 5168.75, 5400).
                      {"F", {5168.75 + 434.139375, 5400}}};

double Bearing(const Points& at, const std::string& from, const std::string& to) {
  const double t = std::atan2(at.at(to).y - at.at(from).y, at.at(to).x - at.at(from).x) * rho;
  return t < 0 ? t + 400 : t;
}
double Distance(const Points& at, const std::string& from, const std::string& to) {
  return std::hypot(at.at(to).x - at.at(from).x, at.at(to).y - at.at(from).y);
}

struct Sight {
  std::string target;
  bool distance;
};
struct Station {
  std::string name;
  double zero;  // the circle's orientation, gon
  std::vector<Sight> rounds;
  std::string sideshot = "";
  std::string blundered = "";  // every reading to this target 50 cc off
};
const std::vector<Station> stations = {
    {"S1", 123.4567, {{"K1", false}, {"K2", false}, {"K3", false}, {"P", true}}, "T1"},
    {"K3", 387.6543, {{"K1", false}, {"P", true}, {"S1", true}}, "T2"},
};

// The book: two rounds at each setup, face one then face two in reverse, the
// sideshot read once after them; `noise` (gon, m) added to the directions
// and distances in a fixed pattern.
std::string BookOf(double noise, const std::vector<Station>& setups = stations) {
  std::string book = "unit gon\nsigma direction 2\nsigma length 2 2\n";
  const auto add = [&book](const char* format, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    book += text;
  };
  for (const char* name : {"K1", "K2", "K3"}) add("point %s %.3f %.3f\n", name, truth.at(name).x, truth.at(name).y);
  int k = 0;
  const auto wobble = [&](bool noisy) { return noisy ? noise * ((k++ * 7) % 5 - 2) / 2 : 0; };
  for (const Station& s : setups) {
    const auto sight = [&](const std::string& target, int face, bool distance, bool noisy) {
      add("%s %.9f%s", target.c_str(),
          std::fmod(Bearing(truth, s.name, target) - s.zero + wobble(noisy) +
                        (target == s.blundered ? 0.005 : 0) + (face == 2 ? 200 : 0) + 800, 400),
          face == 2 ? " face=2" : "");
      if (distance) add(" hd=%.9f", Distance(truth, s.name, target) + wobble(noisy) / 100);
    };
    add("setup %s\n", s.name.c_str());
    for (int round = 0; round < 2; ++round)
      for (int face = 1; face <= 2; ++face)
        for (std::size_t i = 0; i < s.rounds.size(); ++i) {
          const Sight& r = s.rounds[face == 1 ? i : s.rounds.size() - 1 - i];
          sight(r.target, face, r.distance, true);
          book += "\n";
        }
    if (!s.sideshot.empty()) {
      sight(s.sideshot, 1, true, false);
      book += " code=MARK \"corner # 1\"\n";
    }
    book += "end\n";
  }
  return book;
}

BookResult Adjusted(const std::string& text, Rule rule = Rule::LeastSquares) {
  Book book = ReadFieldBook(text, "setups", {});
  ReduceBook(book);
  Settings settings;
  settings.rule = rule;
  return AdjustBook(book, settings);
}

const GridPoint* Find(const BookResult& result, const std::string& name) {
  for (const NewPoint& p : result.points)
    if (p.point.name == name) return &p.point.xy;
  for (const Sideshot& s : result.sideshots)
    if (s.name == name) return &s.xy;
  return nullptr;
}

void ExpectTrueCoordinates(const BookResult& result, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const GridPoint* xy = Find(result, name);
    ASSERT_NE(xy, nullptr);
    EXPECT_NEAR(xy->x, truth.at(name).x, 1e-6);
    EXPECT_NEAR(xy->y, truth.at(name).y, 1e-6);
  }
}

TEST(Setups, AFreeStationAndSideshotsReturnToTheirTrueCoordinates) {
  const BookResult result = Adjusted(BookOf(0));
  ASSERT_TRUE(result.network);
  EXPECT_EQ(result.network->redundancy, 4);  // 7 directions and 3 distances; S1, P, 2 orientations
  EXPECT_EQ(result.sideshots.size(), 2u);
  ExpectTrueCoordinates(result, {"S1", "P", "T1", "T2"});
  ASSERT_EQ(result.setups.size(), 2u);
  for (std::size_t s = 0; s < 2; ++s)  // the bearing of its reference direction, the first target
    EXPECT_NEAR(*result.setups[s].orientation,
                Bearing(truth, stations[s].name, stations[s].rounds[0].target), 1e-7);
  EXPECT_EQ(result.sideshots[0].description, "corner # 1");
  EXPECT_EQ(result.sideshots[0].code, "MARK");
}

// The sideshots' sigmas against a dense propagation: the normal matrix of
// the network in its six unknowns (S1 and P, the two orientations) by
// numerical derivatives, inverted whole, scaled by sigma0 squared.
TEST(Setups, ASideshotsSigmaIsItsStationsAndOrientationsAndItsOwn) {
  const BookResult result = Adjusted(BookOf(0.0004));
  ASSERT_TRUE(result.network);
  Points at = truth;
  for (const char* name : {"S1", "P"}) at[name] = *Find(result, name);
  Eigen::VectorXd p(6);
  p << at["S1"].x, at["S1"].y, at["P"].x, at["P"].y, *result.setups[0].orientation,
      *result.setups[1].orientation;
  const double sd = 0.0002;  // a face pair's; a direction is the mean of two rounds
  struct Row {
    std::string from, target;
    Eigen::Index orientation;
    double sigma;  // 0 for a direction
  };
  std::vector<Row> rows;
  Eigen::Index orientation = 4;
  for (const Station& station : stations) {
    for (const Sight& sight : station.rounds) {
      rows.push_back({station.name, sight.target, orientation, 0});
      if (sight.distance)
        rows.push_back({station.name, sight.target, orientation,
                        0.002 + 2e-6 * Distance(at, station.name, sight.target)});
    }
    ++orientation;
  }
  // Each observation computed at q, divided by its sigma.
  const auto values = [&](const Eigen::VectorXd& q) {
    Points moved = at;
    moved["S1"] = {q[0], q[1]};
    moved["P"] = {q[2], q[3]};
    Eigen::VectorXd v(static_cast<Eigen::Index>(rows.size()));
    Eigen::Index i = 0;
    for (const Row& r : rows)
      v[i++] = r.sigma > 0 ? Distance(moved, r.from, r.target) / r.sigma
                           : (Bearing(moved, r.from, r.target) - q[r.orientation]) * std::sqrt(2.0) / sd;
    return v;
  };
  Eigen::MatrixXd a(rows.size(), 6);
  for (int j = 0; j < 6; ++j) {
    Eigen::VectorXd h = Eigen::VectorXd::Zero(6);
    h[j] = 1e-4;
    a.col(j) = (values(p + h) - values(p - h)) / 2e-4;
  }
  const Eigen::MatrixXd q = (a.transpose() * a).inverse() * std::pow(result.network->sigma0, 2);
  for (std::size_t s = 0; s < 2; ++s) {
    SCOPED_TRACE(stations[s].sideshot);
    const Sideshot& shot = result.sideshots[s];
    ASSERT_TRUE(shot.precision);
    const double t = Bearing(at, stations[s].name, stations[s].sideshot) / rho;
    const double d = Distance(at, stations[s].name, stations[s].sideshot);
    // By S1's x and y (the first setup's station; K3 is fixed) and the orientation.
    Eigen::MatrixXd j = Eigen::MatrixXd::Zero(2, 6);
    if (s == 0) j(0, 0) = j(1, 1) = 1;
    const Eigen::Index o = 4 + static_cast<Eigen::Index>(s);
    j(0, o) = -d * std::sin(t) / rho;
    j(1, o) = d * std::cos(t) / rho;
    const Eigen::Matrix2d network = j * q * j.transpose();
    const double own = 2 * sd * sd;  // one pointing in one face: a pair's sigma times root 2
    const double length = 0.002 + 2e-6 * d;
    const double xx = network(0, 0) + own * j(0, o) * j(0, o) + std::pow(length * std::cos(t), 2);
    const double yy = network(1, 1) + own * j(1, o) * j(1, o) + std::pow(length * std::sin(t), 2);
    EXPECT_NEAR(shot.precision->sx, std::sqrt(xx), 1e-4 * std::sqrt(xx));
    EXPECT_NEAR(shot.precision->sy, std::sqrt(yy), 1e-4 * std::sqrt(yy));
  }
}

// A chain of setups from K1 oriented on K2 through Q1 and Q2 to K3 oriented
// on K2 again is a connecting traverse: the compass rule adjusts it, and
// read without error it closes to nothing.
TEST(Setups, AChainOfSetupsIsATraverse) {
  const std::vector<Station> chain = {{"K1", 12.5, {{"K2", false}, {"Q1", true}}},
                                      {"Q1", 250, {{"K1", true}, {"Q2", true}}},
                                      {"Q2", 399.5, {{"Q1", true}, {"K3", true}}},
                                      {"K3", 0.25, {{"Q2", true}, {"K2", false}}}};
  for (const Rule rule : {Rule::Compass, Rule::LeastSquares}) {
    const BookResult result = Adjusted(BookOf(0, chain), rule);
    ASSERT_EQ(result.traverses.size(), 1u);
    const Adjustment& first = result.traverses[0].result;
    EXPECT_EQ(result.traverses[0].job.kind, TraverseKind::Connecting);
    EXPECT_EQ(result.traverses[0].job.angles.size(), 4u);
    ASSERT_TRUE(first.angularMisclosure && first.linear);
    EXPECT_NEAR(*first.angularMisclosure, 0, 1e-7);
    ExpectTrueCoordinates(result, {"Q1", "Q2"});
  }
}

TEST(Setups, ADangerCircleIsRefusedAndABlunderedDirectionNamed) {
  try {
    Adjusted(BookOf(0, {{"F", 10, {{"K1", false}, {"K2", false}, {"K3", false}}}}));
    ADD_FAILURE() << "the danger circle was not refused";
  } catch (const JobError& error) {
    EXPECT_EQ(error.line(), 7);  // the setup record, after three records and three points
    EXPECT_NE(std::string(error.what()).find("'K1', 'K2', 'K3' lie on one circle"), std::string::npos)
        << error.what();
  }
  std::vector<Station> blundered = stations;
  blundered[0].blundered = "K2";
  const BookResult result = Adjusted(BookOf(0.0004, blundered));
  ASSERT_TRUE(result.network && result.network->suspect);
  const ObservationReport& suspect = result.network->observations[result.network->suspect->ref.observation];
  EXPECT_EQ(suspect.ref.kind, ObservationKind::Direction);
  EXPECT_EQ(suspect.to, "K2");
  EXPECT_EQ(suspect.line, 9);  // its first pointing, in the setup on line 7
}

}  // namespace
}  // namespace traverse
