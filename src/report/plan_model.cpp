#include "report/plan_model.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "report/number_text.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"

namespace traverse {
namespace {

// An empty plan titled by the book's name, headed with what it shows (`what`)
// and the rule.
PlanModel Titled(const BookResult& book, const std::string& what, Rule rule) {
  PlanModel plan;
  plan.lengthUnit = LengthUnitName(book.settings.length);
  plan.title = book.source.empty() ? "traverse" : book.source;
  plan.heading = plan.title + " (" + what + ", " + RuleName(rule) + ")";
  return plan;
}

// A traverse's route through its stations, with their heights where carried.
PlanTraverse RouteOf(const BookTraverseResult& traverse, std::optional<double> startZ) {
  const Job& job = traverse.job;
  const Adjustment& result = traverse.result;
  const std::optional<HeightResult>& heights = result.heights;
  PlanTraverse plan;
  plan.name = traverse.name;
  plan.loop = result.kind == TraverseKind::Loop;
  plan.route = {job.b};
  plan.z = {heights ? startZ : std::nullopt};
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    plan.route.push_back(result.points[i]);
    plan.z.push_back(heights && i < heights->z.size() ? std::optional(heights->z[i]) : std::nullopt);
  }
  if (result.kind != TraverseKind::Open) {
    plan.route.push_back(plan.loop ? job.b : job.c);
    plan.z.push_back(heights ? std::optional(heights->lastZ) : std::nullopt);
    plan.misclosure = result.linear;
  }
  return plan;
}

}  // namespace

PlanBuilder::PlanBuilder(const BookResult& book) : book_(book) {
  for (const NamedPoint& point : book.known) where_[point.name].point = &point;
  for (const NewPoint& point : book.points) where_[point.point.name].computed = &point;
  for (std::size_t t = 0; t < book.traverses.size(); ++t) {
    const std::vector<std::string>& stations = book.traverses[t].job.stations;
    for (std::size_t i = 1; i < stations.size(); ++i) {
      const Where* where = Find(stations[i]);
      if (where && where->computed && !where->point) computedBy_.emplace(stations[i], t);
    }
  }
}

const PlanBuilder::Where* PlanBuilder::Find(const std::string& name) const {
  const auto found = where_.find(name);
  return found == where_.end() ? nullptr : &found->second;
}

PlanModel PlanBuilder::Whole() const {
  const std::size_t count = book_.traverses.size();
  // A network's plan holds its free observations too: it is not one traverse's.
  const std::string traverses = count == 1 && !book_.network
                                    ? "traverse " + ValidUtf8(book_.traverses[0].name)
                                    : IntegerText(static_cast<int>(count)) +
                                          (count == 1 ? " traverse" : " traverses");
  // A network of free records alone has no traverse to count.
  const std::string what = !book_.network ? traverses
                           : count == 0    ? "network"
                                           : "network of " + traverses;
  PlanModel plan = Titled(book_, what, book_.settings.rule);

  // Control points first, in the book's order, then the new ones: a point's
  // index is known before its role.
  std::unordered_map<std::string, std::size_t> index;
  for (const NamedPoint& point : book_.known) {
    index.emplace(point.name, plan.points.size());
    plan.points.push_back({point.name, point.xy, point.z, PlanRole::Unused, false, std::nullopt});
  }
  for (const NewPoint& point : book_.points) {
    index.emplace(point.point.name, plan.points.size());
    plan.points.push_back(
        {point.point.name, point.point.xy, point.point.z, PlanRole::New, false, point.precision});
  }
  const auto at = [&](const std::string& name) -> PlanPoint* {
    const auto found = index.find(name);
    return found == index.end() ? nullptr : &plan.points[found->second];
  };
  const auto stand = [](PlanPoint* point) {
    if (point && point->role != PlanRole::New) point->role = PlanRole::Known;
  };

  for (const BookTraverseResult& traverse : book_.traverses) {
    const std::vector<std::string>& stations = traverse.job.stations;
    if (stations.empty()) continue;
    PlanPoint* first = at(stations.front());
    for (PlanPoint* end : {first, at(stations.back())}) {
      stand(end);  // an open traverse's last station is new, and stays so
      if (end) end->junction = true;
    }
    plan.traverses.push_back(RouteOf(traverse, first ? first->z : std::nullopt));
    // The route runs through the book's points, the network's where there is one.
    std::vector<GridPoint>& route = plan.traverses.back().route;
    for (std::size_t i = 0; i < stations.size() && i < route.size(); ++i)
      if (const PlanPoint* point = at(stations[i])) route[i] = point->xy;
  }
  // A mark given as a bearing is a stand-in 1 km off: it has no name and
  // stays off the plan. A mark that orients a station is drawn once.
  std::set<std::pair<std::size_t, std::string>> oriented;
  const auto mark = [&](const std::string& name, const GridPoint& station, const std::string& stationName) {
    const auto found = index.find(name);
    if (name.empty() || found == index.end()) return;
    PlanPoint& point = plan.points[found->second];
    if (point.role == PlanRole::Known || point.role == PlanRole::New) return;
    point.role = PlanRole::Mark;
    if (oriented.insert({found->second, stationName}).second) plan.marks.push_back({found->second, station});
  };
  for (const BookTraverseResult& traverse : book_.traverses) {
    const Job& job = traverse.job;
    if (job.stations.empty()) continue;
    mark(job.markA, job.b, job.stations.front());
    if (ClosesOnD(traverse.result.kind)) mark(job.markD, job.c, job.stations.back());
  }
  if (book_.network) {
    // The free observations as lines: a distance or bearing between its
    // points, an angle along both its sides.
    const auto tie = [&](const std::string& a, const std::optional<std::string>& b) {
      PlanPoint* from = at(a);
      PlanPoint* to = b ? at(*b) : nullptr;
      if (!from || !to) return;
      plan.ties.push_back({from->xy, to->xy});
      stand(from);
      stand(to);
    };
    for (const ObservationReport& o : book_.network->observations) {
      // A height difference ties what the plan's observations tie already.
      if (!o.free || o.ref.kind == ObservationKind::HeightDifference) continue;
      if (o.ref.kind == ObservationKind::Angle) {
        tie(o.at, o.from);
        tie(o.at, o.to);
      } else if (o.from) {
        tie(*o.from, o.to);
      }
    }
  }
  for (const SetupResult& setup : book_.setups) stand(at(setup.setup.station));
  // A sideshot's ray starts at its station: a known or new point, or where
  // the book has none, at the sideshot itself.
  plan.sideshots.reserve(book_.sideshots.size());
  for (const Sideshot& shot : book_.sideshots) {
    const PlanPoint* station = at(shot.from);
    plan.sideshots.push_back({shot.name, shot.xy, station ? station->xy : shot.xy});
  }
  return plan;
}

PlanModel PlanBuilder::Traverse(std::size_t index) const {
  const BookTraverseResult& traverse = book_.traverses.at(index);
  const Job& job = traverse.job;
  // Its plan shows its first look, by the compass rule under a network.
  PlanModel plan = Titled(book_, "traverse " + ValidUtf8(traverse.name),
                          book_.network ? Rule::Compass : book_.settings.rule);
  const std::vector<std::string>& stations = job.stations;
  std::optional<double> startZ;
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const std::string& name = stations[i];
    if (i > 0 && name == stations.front()) continue;  // a loop's return
    const Where* where = Find(name);
    if (!where) continue;
    const bool last = i + 1 == stations.size();
    // Where the traverse's first look has the point: its known ends as it
    // took them, its new points as the compass rule put them.
    const std::vector<GridPoint>& computed = traverse.result.points;
    const GridPoint xy = i == 0 ? job.b : i <= computed.size() ? computed[i - 1] : job.c;
    PlanPoint point{name, xy, {}, PlanRole::Known, i == 0 || last, std::nullopt};
    if (where->point) {
      point.z = where->point->z;
    } else {
      const auto by = computedBy_.find(name);
      const bool here = by != computedBy_.end() && by->second == index;
      point.role = here ? PlanRole::New : PlanRole::Above;
      point.z = where->computed->point.z;
      if (here && !book_.network) point.precision = where->computed->precision;
    }
    if (i == 0) startZ = point.z;
    plan.points.push_back(std::move(point));
  }
  plan.traverses.push_back(RouteOf(traverse, startZ));
  const auto mark = [&](const std::string& name, const GridPoint& xy, const GridPoint& station) {
    if (name.empty() || std::find(stations.begin(), stations.end(), name) != stations.end()) return;
    if (plan.points.empty() || plan.points.back().name != name)
      plan.points.push_back({name, xy, std::nullopt, PlanRole::Mark, false, std::nullopt});
    plan.marks.push_back({plan.points.size() - 1, station});
  };
  if (!stations.empty()) mark(job.markA, job.a, job.b);
  if (ClosesOnD(traverse.result.kind) && traverse.result.kind != TraverseKind::Loop)
    mark(job.markD, job.d, job.c);
  return plan;
}

PlanModel AnswerPlan(const BookResult& book) {
  const Adjustment& result = book.traverses.front().result;
  PlanModel plan = PlanBuilder(book).Whole();
  plan.heading = Titled(book, KindName(result.kind), result.rule).heading;
  if (result.kind == TraverseKind::Loop) {
    // A loop ends where it began: C is B and D is A.
    for (PlanPoint& point : plan.points)
      if (point.name == "A" || point.name == "B") point.name += point.name == "A" ? " = D" : " = C";
  }
  if (result.kind == TraverseKind::Open) plan.note = "open traverse: no check";
  return plan;
}

}  // namespace traverse
