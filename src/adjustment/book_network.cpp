// A field book adjusted as one network: every traverse's angles and
// distances and every free observation, by least squares together. The
// traverses have been computed by the compass rule in book order already;
// that gives their misclosures (the surveyor's first look) and the
// approximate coordinates of their new points. Points that only free
// observations reach are placed by polar computation or by intersection.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "adjustment/book.hpp"
#include "adjustment/book_setups.hpp"
#include "adjustment/closure.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/relative_precision.hpp"
#include "network/network.hpp"
#include "network/resection.hpp"

namespace traverse {
namespace {

// The grid bearing from one point to another in [0, 400) gon.
double FullBearing(const GridPoint& from, const GridPoint& to) {
  const double t = BearingOf(from, to);
  return t < 0 ? t + 400 : t;
}

// The point `distance` away from `from` on the grid bearing `gon`.
GridPoint Polar(const GridPoint& from, double gon, double distance) {
  return {from.x + distance * std::cos(gon / gonPerRadian),
          from.y + distance * std::sin(gon / gonPerRadian)};
}

// The network's points by name, fixed or new, with what is known of them.
class Points {
 public:
  int Add(const std::string& name, const GridPoint& xy, bool fixed, bool located) {
    const auto [at, added] = index_.try_emplace(name, static_cast<int>(names_.size()));
    if (added) {
      names_.push_back(name);
      points_.push_back({xy, fixed});
      located_.push_back(located);
      parent_.push_back(-1);
    }
    return at->second;
  }
  int Find(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? -1 : found->second;
  }
  bool Located(int i) const { return located_[static_cast<std::size_t>(i)]; }
  // Placed by polar computation from the setup on `from`, which orients a
  // setup on the point the best: the two were placed from each other.
  void Locate(int i, const GridPoint& xy, int from) {
    Locate(i, xy);
    parent_[static_cast<std::size_t>(i)] = from;
  }
  int Parent(int i) const { return parent_[static_cast<std::size_t>(i)]; }
  void Locate(int i, const GridPoint& xy) {
    points_[static_cast<std::size_t>(i)].approximate = xy;
    located_[static_cast<std::size_t>(i)] = true;
  }
  const GridPoint& At(int i) const { return points_[static_cast<std::size_t>(i)].approximate; }
  const std::string& Name(int i) const { return names_[static_cast<std::size_t>(i)]; }
  const std::vector<NetworkPoint>& points() const { return points_; }
  std::size_t size() const { return names_.size(); }

 private:
  std::unordered_map<std::string, int> index_;
  std::vector<std::string> names_;
  std::vector<NetworkPoint> points_;
  std::vector<bool> located_;
  std::vector<int> parent_;
};

// How a network observation is reported: which book observation it is, and
// the sign that turns its residual into the residual of what was typed (a
// traverse's end angle on a bearing mark enters as a bearing of its leg).
// Its report (names, line, the value as typed) is kept apart, in the list
// that becomes the network's report, so that no copy of it is made.
struct Origin {
  double sign = 1;
  bool angle = false;  // a traverse's angle, reported as typed
  int setup = -1;      // the setup (of the network's) a direction or distance was read in
  int line = 0;        // of the observation
  int setupLine = 0;   // of its setup record, for a setup's observation
};

// The directions to an unlocated point from located ones, each a station and
// a bearing, from the free angles and bearings.
struct Direction {
  int from;
  double bearing;  // gon
  int line;
};

// A setup's station and, once placed from its targets, its orientation.
struct SetupPlace {
  NetworkSetup setup;
  bool oriented = false;
};

std::vector<Direction> DirectionsTo(int p, const Points& points,
                                    const std::vector<Observation>& observations,
                                    const std::vector<std::size_t>& ofP,
                                    const std::vector<Origin>& origins,
                                    const std::vector<SetupPlace>& setups) {
  std::vector<Direction> directions;
  for (std::size_t k : ofP) {
    const Observation& o = observations[k];
    const int line = origins[k].line;
    if (o.kind == ObservationKind::Direction) {
      const SetupPlace& setup = setups[static_cast<std::size_t>(o.setup)];
      if (o.to == p && setup.oriented && points.Located(o.from))
        directions.push_back({o.from, std::fmod(setup.setup.orientation + o.value, 400), line});
    } else if (o.kind == ObservationKind::Bearing) {
      if (o.to == p && points.Located(o.from)) directions.push_back({o.from, o.value, line});
      if (o.from == p && points.Located(o.to))
        directions.push_back({o.to, std::fmod(o.value + 200, 400), line});
    } else if (o.kind == ObservationKind::Angle && points.Located(o.at)) {
      // Turned clockwise from `from` to `to` at `at`.
      if (o.to == p && points.Located(o.from))
        directions.push_back({o.at, FullBearing(points.At(o.at), points.At(o.from)) + o.value, line});
      if (o.from == p && points.Located(o.to))
        directions.push_back({o.at, FullBearing(points.At(o.at), points.At(o.to)) - o.value, line});
    }
  }
  return directions;
}

// The observations of setup s and of the other setups on its station
// (`onStation`, s among them) that share a target with them, each with the
// turn that carries its setup's circle onto s's: angles turned one at a time
// at a free station place it together where none of them can alone.
std::vector<std::pair<std::size_t, double>> JoinedAtStation(
    std::size_t s, const std::vector<std::size_t>& onStation,
    const std::vector<Observation>& observations,
    const std::vector<std::vector<std::size_t>>& ofSetup) {
  std::vector<std::pair<std::size_t, double>> joined;
  for (std::size_t k : ofSetup[s]) joined.emplace_back(k, 0.0);
  std::vector<bool> in(onStation.size());
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t i = 0; i < onStation.size(); ++i) {
      const std::size_t t = onStation[i];
      if (in[i] || t == s) continue;
      std::optional<double> turn;
      for (const auto& [j, shift] : joined)
        for (std::size_t k : ofSetup[t])
          if (!turn && observations[j].kind == ObservationKind::Direction &&
              observations[k].kind == ObservationKind::Direction &&
              observations[j].to == observations[k].to)
            turn = observations[j].value + shift - observations[k].value;
      if (!turn) continue;
      for (std::size_t k : ofSetup[t]) joined.emplace_back(k, *turn);
      in[i] = grew = true;
    }
  }
  return joined;
}

// Places every point that no traverse computed, by a distance and a
// direction from a located point, or where two directions cross.
// Places a free station, a setup on a point not yet placed, and orients it
// by resection from its placed targets (with those of the setups joined to
// it on its station), once there are two with distances or three. Whether
// it did.
bool Resect(Points& points, const std::vector<Observation>& observations,
            const std::vector<std::pair<std::size_t, double>>& joined,
            const std::vector<Origin>& origins, SetupPlace& place) {
  std::vector<ResectionTarget> targets;
  std::vector<int> named;
  int withDistance = 0;
  for (const auto& [k, turn] : joined) {
    const Observation& o = observations[k];
    if (o.kind != ObservationKind::Direction || !points.Located(o.to)) continue;
    if (std::find(named.begin(), named.end(), o.to) != named.end()) continue;
    ResectionTarget target{points.At(o.to), std::fmod(o.value + turn + 400, 400), std::nullopt};
    for (const auto& other : joined)
      if (observations[other.first].kind == ObservationKind::Distance &&
          observations[other.first].to == o.to)
        target.distance = observations[other.first].value;
    withDistance += target.distance.has_value();
    targets.push_back(target);
    named.push_back(o.to);
  }
  if (withDistance < 2 && targets.size() < 3) return false;
  try {
    const FreeStation free = traverse::Resect(targets);
    points.Locate(place.setup.station, free.station);
    place.setup.orientation = free.orientation;
    place.oriented = true;
    return true;
  } catch (const DangerCircle& circle) {
    std::string names;
    for (int t : circle.targets())
      names += (names.empty() ? "'" : ", '") + points.Name(named[static_cast<std::size_t>(t)]) + "'";
    throw JobError(origins[joined.front().first].setupLine,
                   "the free station '" + points.Name(place.setup.station) +
                       "' and its targets " + names +
                       " lie on one circle (the danger circle): the resection cannot place it; "
                       "sight a target off that circle or measure distances");
  } catch (const PointsInOnePlace&) {
    // Directions that place the station on a target give it no orientation.
    throw JobError(origins[joined.front().first].setupLine,
                   "the resection puts the free station '" + points.Name(place.setup.station) +
                       "' on one of its targets, which gives no orientation: check its "
                       "directions and that no two of its targets lie in one place");
  }
}

// Orients each setup whose station and some target are placed; places the
// station of a setup on an unknown point (a free station) from its placed
// targets. Whether anything moved.
bool PlaceSetup(Points& points, const std::vector<Observation>& observations,
                const std::vector<std::vector<std::size_t>>& ofSetups, std::size_t s,
                const std::vector<std::size_t>& onStation, const std::vector<Origin>& origins,
                SetupPlace& place) {
  if (place.oriented) return false;
  const int station = place.setup.station;
  if (!points.Located(station))
    return Resect(points, observations, JoinedAtStation(s, onStation, observations, ofSetups),
                  origins, place);
  // On the station it was placed from where it sights that, else on every
  // placed target: targets placed along other chains carry those chains'
  // drift, and an orientation taken from them would carry it on.
  std::vector<std::pair<GridPoint, double>> targets;
  for (std::size_t k : ofSetups[s]) {
    const Observation& o = observations[k];
    if (o.kind != ObservationKind::Direction || !points.Located(o.to)) continue;
    // A target on the station gives no bearing: said of its pointing, as the
    // network's equations say it.
    try {
      (void)equations::Line(points.At(station), points.At(o.to));
    } catch (const PointsInOnePlace& error) {
      throw NetworkError(error.what(), static_cast<int>(k));
    }
    if (o.to == points.Parent(station)) {
      targets.assign(1, {points.At(o.to), o.value});
      break;
    }
    targets.emplace_back(points.At(o.to), o.value);
  }
  const std::optional<double> orientation = OrientationOf(points.At(station), targets);
  if (orientation) place.setup.orientation = *orientation;
  return place.oriented = orientation.has_value();
}

// What a pass of the placement looks at: the points and setups whose
// observations reach something placed or oriented in the pass before, each
// pass's in ascending order. A point is so placed in the fewest steps of
// placement from what is known: along a long chain of polar points the
// approximations drift like an open traverse's, and short chains keep the
// drift small. A pass costs what it wakes, so a network of any size is
// placed in time proportional to its observations.
class Wakes {
 public:
  Wakes(std::size_t points, std::size_t setups) : pointWoken_(points, 1), setupWoken_(setups, 1) {
    for (std::size_t p = 0; p < points; ++p) nextPoints_.push_back(static_cast<int>(p));
    for (std::size_t s = 0; s < setups; ++s) nextSetups_.push_back(static_cast<int>(s));
  }
  void Point(int p) { Wake(p, pointWoken_, nextPoints_); }
  void Setup(int s) { Wake(s, setupWoken_, nextSetups_); }
  // The setups and points of the next pass; false when nothing is awake.
  bool NextPass(std::vector<int>& setups, std::vector<int>& points) {
    if (nextPoints_.empty() && nextSetups_.empty()) return false;
    Take(nextSetups_, setupWoken_, setups);
    Take(nextPoints_, pointWoken_, points);
    return true;
  }

 private:
  static void Wake(int i, std::vector<char>& woken, std::vector<int>& next) {
    if (woken[static_cast<std::size_t>(i)]) return;
    woken[static_cast<std::size_t>(i)] = 1;
    next.push_back(i);
  }
  static void Take(std::vector<int>& next, std::vector<char>& woken, std::vector<int>& pass) {
    pass.swap(next);
    next.clear();
    std::sort(pass.begin(), pass.end());
    for (int i : pass) woken[static_cast<std::size_t>(i)] = 0;
  }
  std::vector<char> pointWoken_, setupWoken_;
  std::vector<int> nextPoints_, nextSetups_;
};

void LocateFreePoints(Points& points, const std::vector<Observation>& observations,
                      const std::vector<Origin>& origins, std::vector<SetupPlace>& setups) {
  // Where an adjustment before has placed and oriented everything, nothing is left.
  bool done = std::all_of(setups.begin(), setups.end(), [](const SetupPlace& s) { return s.oriented; });
  for (int p = 0; done && p < static_cast<int>(points.size()); ++p) done = points.Located(p);
  if (done) return;
  // Each point's observations, so that placing it looks at its own alone,
  // and each setup's.
  std::vector<std::vector<std::size_t>> of(points.size()), ofSetup(setups.size());
  for (std::size_t k = 0; k < observations.size(); ++k) {
    for (const int q : {observations[k].at, observations[k].from, observations[k].to})
      if (q >= 0) of[static_cast<std::size_t>(q)].push_back(k);
    if (origins[k].setup >= 0) ofSetup[static_cast<std::size_t>(origins[k].setup)].push_back(k);
  }
  std::vector<std::vector<std::size_t>> setupsOn(points.size());
  for (std::size_t s = 0; s < setups.size(); ++s)
    if (setups[s].setup.station >= 0)
      setupsOn[static_cast<std::size_t>(setups[s].setup.station)].push_back(s);
  Wakes wakes(points.size(), setups.size());
  // What a point newly placed wakes: the points and setups it shares an
  // observation with.
  const auto placedPoint = [&](int p) {
    for (std::size_t k : of[static_cast<std::size_t>(p)]) {
      for (const int q : {observations[k].at, observations[k].from, observations[k].to})
        if (q >= 0 && !points.Located(q)) wakes.Point(q);
      if (origins[k].setup >= 0) wakes.Setup(origins[k].setup);
    }
  };
  std::vector<int> setupsOfPass, pointsOfPass;
  while (wakes.NextPass(setupsOfPass, pointsOfPass)) {
    // Setups on placed stations are oriented first; a free station is
    // resected only where no polar point places it in the pass, since a
    // resection between two chains takes up the difference of their drifts.
    const auto placeSetups = [&](bool freeStations) {
      for (const int s : setupsOfPass) {
        SetupPlace& place = setups[static_cast<std::size_t>(s)];
        const bool stationPlaced = points.Located(place.setup.station);
        if (stationPlaced == freeStations ||
            !PlaceSetup(points, observations, ofSetup, static_cast<std::size_t>(s),
                        setupsOn[static_cast<std::size_t>(place.setup.station)], origins, place))
          continue;
        for (std::size_t k : ofSetup[static_cast<std::size_t>(s)])
          if (!points.Located(observations[k].to)) wakes.Point(observations[k].to);
        if (!stationPlaced) placedPoint(place.setup.station);
      }
    };
    placeSetups(false);
    for (const int p : pointsOfPass) {
      if (points.Located(p)) continue;
      const std::vector<std::size_t>& ofP = of[static_cast<std::size_t>(p)];
      const std::vector<Direction> directions =
          DirectionsTo(p, points, observations, ofP, origins, setups);
      bool placed = false;
      // Distances from placed points, each with its station.
      std::vector<std::pair<std::size_t, int>> arcs;
      for (std::size_t k : ofP) {
        const Observation& o = observations[k];
        const int other = o.from == p ? o.to : o.from;
        if (o.kind == ObservationKind::Distance && points.Located(other))
          arcs.emplace_back(k, other);
      }
      // Polar: a distance from the station of one of the directions.
      for (const auto& [k, other] : arcs)
        for (const Direction& d : directions)
          if (!placed && d.from == other) {
            points.Locate(p, Polar(points.At(other), d.bearing, observations[k].value), other);
            placed = true;
          }
      // Intersection: two directions from different stations.
      for (std::size_t i = 0; i < directions.size() && !placed; ++i) {
        for (std::size_t j = i + 1; j < directions.size() && !placed; ++j) {
          if (directions[i].from == directions[j].from) continue;
          const GridPoint& a = points.At(directions[i].from);
          const GridPoint& b = points.At(directions[j].from);
          const GridPoint u = Polar({}, directions[i].bearing, 1);
          const GridPoint v = Polar({}, directions[j].bearing, 1);
          const double ax = u.x, ay = u.y, bx = v.x, by = v.y;
          const double det = ax * by - ay * bx;
          if (std::fabs(det) < 1e-3) continue;  // the rays are near parallel
          const double s = ((b.x - a.x) * by - (b.y - a.y) * bx) / det;
          if (!(s > 0)) continue;
          points.Locate(p, {a.x + s * ax, a.y + s * ay});
          placed = true;
        }
      }
      // Arcs: distances from two placed points cross on either side of the
      // line between them; the other observations of the point that reach
      // only placed points pick the side.
      const auto misfit = [&](const GridPoint& c, std::size_t ki, std::size_t kj, double scale) {
        const auto reached = [&](int q) { return q == p || points.Located(q); };
        const auto xy = [&](int q) { return q == p ? c : points.At(q); };
        double sum = 0;
        for (std::size_t k : ofP) {
          const Observation& o = observations[k];
          const int at = o.kind == ObservationKind::Angle ? o.at : o.from;
          if (k == ki || k == kj || !reached(at) || !reached(o.from) || !reached(o.to)) continue;
          const SetupPlace* setup = o.setup >= 0 ? &setups[static_cast<std::size_t>(o.setup)] : nullptr;
          if (setup && !setup->oriented) continue;
          try {
            const double off = std::fabs(ComputedValue(o.kind, xy(at), xy(o.from), xy(o.to), o.value,
                                                       setup ? setup->setup.orientation : 0) -
                                         o.value);
            sum += o.kind == ObservationKind::Distance ? off : off / gonPerRadian * scale;
          } catch (const PointsInOnePlace&) {
            sum += scale;
          }
        }
        return sum;
      };
      for (std::size_t i = 0; i < arcs.size() && !placed; ++i) {
        for (std::size_t j = i + 1; j < arcs.size() && !placed; ++j) {
          const GridPoint &a = points.At(arcs[i].second), &b = points.At(arcs[j].second);
          const double d = std::hypot(b.x - a.x, b.y - a.y);
          const double ri = observations[arcs[i].first].value;
          const double rj = observations[arcs[j].first].value;
          if (!(d > 0)) continue;
          const double along = (ri * ri - rj * rj + d * d) / (2 * d);
          const double h = std::sqrt(std::max(ri * ri - along * along, 0.0));
          const double ux = (b.x - a.x) / d, uy = (b.y - a.y) / d;
          const GridPoint left{a.x + along * ux - h * uy, a.y + along * uy + h * ux};
          const GridPoint right{a.x + along * ux + h * uy, a.y + along * uy - h * ux};
          const double ml = misfit(left, arcs[i].first, arcs[j].first, d);
          const double mr = misfit(right, arcs[i].first, arcs[j].first, d);
          // Where nothing tells the sides apart, another pair may.
          if (!(std::min(ml, mr) < 0.5 * std::max(ml, mr))) continue;
          points.Locate(p, ml < mr ? left : right);
          placed = true;
        }
      }
      if (placed) placedPoint(p);
    }
    placeSetups(true);
  }
  for (int p = 0; p < static_cast<int>(points.size()); ++p) {
    if (points.Located(p)) continue;
    const std::vector<std::size_t>& ofP = of[static_cast<std::size_t>(p)];
    throw JobError(ofP.empty() ? 0 : origins[ofP.front()].line,
                   "the point '" + points.Name(p) +
                       "' cannot be placed from the observations: give it a distance and an angle "
                       "or bearing from placed points, two angles or bearings from two placed "
                       "points, distances from three, or its coordinates");
  }
}

// The marks of held bearings: a point without coordinates that a bearing
// held fixed runs to from a known station, and that nothing else observes
// but directions without distances from setups on that station (the
// backsight of a job on an assumed bearing). Each is fixed on its bearing,
// a kilometre from the station, so that the setups' directions to it orient
// them as a known backsight would; the bearing itself is then implied.
std::unordered_map<std::string, GridPoint> BearingMarks(
    const Book& book, const std::unordered_map<std::string, const NamedPoint*>& known,
    const std::vector<NewPoint>& placed) {
  std::unordered_map<std::string, GridPoint> marks;
  std::unordered_map<std::string, int> uses;  // observations naming each point
  for (const FreeObservation& free : book.free)
    for (const std::string* name : {&free.at, &free.from, &free.to}) ++uses[*name];
  for (const FreeObservation& free : book.free) {
    if (free.kind != ObservationKind::Bearing || !free.fixed || uses[free.to] != 1 ||
        known.count(free.to) || !known.count(free.from))
      continue;
    const auto station = known.find(free.from);
    const double t = free.value / gonPerRadian;
    marks.emplace(free.to, GridPoint{station->second->xy.x + 1000 * std::cos(t),
                                     station->second->xy.y + 1000 * std::sin(t)});
  }
  for (const NewPoint& p : placed) marks.erase(p.point.name);
  for (const BookTraverse& traverse : book.traverses) {
    for (const std::string& s : traverse.stations) marks.erase(s);
    marks.erase(traverse.start.point);
    if (traverse.end) marks.erase(traverse.end->point);
  }
  for (const BookSetup& setup : book.setups) {
    marks.erase(setup.station);
    for (const SetupDirection& d : setup.directions) {
      const auto m = marks.find(d.target);
      if (m == marks.end()) continue;
      bool fromItsStation = false;
      for (const FreeObservation& free : book.free)
        fromItsStation = fromItsStation || (free.kind == ObservationKind::Bearing &&
                                            free.to == d.target && free.from == setup.station);
      if (!fromItsStation || d.horizontal) marks.erase(m);
    }
  }
  return marks;
}

}  // namespace

void AdjustNetworkOfBook(const Book& book, BookResult& out) {
  const Settings& settings = out.settings;
  Points points;
  for (const NewPoint& point : out.points) points.Add(point.point.name, point.point.xy, false, true);
  std::unordered_map<std::string, const NamedPoint*> known;
  for (const NamedPoint& point : out.known) known[point.name] = &point;
  const std::unordered_map<std::string, GridPoint> marks = BearingMarks(book, known, out.points);
  // A point by name: fixed where known (or a mark of a held bearing), else new
  // (located by a traverse or still to be placed).
  const auto point = [&](const std::string& name) {
    if (const int found = points.Find(name); found >= 0) return found;
    if (const auto k = known.find(name); k != known.end())
      return points.Add(name, k->second->xy, true, true);
    if (const auto m = marks.find(name); m != marks.end()) return points.Add(name, m->second, true, true);
    return points.Add(name, {}, false, false);
  };

  std::vector<Observation> observations;
  std::vector<Origin> origins;
  std::vector<ObservationReport> reports;  // each observation's, as the book has it
  {
    std::size_t count = book.free.size();
    for (const BookTraverse& traverse : book.traverses)
      count += traverse.angles.size() + traverse.legs.size();
    for (const BookSetup& setup : book.setups) count += 2 * setup.directions.size();
    observations.reserve(count);
    origins.reserve(count);
    if (!settings.placeOnly) reports.reserve(count);
  }
  // The origin and report of the observation just pushed; a placement
  // alone reports nothing.
  const auto add = [&](Origin origin, ObservationReport& said) {
    origin.line = said.line;
    origin.setupLine = said.setup;
    origins.push_back(origin);
    if (!settings.placeOnly) reports.push_back(said);
  };
  for (std::size_t t = 0; t < book.traverses.size(); ++t) {
    const BookTraverse& traverse = book.traverses[t];
    if (traverse.fromSetups) continue;  // its setups' directions and distances stand for it
    const Job& job = out.traverses[t].job;
    const std::vector<std::string>& s = traverse.stations;
    const int angles = static_cast<int>(job.angles.size());
    for (int i = 0; i < angles; ++i) {
      const std::size_t at = static_cast<std::size_t>(i);
      // The station behind and ahead; a mark given as a bearing has no point.
      const bool backIsMark = i == 0, aheadIsMark = i + 1 == static_cast<int>(s.size());
      // Flags and plain values: an optional copied out of a conditional is
      // taken for uninitialised by the optimiser's warning.
      const bool backBearing = backIsMark && traverse.start.bearing.has_value();
      const bool aheadBearing = aheadIsMark && traverse.end && traverse.end->bearing.has_value();
      const double markBearing = backBearing    ? *traverse.start.bearing
                                 : aheadBearing ? *traverse.end->bearing
                                                : 0;
      const std::string back = backIsMark ? traverse.start.point : s[at - 1];
      const std::string ahead = aheadIsMark ? (traverse.end ? traverse.end->point : "") : s[at + 1];
      Origin origin;
      ObservationReport said;
      origin.angle = true;
      said.ref = {0, ObservationKind::Angle, i + 1};
      said.line = job.angles[at].line;
      said.at = s[at];
      said.measured = job.angles[at].value;
      const std::optional<std::string> backName =
          backBearing ? std::nullopt : std::optional<std::string>(back);
      const std::optional<std::string> aheadName =
          aheadBearing ? std::nullopt : std::optional<std::string>(ahead);
      said.from = job.leftAngles ? backName : aheadName;
      said.to = job.leftAngles ? aheadName : backName;
      if (!backBearing && !aheadBearing && back == ahead)
        throw JobError(said.line, "the angle at '" + s[at] + "' runs from '" + back +
                                               "' to '" + ahead +
                                               "' itself: its sides must reach two different points");
      const double beta = job.angles[at].value;
      // The angle to a mark with no coordinates is a bearing of the leg,
      // reduced to [0, 400) by way of a sum with 400, as it always was.
      const auto bearing = [](double gon) { return std::fmod(std::fmod(gon, 400) + 400, 400); };
      if (backBearing) {
        origin.sign = job.leftAngles ? 1 : -1;
        observations.push_back({ObservationKind::Bearing, -1, point(s[at]), point(ahead),
                                bearing(markBearing + origin.sign * beta),
                                job.settings.sigmas.angleGon});
      } else if (aheadBearing) {
        origin.sign = job.leftAngles ? -1 : 1;
        observations.push_back({ObservationKind::Bearing, -1, point(s[at]), point(back),
                                bearing(markBearing + origin.sign * beta),
                                job.settings.sigmas.angleGon});
      } else {
        // Points are numbered as they are first named: the station, then behind
        // and ahead in the order the angle is turned.
        const int station = point(s[at]);
        const int first = point(job.leftAngles ? back : ahead);
        const int behind = job.leftAngles ? first : point(back);
        const int front = job.leftAngles ? point(ahead) : first;
        observations.push_back(TraverseAngle(behind, station, front, job.leftAngles, beta,
                                             job.settings.sigmas.angleGon));
      }
      add(origin, said);
    }
    for (std::size_t j = 0; j < traverse.legs.size(); ++j) {
      const double length = GridLength(traverse.legs[j].length, settings.scale);
      observations.push_back({ObservationKind::Distance, -1, point(s[j]), point(s[j + 1]), length,
                              LengthSigma(job.settings.sigmas, length)});
      Origin origin;
      ObservationReport said;
      said.ref = {0, ObservationKind::Distance, static_cast<int>(j) + 1};
      said.line = traverse.legs[j].line;
      said.from = s[j];
      said.to = s[j + 1];
      add(origin, said);
    }
  }
  for (const FreeObservation& free : book.free) {
    // A held bearing to its mark is in the mark's place.
    if (free.kind == ObservationKind::Bearing && marks.count(free.to) && known.count(free.from)) continue;
    Observation o{free.kind, -1, point(free.from), point(free.to), free.value, 0};
    Origin origin;
    ObservationReport said;
    said.free = true;
    said.ref.kind = free.kind;
    said.line = free.line;
    said.from = free.from;
    said.to = free.to;
    switch (free.kind) {
      case ObservationKind::Angle:
        o.at = point(free.at);
        said.at = free.at;
        o.sigma = free.sigma.value_or(free.inForce.angleGon.value_or(settings.sigmas.angleGon));
        break;
      case ObservationKind::Bearing:
        o.sigma = free.fixed ? 0 : *free.sigma;
        break;
      case ObservationKind::Distance:
        o.value = GridLength(free.value, settings.scale);
        o.sigma = free.sigma ? FromMetres(*free.sigma, settings)
                             : LengthSigma(LengthSigmas(free.inForce, settings.sigmas), o.value);
        break;
      case ObservationKind::Direction:  // a setup's, never a record of its own
      case ObservationKind::HeightDifference:  // the network of heights'
        break;
    }
    observations.push_back(o);
    add(origin, said);
  }

  // The setups: their directions and distances to every target but the
  // sideshots, each setup with an orientation unknown.
  const std::vector<std::vector<char>> sideshot = SideshotFlags(book);
  std::vector<SetupPlace> setups;
  std::vector<int> setupOf(book.setups.size(), -1);  // its place among the network's
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const BookSetup& setup = book.setups[s];
    const double sigma = DirectionSigma(setup, settings.sigmas.angleGon);
    const Sigmas lengthSigmas = LengthSigmas(setup.inForce, settings.sigmas);
    for (std::size_t k = 0; k < setup.directions.size(); ++k) {
      if (sideshot[s][k]) continue;
      const SetupDirection& direction = setup.directions[k];
      if (setupOf[s] < 0) {
        setupOf[s] = static_cast<int>(setups.size());
        setups.push_back({{point(setup.station), 0}, false});
      }
      const int station = setups.back().setup.station;
      Origin origin;
      ObservationReport said;
      origin.setup = setupOf[s];
      said.free = true;
      said.ref.kind = ObservationKind::Direction;
      said.line = direction.line;
      said.from = setup.station;
      said.to = direction.target;
      said.setup = setup.line;
      Observation o{ObservationKind::Direction, -1, station, point(direction.target),
                    direction.direction,
                    MeanDirectionSigma(setup, direction, sigma)};
      o.setup = setupOf[s];
      observations.push_back(o);
      add(origin, said);
      if (!direction.horizontal) continue;
      const double length = GridLength(*direction.horizontal, settings.scale);
      observations.push_back({ObservationKind::Distance, -1, station, o.to, length,
                              LengthSigma(lengthSigmas, length)});
      said.ref.kind = ObservationKind::Distance;
      add(origin, said);
    }
    if (setupOf[s] < 0)
      throw JobError(setup.line, "the setup on '" + setup.station +
                                     "' sights sideshots alone: nothing orients it (sight a "
                                     "known point, a station or a point of a traverse from it)");
  }

  NetworkResult network;
  // A book of levelling alone has no plan to adjust.
  if (observations.empty()) {
    out.network.emplace();
    AdjustHeightsOfBook(book, sideshot, out);
    return;
  }
  RelativePairs relative;
  try {
    // A missing datum is said as such, before any point is placed from it.
    const std::vector<NetworkPoint>& all = points.points();
    if (std::any_of(all.begin(), all.end(), [](const NetworkPoint& p) { return !p.fixed; }))
      CheckDatum(all, observations);
    if (settings.startFrom) {
      for (const auto& [name, xy] : settings.startFrom->points)
        if (const int i = points.Find(name); i >= 0 && !points.Located(i)) points.Locate(i, xy);
      const std::vector<std::optional<double>>& oriented = settings.startFrom->orientations;
      for (std::size_t s = 0; s < setupOf.size() && s < oriented.size(); ++s)
        if (setupOf[s] >= 0 && oriented[s]) {
          SetupPlace& place = setups[static_cast<std::size_t>(setupOf[s])];
          place.setup.orientation = *oriented[s];
          place.oriented = true;
        }
    }
    LocateFreePoints(points, observations, origins, setups);
    if (settings.placeOnly) {
      for (std::size_t s = 0; s < setupOf.size(); ++s)
        if (const SetupPlace& place = setups[static_cast<std::size_t>(setupOf[s])]; place.oriented)
          out.setups[s].orientation = place.setup.orientation;
      for (NewPoint& p : out.points)
        p.point.xy = points.points()[static_cast<std::size_t>(points.Find(p.point.name))].approximate;
      for (int i = static_cast<int>(out.points.size()); i < static_cast<int>(points.size()); ++i) {
        if (points.points()[static_cast<std::size_t>(i)].fixed) continue;
        NewPoint p;
        p.point.name = points.Name(i);
        p.point.xy = points.points()[static_cast<std::size_t>(i)].approximate;
        out.points.push_back(std::move(p));
      }
      return;
    }
    std::vector<NetworkSetup> networkSetups;
    for (const SetupPlace& setup : setups) networkSetups.push_back(setup.setup);
    relative = PairsOfNetwork(observations, points.points(), book.relative,
                              [&](const std::string& name) { return points.Find(name); });
    network = AdjustNetwork(points.points(), observations, networkSetups, relative.pairs);
  } catch (const NetworkError& error) {
    // The network names points and observations by their places in its
    // lists; the book has them by name and on a line.
    if (error.setup() >= 0) {
      const int line = book.setups[static_cast<std::size_t>(
                                        std::find(setupOf.begin(), setupOf.end(), error.setup()) -
                                        setupOf.begin())]
                           .line;
      throw JobError(line, "the directions of the setup on '" +
                               points.Name(setups[static_cast<std::size_t>(error.setup())].setup.station) +
                               "' do not fix its orientation: it needs a direction to a point "
                               "that the other observations fix");
    }
    if (error.point() >= 0)
      throw JobError(0, "the observations do not fix the point '" + points.Name(error.point()) +
                            "': it needs more angles, distances or bearings to neighbours");
    if (error.observation() >= 0)
      throw JobError(origins[static_cast<std::size_t>(error.observation())].line,
                     error.message());
    throw JobError(0, error.what());
  }

  // The network's figures back into the book's report, each residual and w
  // of the value as typed.
  NetworkReport report;
  static_cast<AdjustmentStatistics&>(report) = network;
  for (std::size_t k = 0; k < observations.size(); ++k) {
    ObservationReport& r = reports[k];
    const ObservationFigures& result = network.observations[k];
    const double typed = r.measured;
    static_cast<ObservationFigures&>(r) = result;
    r.ref.observation = k;
    if (origins[k].angle) r.measured = typed;
    r.residual = origins[k].sign * result.residual;
    r.w = result.w ? std::optional<double>(origins[k].sign * *result.w) : std::nullopt;
  }
  report.observations = std::move(reports);
  report.suspect = FindSuspect(report.observations);
  report.relative = JudgeRelative(relative, network.relative,
                                  [&](int i) { return points.Name(i); }, settings.relativeTolerance,
                                  settings.sigmas.metresPerUnit);

  for (NewPoint& p : out.points) {
    const int i = points.Find(p.point.name);
    p.point.xy = network.points[static_cast<std::size_t>(i)];
    p.precision = network.precision[static_cast<std::size_t>(i)];
  }
  // The traverses' new points come first in the network's list; the points
  // that free observations alone reach follow them.
  for (int i = static_cast<int>(out.points.size()); i < static_cast<int>(points.size()); ++i) {
    if (points.points()[static_cast<std::size_t>(i)].fixed) continue;
    NewPoint p;
    p.point.name = points.Name(i);
    p.point.xy = network.points[static_cast<std::size_t>(i)];
    p.precision = network.precision[static_cast<std::size_t>(i)];
    out.points.push_back(std::move(p));
  }
  // A loop's area after adjustment is the network's, not its first look's.
  for (BookTraverseResult& traverse : out.traverses) {
    if (!traverse.result.area) continue;
    std::vector<GridPoint> corners;
    const std::vector<std::string>& stations = traverse.job.stations;
    for (std::size_t k = 0; k + 1 < stations.size(); ++k) {
      const int i = points.Find(stations[k]);
      if (i >= 0) corners.push_back(network.points[static_cast<std::size_t>(i)]);
    }
    if (corners.size() + 1 == stations.size()) traverse.result.area->after = PolygonArea(corners);
  }
  out.network = std::move(report);
  AdjustHeightsOfBook(book, sideshot, out);
  // Each setup's orientation, and its sideshots radiated from where it
  // stands (its height as adjusted) with the covariance of station and
  // orientation.
  std::unordered_map<std::string, std::optional<double>> heights;
  for (const NamedPoint& given : out.known) heights[given.name] = given.z;
  for (const NewPoint& computed : out.points) heights.try_emplace(computed.point.name, computed.point.z);
  out.sideshots.reserve(SideshotCount(sideshot));
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const SetupFigures& figures = *network.setups[static_cast<std::size_t>(setupOf[s])];
    const BookSetup& setup = book.setups[s];
    out.setups[s].orientation = figures.orientation;
    out.setups[s].orientationSigma = figures.sigma;
    const int station = points.Find(setup.station);
    Standpoint standpoint{network.points[static_cast<std::size_t>(station)],
                          heights[setup.station], figures.orientation, Standpoint::Covariance{}};
    Standpoint::Covariance& q = *standpoint.covariance;
    const auto& c = figures.covariance;
    q.xx = c[0][0], q.xy = c[0][1], q.yy = c[1][1], q.xo = c[0][2], q.yo = c[1][2], q.oo = c[2][2];
    RadiateSideshots(setup, sideshot[s], standpoint, settings.scale,
                     DirectionSigma(setup, settings.sigmas.angleGon),
                     LengthSigmas(setup.inForce, settings.sigmas), out.sideshots, out.notes);
  }
  if (!out.network->converged)
    out.notes.push_back("The network's least-squares iteration did not converge in " +
                        std::to_string(out.network->iterations) + " iterations.");
}

}  // namespace traverse
