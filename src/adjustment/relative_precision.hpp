// The precision of a network's points relative to each other, as boundary
// standards judge a survey (ALTA/NSPS: 20 mm + 50 ppm at 95 %): the pairs a
// book's report gives, and their verdicts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "adjustment/job.hpp"
#include "adjustment/survey.hpp"
#include "network/network.hpp"

namespace traverse {

// One pair of the network's points, named, with its verdict by the relative
// tolerance where one is given.
struct RelativeReport : RelativePrecision {
  std::string from, to;
  int line = 0;                   // of its `relative` record; 0 for a pair an observation joins
  std::optional<double> allowed;  // metres: MM + PPM times the distance
  bool passed = true;
  // The 95 % relative positional precision: the semi-major axis of the 95 %
  // relative confidence ellipse.
  double Precision95() const { return ellipse.a * Confidence95; }
};

// The pairs asked for, in the network's places, and the line of the record
// that named each (0 for a pair an observation joins).
struct RelativePairs {
  std::vector<PointPair> pairs;
  std::vector<int> lines;
};

// Every pair of points an observation sights between (a distance's, a
// bearing's or a direction's ends, an angle's station with each of its
// targets), once, unless both are fixed; then each record's pair that is not
// among them. `find` gives a point's place by name, -1 for none. Throws
// JobError on the line of a record naming a point the network does not hold.
RelativePairs PairsOfNetwork(const std::vector<Observation>& observations,
                             const std::vector<NetworkPoint>& points,
                             const std::vector<RelativeRecord>& records,
                             const std::function<int(const std::string&)>& find);

// The network's figures for `asked`, named by `name`, each judged by
// `tolerance` where one is given: its millimetres in the network's length
// unit, of `metresPerUnit` metres.
std::vector<RelativeReport> JudgeRelative(const RelativePairs& asked,
                                          const std::vector<RelativePrecision>& figures,
                                          const std::function<std::string(int)>& name,
                                          const std::optional<RelativeTolerance>& tolerance,
                                          double metresPerUnit = 1);

}  // namespace traverse
