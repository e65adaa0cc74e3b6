// A book on a projected grid: its observations reduced from the ground to
// the grid on coordinates adjusted, the adjustment repeated until the
// reduction no longer moves anything.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <numbers>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include "adjustment/book.hpp"
#include "adjustment/name_index.hpp"
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

// The stations by name, placed anew by each pass. A name keeps its place
// in the table from pass to pass.
class Stations {
 public:
  Stations(const geodesy::Grid& grid, const GridSettings& settings, std::size_t names = 0)
      : grid_(grid), settings_(settings), at_(names) {
    stations_.reserve(names);
  }

  // A new pass: no station placed.
  void Clear() { ++pass_; }

  // Places `name` at `xy` with height z (orthometric) and its own N.
  void Set(std::string_view name, const GridPoint& xy, std::optional<double> z,
           std::optional<double> geoid, int line) {
    Station station{xy, {}, std::nullopt};
    try {
      station.factors = grid_.At(xy.x, xy.y);
    } catch (const std::domain_error&) {
      throw JobError(line, "the point '" + std::string(name) + "' (" + std::to_string(xy.x) + ", " +
                               std::to_string(xy.y) + ") lies outside the grid " +
                               settings_.definition.name);
    }
    const std::optional<double> height = z ? z : settings_.meanHeight;
    if (height) station.h = *height + geoid.value_or(settings_.geoid.value_or(0));
    if (const std::size_t* at = at_.Find(name)) {
      stations_[*at] = station;
      placedIn_[*at] = pass_;
    } else {
      at_.Set(names_.emplace_back(name), stations_.size());
      stations_.push_back(station);
      placedIn_.push_back(pass_);
    }
  }
  // A station's place in the table, placed in this pass or not; -1 for a
  // name never placed.
  int IndexOf(std::string_view name) const {
    const std::size_t* at = at_.Find(name);
    return at ? static_cast<int>(*at) : -1;
  }
  // The station at `index`, where it is placed in this pass.
  const Station* At(int index) const {
    return index >= 0 && placedIn_[static_cast<std::size_t>(index)] == pass_
               ? &stations_[static_cast<std::size_t>(index)]
               : nullptr;
  }
  const Station* Find(std::string_view name) const { return At(IndexOf(name)); }
  bool AnyHeight() const {
    for (std::size_t i = 0; i < stations_.size(); ++i)
      if (placedIn_[i] == pass_ && stations_[i].h) return true;
    return false;
  }

 private:
  const geodesy::Grid& grid_;
  const GridSettings& settings_;
  NameIndex<std::size_t> at_;
  std::deque<std::string> names_;  // the index's names, which outlive the results placed
  std::vector<Station> stations_;
  std::vector<int> placedIn_;  // the pass that placed each
  int pass_ = 0;
};

// The reduction of one line between two stations.
struct Reduced {
  geodesy::Grid::LineFactors factors;
  double length = 0;  // of the chord, grid units
};

// The line from `from` to `to`; where `back` is given, the line from `to`
// to `from` too, of the same geodesic.
Reduced ReduceLine(const geodesy::Grid& grid, const Station& from, const Station& to,
                   Reduced* back = nullptr) {
  const double dx = to.xy.x - from.xy.x, dy = to.xy.y - from.xy.y;
  Reduced r;
  r.length = std::hypot(dx, dy);
  const double bearing = std::atan2(dy, dx) * degreesPerRadian;
  double h = 0;
  if (from.h && to.h)
    h = (*from.h + *to.h) / 2;
  else if (from.h || to.h)
    h = from.h ? *from.h : *to.h;
  if (!back) {
    r.factors = grid.Line(from.factors, to.factors, bearing, r.length, h);
    return r;
  }
  back->length = r.length;
  r.factors = grid.Line(from.factors, to.factors, bearing, r.length, h,
                        std::atan2(-dy, -dx) * degreesPerRadian, back->factors);
  return r;
}

// The lines the passes ask for, in the order asked, which is the book's
// and the same in every pass: each request's ends are found by name once,
// and each line has a slot for either direction (2k and 2k + 1), reduced
// once a pass for both of its ends, as a setup on either end sights the
// other.
class Lines {
 public:
  struct Request {
    const char* at = nullptr;  // the names asked for, to see that a pass asks the same
    const char* to = nullptr;
    int a = -1, b = -1;  // the ends' places in the stations' table, -1 for none
    int slot = -1;       // -1 until both ends are found
  };

  // The k-th request of a pass, for the line from `at` to `to`.
  Request& Ask(std::size_t k, const std::string& at, const std::string& to, const Stations& stations) {
    if (k == requests_.size()) requests_.emplace_back();
    Request& r = requests_[k];
    if (r.at != at.data() || r.to != to.data() || r.a < 0 || (r.b < 0 && !to.empty())) {
      r = Request{at.data(), to.data(), stations.IndexOf(at), to.empty() ? -1 : stations.IndexOf(to), -1};
      if (r.a >= 0 && r.b >= 0 && r.a != r.b) {
        const auto key = [](int p, int q) {
          return static_cast<std::uint64_t>(static_cast<std::uint32_t>(p)) << 32 |
                 static_cast<std::uint32_t>(q);
        };
        const auto found = slotOf_.find(key(r.a, r.b));
        if (found != slotOf_.end()) {
          r.slot = found->second;
        } else {
          r.slot = slots_;
          slotOf_.emplace(key(r.a, r.b), slots_);
          slotOf_.emplace(key(r.b, r.a), slots_ + 1);
          slots_ += 2;
        }
      }
    }
    return r;
  }
  int Slots() const { return slots_; }

 private:
  std::vector<Request> requests_;
  std::unordered_map<std::uint64_t, int> slotOf_;  // by the ends' places
  int slots_ = 0;
};

// One pass of the reduction: the ground book's observations onto the grid
// at the stations' places, into the book, and what each changed, for the
// test of convergence (metres: a distance's change, or an arc-to-chord
// correction's change times its line's length).
class Pass {
 public:
  // A first look's figures are for no report.
  Pass(const geodesy::Grid& grid, const Stations& stations, Lines& lines, bool firstLook)
      : grid_(grid), stations_(stations), lines_(lines), firstLook_(firstLook) {}

  // The line from `at` to `to`: none where `at` is unplaced; where `to` is
  // (a mark on a typed bearing, a sideshot not yet radiated), `at`'s own
  // scale and height and no arc-to-chord correction.
  std::optional<Reduced> Line(const std::string& at, const std::string& to) {
    const Lines::Request& r = lines_.Ask(asked_++, at, to, stations_);
    const Station* a = stations_.At(r.a);
    if (!a) return std::nullopt;
    const Station* b = stations_.At(r.b);
    if (!b || b == a || r.slot < 0) return ReduceLine(grid_, *a, b ? *b : *a);
    const auto slot = static_cast<std::size_t>(r.slot);
    if (reduced_.size() < static_cast<std::size_t>(lines_.Slots())) {
      reduced_.resize(static_cast<std::size_t>(lines_.Slots()));
      done_.resize(reduced_.size());
    }
    if (!done_[slot]) {
      reduced_[slot] = ReduceLine(grid_, *a, *b, &reduced_[slot ^ 1]);
      done_[slot] = done_[slot ^ 1] = 1;
    }
    return reduced_[slot];
  }

  // The ground distance from `from` to `to` on the grid; its line's figures.
  LineOnGrid Distance(const std::string& from, const std::string& to, double ground, int line,
                      const std::optional<Reduced>& r) {
    // A first look's figures are for no report: its lines need no names.
    LineOnGrid l{firstLook_ ? std::string() : from, firstLook_ ? std::string() : to, line, ground, 1,
                 1, ground};
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
  Lines& lines_;
  bool firstLook_;
  std::size_t asked_ = 0;
  std::vector<Reduced> reduced_;  // by slot, in this pass
  std::vector<char> done_;
};

// What a traverse's angle at station i sights behind and ahead.
std::pair<const std::string&, const std::string&> Sights(const BookTraverse& t, std::size_t i) {
  static const std::string none;
  const std::string& behind = i > 0 ? t.stations[i - 1] : t.start.point;
  const std::string& ahead =
      i + 1 < t.stations.size() ? t.stations[i + 1] : (t.end ? t.end->point : none);
  return {behind, ahead};
}

// The values of a book's observations as measured on the ground: each pass
// reduces them into the book itself, which is otherwise the same on the
// ground and on the grid.
struct GroundValues {
  std::vector<std::vector<double>> legs, angles;  // by traverse
  std::vector<double> free;
  std::vector<std::vector<double>> directions;  // by setup
  std::vector<std::vector<std::optional<double>>> horizontals;

  explicit GroundValues(const Book& book) {
    for (const BookTraverse& t : book.traverses) {
      std::vector<double>& l = legs.emplace_back();
      for (const BookLeg& leg : t.legs) l.push_back(leg.length);
      std::vector<double>& a = angles.emplace_back();
      for (const auto& angle : t.angles) a.push_back(angle.value);
    }
    for (const FreeObservation& f : book.free) free.push_back(f.value);
    for (const BookSetup& setup : book.setups) {
      std::vector<double>& d = directions.emplace_back();
      std::vector<std::optional<double>>& h = horizontals.emplace_back();
      d.reserve(setup.directions.size());
      h.reserve(setup.directions.size());
      for (const SetupDirection& direction : setup.directions) {
        d.push_back(direction.direction);
        h.push_back(direction.horizontal);
      }
    }
  }
};

// Reduces every observation of `book` from its ground values at the
// stations' places, in place; the report's figures into `report` where
// given, which a first look at approximate places is not.
Pass ReduceObservations(Book& book, const GroundValues& ground, const geodesy::Grid& grid,
                        const Stations& stations, Lines& asked, BookResult* report) {
  Pass pass(grid, stations, asked, !report);
  for (std::size_t t = 0; t < book.traverses.size(); ++t) {
    BookTraverse& o = book.traverses[t];
    std::vector<LineOnGrid> legs;
    std::vector<double> corrections;
    for (std::size_t j = 0; j < o.legs.size() && j + 1 < o.stations.size(); ++j) {
      legs.push_back(pass.Distance(o.stations[j], o.stations[j + 1], ground.legs[t][j], o.legs[j].line));
      o.legs[j].length = legs.back().grid;
    }
    for (std::size_t i = 0; i < o.angles.size() && i < o.stations.size(); ++i) {
      const auto [behind, ahead] = Sights(o, i);
      double c = pass.ArcToChord(o.stations[i], ahead) - pass.ArcToChord(o.stations[i], behind);
      if (!o.leftAngles) c = -c;
      corrections.push_back(c);
      o.angles[i].value = NormalisedGon(static_cast<long double>(ground.angles[t][i]) + c);
    }
    if (report && t < report->traverses.size()) {
      report->traverses[t].gridLegs = std::move(legs);
      report->traverses[t].arcToChord = std::move(corrections);
    }
  }
  if (report) report->grid->lines.clear(), report->grid->angles.clear();
  for (std::size_t f = 0; f < book.free.size(); ++f) {
    FreeObservation& o = book.free[f];
    const double value = ground.free[f];
    if (o.kind == ObservationKind::Distance) {
      const LineOnGrid l = pass.Distance(o.from, o.to, value, o.line);
      o.value = l.grid;
      if (report) report->grid->lines.push_back(l);
    } else if (o.kind == ObservationKind::Angle) {
      const double c = pass.ArcToChord(o.at, o.to) - pass.ArcToChord(o.at, o.from);
      o.value = NormalisedGon(static_cast<long double>(value) + c);
      if (report) report->grid->angles.push_back({o.at, o.from, o.to, o.line, c});
    }
  }
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    BookSetup& o = book.setups[s];
    std::vector<std::optional<LineOnGrid>> lines;
    std::vector<double> corrections;
    lines.reserve(o.directions.size());
    corrections.reserve(o.directions.size());
    double reference = 0;
    for (std::size_t d = 0; d < o.directions.size(); ++d) {
      SetupDirection& direction = o.directions[d];
      const std::optional<Reduced> line = pass.Line(o.station, direction.target);
      const double toTarget = pass.ArcToChord(line);
      if (d == 0) reference = toTarget;
      const double c = toTarget - reference;
      corrections.push_back(c);
      direction.direction = NormalisedGon(static_cast<long double>(ground.directions[s][d]) + c);
      if (const std::optional<double>& horizontal = ground.horizontals[s][d]) {
        lines.push_back(pass.Distance(o.station, direction.target, *horizontal, direction.line, line));
        direction.horizontal = lines.back()->grid;
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
  return AdjustBookOnGrid(Book(ground), settings);
}

BookResult AdjustBookOnGrid(Book&& ground, const Settings& settings) {
  const GridSettings& gridSettings = *settings.grid;
  const geodesy::Grid grid(gridSettings.definition);
  // The ground book itself, its control projected: nothing else of it changes.
  Book book = std::move(ground);
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
  const GroundValues measured(book);
  int iterations = 0;
  std::optional<Stations> stations;
  Lines lines;
  for (;;) {
    if (!stations)
      stations.emplace(grid, gridSettings,
                       result.known.size() + result.points.size() + result.sideshots.size());
    stations->Clear();
    PlaceAll(result, *stations);
    result.grid.emplace();
    // The first pass reduces at the first look's places, whose result no
    // report takes.
    const Pass pass = ReduceObservations(book, measured, grid, *stations, lines,
                                         before.empty() ? nullptr : &result);
    double change = before.empty() ? INFINITY : 0;
    for (std::size_t i = 0; i < before.size() && i < pass.figures.size(); ++i)
      change = std::max(change, std::abs(pass.figures[i] - before[i]));
    if (change < 2e-5 || iterations == 10) {
      if (pass.groundSum > 0) result.grid->meanCombinedFactor = pass.gridSum / pass.groundSum;
      break;
    }
    before = pass.figures;
    // The places of this pass start the adjustment of its reduction.
    auto start = std::make_shared<NetworkStart>();
    start->points.reserve(result.points.size());
    for (NewPoint& p : result.points) start->points.emplace_back(std::move(p.point.name), p.point.xy);
    for (const SetupResult& s : result.setups) start->orientations.push_back(s.orientation);
    plane.startFrom = std::move(start);
    result = {};  // its room for the adjustment's
    result = AdjustBook(book, plane);
    ++iterations;
  }

  result.settings.grid = gridSettings;
  result.settings.scale = 1;
  result.settings.startFrom.reset();
  result.grid->settings = gridSettings;
  result.grid->iterations = iterations;
  if (iterations == 10)
    result.grid->notes.push_back("The reduction had not settled to 0.1 mm after 10 adjustments.");
  if (!stations->AnyHeight())
    result.grid->notes.push_back(
        "No point has a height and no --mean-height is given: the distances are taken as "
        "measured on the ellipsoid (height factor 1).");
  // The traverses' legs as measured.
  for (std::size_t t = 0; t < result.traverses.size() && t < book.traverses.size(); ++t) {
    result.traverses[t].legs = book.traverses[t].legs;
    for (std::size_t j = 0; j < result.traverses[t].legs.size(); ++j)
      result.traverses[t].legs[j].length = measured.legs[t][j];
  }
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
