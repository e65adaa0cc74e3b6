// A book on a projected grid: its observations reduced from the ground to
// the grid on coordinates adjusted, the adjustment repeated until the
// reduction no longer moves anything.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "adjustment/book.hpp"
#include "adjustment/job_error.hpp"

namespace traverse {
namespace {

constexpr double gonPerDegree = 400.0 / 360.0;
constexpr double degreesPerRadian = 180 / std::numbers::pi;

// Where a point stands for the reduction: on the grid and on the ellipsoid,
// with its ellipsoidal height where it has one.
struct Station {
  GridPoint xy;
  geodesy::PointFactors factors;
  std::optional<double> h;
};

// The stations of a pass, by name.
class Stations {
 public:
  Stations(const geodesy::Grid& grid, const GridSettings& settings)
      : grid_(grid), settings_(settings) {}

  // Places `name` at `xy` with height z (orthometric) and its own N.
  void Set(const std::string& name, const GridPoint& xy, std::optional<double> z,
           std::optional<double> geoid, int line) {
    Station station{xy, {}, std::nullopt};
    try {
      station.factors = grid_.At(xy.x, xy.y);
    } catch (const std::domain_error&) {
      throw JobError(line, "the point '" + name + "' (" + std::to_string(xy.x) + ", " +
                               std::to_string(xy.y) + ") lies outside the grid " +
                               settings_.definition.name);
    }
    const std::optional<double> height = z ? z : settings_.meanHeight;
    if (height) station.h = *height + geoid.value_or(settings_.geoid.value_or(0));
    at_[name] = station;
  }
  const Station* Find(const std::string& name) const {
    const auto found = at_.find(name);
    return found == at_.end() ? nullptr : &found->second;
  }
  bool AnyHeight() const {
    return std::any_of(at_.begin(), at_.end(), [](const auto& s) { return s.second.h.has_value(); });
  }

 private:
  const geodesy::Grid& grid_;
  const GridSettings& settings_;
  std::unordered_map<std::string, Station> at_;
};

// The reduction of one line between two stations.
struct Reduced {
  geodesy::Grid::LineFactors factors;
  double length = 0;  // of the chord, grid units
};

Reduced ReduceLine(const geodesy::Grid& grid, const Station& from, const Station& to) {
  const double dx = to.xy.x - from.xy.x, dy = to.xy.y - from.xy.y;
  Reduced r;
  r.length = std::hypot(dx, dy);
  const double bearing = std::atan2(dy, dx) * degreesPerRadian;
  double h = 0;
  if (from.h && to.h)
    h = (*from.h + *to.h) / 2;
  else if (from.h || to.h)
    h = from.h ? *from.h : *to.h;
  r.factors = grid.Line(from.factors, to.factors, bearing, r.length, h);
  return r;
}

// One pass of the reduction: the ground book's observations onto the grid
// at the stations' places, into `out` (a copy of the ground book), and what
// each changed, for the test of convergence (metres: a distance's change,
// or an arc-to-chord correction's change times its line's length).
class Pass {
 public:
  Pass(const geodesy::Grid& grid, const Stations& stations) : grid_(grid), stations_(stations) {}

  // The line from `at` to `to`: none where `at` is unplaced; where `to` is
  // (a mark on a typed bearing, a sideshot not yet radiated), `at`'s own
  // scale and height and no arc-to-chord correction.
  std::optional<Reduced> Line(const std::string& at, const std::string& to) const {
    const Station* a = stations_.Find(at);
    if (!a) return std::nullopt;
    const Station* b = to.empty() ? nullptr : stations_.Find(to);
    return ReduceLine(grid_, *a, b ? *b : *a);
  }

  // The ground distance from `from` to `to` on the grid; its line's figures.
  LineOnGrid Distance(const std::string& from, const std::string& to, double ground, int line,
                      const std::optional<Reduced>& r) {
    LineOnGrid l{from, to, line, ground, 1, 1, ground};
    if (r) {
      l.heightFactor = r->factors.height;
      l.scaleFactor = r->factors.scale;
      l.grid = ground * l.heightFactor * l.scaleFactor;
    }
    figures.push_back(l.grid);
    groundSum += ground;
    gridSum += l.grid;
    return l;
  }
  LineOnGrid Distance(const std::string& from, const std::string& to, double ground, int line) {
    return Distance(from, to, ground, line, Line(from, to));
  }

  // The arc-to-chord correction at the line's start, gon.
  double ArcToChord(const std::optional<Reduced>& r) {
    if (!r) return 0;
    figures.push_back(r->factors.arcToChordFrom / degreesPerRadian * r->length);
    return r->factors.arcToChordFrom * gonPerDegree;
  }
  double ArcToChord(const std::string& at, const std::string& to) {
    return at.empty() || to.empty() ? 0 : ArcToChord(Line(at, to));
  }

  std::vector<double> figures;
  double groundSum = 0, gridSum = 0;

 private:
  const geodesy::Grid& grid_;
  const Stations& stations_;
};

// What a traverse's angle at station i sights behind and ahead.
std::pair<std::string, std::string> Sights(const BookTraverse& t, std::size_t i) {
  const std::string behind = i > 0 ? t.stations[i - 1] : t.start.point;
  const std::string ahead =
      i + 1 < t.stations.size() ? t.stations[i + 1] : (t.end ? t.end->point : std::string());
  return {behind, ahead};
}

// Reduces every observation of `ground` into `out` at the stations' places;
// the report's figures into `report` where given.
Pass ReduceObservations(const Book& ground, Book& out, const geodesy::Grid& grid,
                        const Stations& stations, BookResult* report) {
  Pass pass(grid, stations);
  for (std::size_t t = 0; t < ground.traverses.size(); ++t) {
    const BookTraverse& g = ground.traverses[t];
    BookTraverse& o = out.traverses[t];
    std::vector<LineOnGrid> legs;
    std::vector<double> corrections;
    for (std::size_t j = 0; j < g.legs.size() && j + 1 < g.stations.size(); ++j) {
      legs.push_back(pass.Distance(g.stations[j], g.stations[j + 1], g.legs[j].length, g.legs[j].line));
      o.legs[j].length = legs.back().grid;
    }
    for (std::size_t i = 0; i < g.angles.size() && i < g.stations.size(); ++i) {
      const auto [behind, ahead] = Sights(g, i);
      double c = pass.ArcToChord(g.stations[i], ahead) - pass.ArcToChord(g.stations[i], behind);
      if (!g.leftAngles) c = -c;
      corrections.push_back(c);
      o.angles[i].value = NormalisedGon(static_cast<long double>(g.angles[i].value) + c);
    }
    if (report && t < report->traverses.size()) {
      report->traverses[t].gridLegs = std::move(legs);
      report->traverses[t].arcToChord = std::move(corrections);
    }
  }
  if (report) report->grid->lines.clear(), report->grid->angles.clear();
  for (std::size_t f = 0; f < ground.free.size(); ++f) {
    const FreeObservation& g = ground.free[f];
    FreeObservation& o = out.free[f];
    if (g.kind == ObservationKind::Distance) {
      const LineOnGrid l = pass.Distance(g.from, g.to, g.value, g.line);
      o.value = l.grid;
      if (report) report->grid->lines.push_back(l);
    } else if (g.kind == ObservationKind::Angle) {
      const double c = pass.ArcToChord(g.at, g.to) - pass.ArcToChord(g.at, g.from);
      o.value = NormalisedGon(static_cast<long double>(g.value) + c);
      if (report) report->grid->angles.push_back({g.at, g.from, g.to, g.line, c});
    }
  }
  for (std::size_t s = 0; s < ground.setups.size(); ++s) {
    const BookSetup& g = ground.setups[s];
    BookSetup& o = out.setups[s];
    std::vector<std::optional<LineOnGrid>> lines;
    std::vector<double> corrections;
    double reference = 0;
    for (std::size_t d = 0; d < g.directions.size(); ++d) {
      const SetupDirection& direction = g.directions[d];
      const std::optional<Reduced> line = pass.Line(g.station, direction.target);
      const double toTarget = pass.ArcToChord(line);
      if (d == 0) reference = toTarget;
      const double c = toTarget - reference;
      corrections.push_back(c);
      o.directions[d].direction = NormalisedGon(static_cast<long double>(direction.direction) + c);
      if (direction.horizontal) {
        lines.push_back(pass.Distance(g.station, direction.target, *direction.horizontal,
                                      direction.line, line));
        o.directions[d].horizontal = lines.back()->grid;
      } else {
        lines.emplace_back();
      }
    }
    if (report && s < report->setups.size()) {
      report->setups[s].gridLines = std::move(lines);
      report->setups[s].arcToChord = std::move(corrections);
    }
  }
  return pass;
}

// Every point of a result placed, with its height.
void PlaceAll(const BookResult& result, Stations& stations) {
  for (const NamedPoint& p : result.known) stations.Set(p.name, p.xy, p.z, p.geoid, p.line);
  for (const NewPoint& p : result.points)
    stations.Set(p.point.name, p.point.xy, p.point.z, p.point.geoid, p.point.line);
  for (const Sideshot& s : result.sideshots) stations.Set(s.name, s.xy, s.z, std::nullopt, s.line);
}


// Projects a book's geographic control onto the grid: its grid coordinates,
// and its height less the geoid's separation.
void ProjectControl(Book& book, const GridSettings& settings, const geodesy::Grid& grid) {
  for (NamedPoint& p : book.known) {
    if (!p.geographic) continue;
    try {
      grid.ToGrid(*p.geographic, p.xy.x, p.xy.y);
    } catch (const std::domain_error&) {
      throw JobError(p.line, "the point '" + p.name + "' lies outside the grid " +
                                 settings.definition.name);
    }
    if (p.h) p.z = *p.h - p.geoid.value_or(settings.geoid.value_or(0));
    p.geographic.reset();  // on the grid now
  }
}

}  // namespace

BookResult AdjustBookOnGrid(const Book& ground, const Settings& settings) {
  const GridSettings& gridSettings = *settings.grid;
  const geodesy::Grid grid(gridSettings.definition);
  Book book = ground;
  ProjectControl(book, gridSettings, grid);

  Settings plane = settings;
  plane.grid.reset();
  // The first look: every length times the combined factor at the control's
  // middle, which places every point to within the factor's change over
  // the job; each pass after it reduces each observation at the places the
  // pass before adjusted.
  {
    Stations control(grid, gridSettings);
    GridPoint middle{0, 0};
    std::optional<double> h;
    int heights = 0;
    for (const NamedPoint& p : book.known) {
      middle.x += p.xy.x / static_cast<double>(book.known.size());
      middle.y += p.xy.y / static_cast<double>(book.known.size());
    }
    double hSum = 0;
    for (const NamedPoint& p : book.known) {
      control.Set(p.name, p.xy, p.z, p.geoid, p.line);
      if (const Station* s = control.Find(p.name); s && s->h) {
        hSum += *s->h;
        ++heights;
      }
    }
    if (heights > 0) h = hSum / heights;
    if (!book.known.empty()) {
      control.Set("", middle, std::nullopt, std::nullopt, 0);
      control.Set(" north", {middle.x + 1000, middle.y}, std::nullopt, std::nullopt, 0);
      Station a = *control.Find(""), b = *control.Find(" north");
      a.h = b.h = h;
      const Reduced r = ReduceLine(grid, a, b);
      plane.scale = r.factors.height * r.factors.scale;
    }
  }
  plane.placeOnly = true;
  BookResult result = AdjustBook(book, plane);
  plane.placeOnly = false;
  plane.scale = 1;

  // Each pass reduces at the places of the adjustment before it, and writes
  // its figures into that result: the last one's are the reduction the
  // result was adjusted from, to within what moves nothing by 0.1 mm.
  std::vector<double> before;
  Book reduced = book;
  int iterations = 0;
  std::optional<Stations> stations;
  for (;;) {
    stations.emplace(grid, gridSettings);
    PlaceAll(result, *stations);
    result.grid.emplace();
    const Pass pass = ReduceObservations(book, reduced, grid, *stations, &result);
    double change = before.empty() ? INFINITY : 0;
    for (std::size_t i = 0; i < before.size() && i < pass.figures.size(); ++i)
      change = std::max(change, std::abs(pass.figures[i] - before[i]));
    if (change < 2e-5 || iterations == 10) {
      if (pass.groundSum > 0) result.grid->meanCombinedFactor = pass.gridSum / pass.groundSum;
      break;
    }
    before = pass.figures;
    result = AdjustBook(reduced, plane);
    ++iterations;
  }

  result.settings.grid = gridSettings;
  result.settings.scale = 1;
  result.grid->settings = gridSettings;
  result.grid->iterations = iterations;
  if (iterations == 10)
    result.grid->notes.push_back("The reduction had not settled to 0.1 mm after 10 adjustments.");
  if (!stations->AnyHeight())
    result.grid->notes.push_back(
        "No point has a height and no --mean-height is given: the distances are taken as "
        "measured on the ellipsoid (height factor 1).");
  for (std::size_t t = 0; t < result.traverses.size() && t < ground.traverses.size(); ++t)
    result.traverses[t].legs = ground.traverses[t].legs;
  // A point's ellipsoidal height is reported where it has a height of its own.
  const auto mark = [&](const std::string& name, std::optional<double> z,
                        std::optional<geodesy::PointFactors>& map, std::optional<double>& h) {
    if (const Station* s = stations->Find(name)) {
      map = s->factors;
      if (z) h = s->h;
    }
  };
  for (NamedPoint& p : result.known) mark(p.name, p.z, p.map, p.h);
  for (NewPoint& p : result.points) mark(p.point.name, p.point.z, p.point.map, p.point.h);
  for (Sideshot& s : result.sideshots) mark(s.name, s.z, s.map, s.h);
  return result;
}

}  // namespace traverse
