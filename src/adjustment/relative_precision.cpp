#include "adjustment/relative_precision.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "adjustment/job_error.hpp"

namespace traverse {
namespace {

std::uint64_t Key(int a, int b) {
  const auto [low, high] = std::minmax(a, b);
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(low)) << 32 |
         static_cast<std::uint32_t>(high);
}

}  // namespace

RelativePairs PairsOfNetwork(const std::vector<Observation>& observations,
                             const std::vector<NetworkPoint>& points,
                             const std::vector<RelativeRecord>& records,
                             const std::function<int(const std::string&)>& find) {
  RelativePairs asked;
  std::unordered_set<std::uint64_t> seen;
  seen.reserve(observations.size() * 2 + records.size());
  const auto add = [&](int from, int to, int line) {
    if (from == to || !seen.insert(Key(from, to)).second) return;
    asked.pairs.push_back({from, to});
    asked.lines.push_back(line);
  };
  const auto fixed = [&](int p) { return points[static_cast<std::size_t>(p)].fixed; };
  for (const Observation& o : observations) {
    const int station = o.kind == ObservationKind::Angle ? o.at : o.from;
    for (const int target : {o.kind == ObservationKind::Angle ? o.from : -1, o.to})
      if (target >= 0 && !(fixed(station) && fixed(target))) add(station, target, 0);
  }
  for (const RelativeRecord& record : records) {
    int ends[2] = {};
    for (int k = 0; k < 2; ++k) {
      const std::string& name = k == 0 ? record.from : record.to;
      ends[k] = find(name);
      if (ends[k] < 0)
        throw JobError(record.line, "relative: '" + name +
                                        "' is no point of the network (a known point or one "
                                        "the observations reach)");
    }
    add(ends[0], ends[1], record.line);
  }
  return asked;
}

std::vector<RelativeReport> JudgeRelative(const RelativePairs& asked,
                                          const std::vector<RelativePrecision>& figures,
                                          const std::function<std::string(int)>& name,
                                          const std::optional<RelativeTolerance>& tolerance,
                                          double metresPerUnit) {
  std::vector<RelativeReport> reports;
  reports.reserve(figures.size());
  for (std::size_t i = 0; i < figures.size() && i < asked.pairs.size(); ++i) {
    RelativeReport& r = reports.emplace_back();
    static_cast<RelativePrecision&>(r) = figures[i];
    r.from = name(asked.pairs[i].from);
    r.to = name(asked.pairs[i].to);
    r.line = asked.lines[i];
    if (!tolerance) continue;
    r.allowed = tolerance->millimetres / 1000 / metresPerUnit + tolerance->ppm * 1e-6 * r.distance;
    r.passed = r.Precision95() <= *r.allowed;
  }
  return reports;
}

}  // namespace traverse
