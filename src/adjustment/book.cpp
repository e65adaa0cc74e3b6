#include "adjustment/book.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_set>

#include "adjustment/book_setups.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/name_index.hpp"
#include "adjustment/rules.hpp"

namespace traverse {
namespace {

// Every point known so far by name: the book's own, then each traverse's new
// points as it is adjusted, where they stay (the book's, and the result's list
// of new points, which is made large enough for all of them at the start); a
// later point of a name takes its place.
class PointTable {
 public:
  explicit PointTable(std::size_t names) : index_(names) {}

  void Set(const NamedPoint& point) { index_.Set(point.name, &point); }
  const NamedPoint* Find(std::string_view name) const {
    const NamedPoint* const* found = index_.Find(name);
    return found != nullptr ? *found : nullptr;
  }

 private:
  NameIndex<const NamedPoint*> index_;
};

const NamedPoint& Known(const PointTable& table, const std::string& name, int line) {
  const NamedPoint* found = table.Find(name);
  // The reader lets no traverse use a point that is not defined above it; a
  // free record may name any.
  if (found == nullptr)
    throw JobError(line, "the point '" + name +
                             "' is not known: no record defines it and no traverse computes it "
                             "(free records alone place points under --rule least-squares)");
  return *found;
}

bool Coincide(const GridPoint& p, const GridPoint& q) {
  return p.x == q.x && p.y == q.y;
}

// The mark an orientation at `station` sights: a point along a typed bearing,
// or a named point (its name into `mark`) that must lie apart from the station.
GridPoint Sighted(const Orientation& orientation, const GridPoint& station,
                  const std::string& stationName, const PointTable& table, const char* end,
                  std::string& mark) {
  if (orientation.bearing) return PointOnBearing(station, *orientation.bearing);
  mark = orientation.point;
  const GridPoint point = Known(table, mark, orientation.line).xy;
  if (Coincide(point, station))
    throw JobError(orientation.line, "the orientation point '" + mark +
                                         "' coincides with the station '" + stationName +
                                         "': there is no " + end + " bearing");
  return point;
}

// The traverse as the rules take it: coordinates from the table, the book's
// reduced values, names for the report.
Job LayOutJob(const BookTraverse& traverse, const std::string& source, const Settings& settings,
              const PointTable& table) {
  Job job;
  job.source = source;
  job.settings = settings;
  if (traverse.sigmas.angleGon) job.settings.sigmas.angleGon = *traverse.sigmas.angleGon;
  if (traverse.sigmas.lengthMetres) {
    job.settings.sigmas.lengthMetres = *traverse.sigmas.lengthMetres;
    job.settings.sigmas.lengthPpm = traverse.sigmas.lengthPpm.value_or(0);
  }
  job.kind = traverse.kind;
  job.leftAngles = traverse.leftAngles;
  job.stations = traverse.stations;
  job.angles.reserve(traverse.angles.size());
  for (const Measured& angle : traverse.angles)
    job.angles.emplace_back(angle.value, angle.line, angle.summary);
  job.lengths.reserve(traverse.legs.size());
  for (const BookLeg& leg : traverse.legs)
    job.lengths.emplace_back(leg.length, leg.line, leg.readings);

  const NamedPoint& first = Known(table, traverse.stations.front(), traverse.line);
  job.b = first.xy;
  // A typed bearing runs from B to the mark; the rules want A to B.
  if (traverse.start.bearing)
    job.startBearing = NormalisedGon(static_cast<long double>(*traverse.start.bearing) + 200);
  job.a = Sighted(traverse.start, job.b, first.name, table, "start", job.markA);
  if (traverse.kind != TraverseKind::Open)
    job.c = Known(table, traverse.stations.back(), traverse.line).xy;
  if (ClosesOnD(traverse.kind) && traverse.end) {
    if (traverse.end->bearing)
      job.endBearing = NormalisedGon(static_cast<long double>(*traverse.end->bearing));
    job.d = Sighted(*traverse.end, job.c, traverse.stations.back(), table, "end", job.markD);
  }
  return job;
}

// Trigonometric heights along the traverse where its first station has a
// height and every leg a height difference; the misclosure on the last
// station where it has one, spread in proportion to the horizontal lengths.
std::optional<HeightResult> CarryHeights(const BookTraverse& traverse, const PointTable& table,
                                         std::optional<double> tolerance, double metresPerUnit,
                                         std::vector<std::string>& notes) {
  const NamedPoint& first = Known(table, traverse.stations.front(), traverse.line);
  bool anyDh = false, allDh = true;
  for (const BookLeg& leg : traverse.legs) {
    anyDh = anyDh || leg.dh.has_value();
    allDh = allDh && leg.dh.has_value();
  }
  if (!first.z || !allDh) {
    if (anyDh)
      notes.push_back(first.z ? "No heights are carried: not every leg has a slope distance "
                                "and a zenith angle."
                              : "No heights are carried: the first station '" + first.name +
                                    "' has no height.");
    return std::nullopt;
  }

  HeightResult heights;
  long double sumLength = 0, sumDh = 0;
  for (const BookLeg& leg : traverse.legs) {
    heights.dh.push_back(*leg.dh);
    sumLength += leg.length;
    sumDh += *leg.dh;
  }
  std::optional<double> lastZ;
  if (traverse.kind != TraverseKind::Open)
    lastZ = Known(table, traverse.stations.back(), traverse.line).z;
  long double misclosure = 0;
  if (lastZ) {
    misclosure = (static_cast<long double>(*first.z) + sumDh) - *lastZ;
    heights.misclosure = static_cast<double>(misclosure);
  }
  long double z = *first.z;
  const std::size_t newPoints = static_cast<std::size_t>(
      NewPointCount(traverse.kind, static_cast<int>(traverse.angles.size())));
  for (std::size_t i = 0; i < traverse.legs.size(); ++i) {
    const BookLeg& leg = traverse.legs[i];
    const long double correction = sumLength > 0 ? -misclosure * leg.length / sumLength : 0;
    heights.corrections.push_back(static_cast<double>(correction));
    z += *leg.dh + correction;
    if (i < newPoints) heights.z.push_back(static_cast<double>(z));
  }
  heights.lastZ = static_cast<double>(z);
  if (tolerance) {
    // Millimetres per root kilometre, the lengths of the job's unit.
    heights.allowed = static_cast<double>(*tolerance / 1000 / metresPerUnit *
                                          std::sqrt(sumLength * metresPerUnit / 1000));
    heights.passed = !heights.misclosure || std::fabs(*heights.misclosure) <= *heights.allowed;
  }
  return heights;
}

// A free record against the points the traverses adjusted, by the network's
// own observation equations.
Check CheckOf(const FreeObservation& free, const PointTable& table, double scale) {
  Check check{free.kind, free.line, free.at, free.from, free.to, free.value, 0};
  if (free.kind == ObservationKind::Distance) check.measured = GridLength(free.value, scale);
  const GridPoint& from = Known(table, free.from, free.line).xy;
  const GridPoint& at = free.at.empty() ? from : Known(table, free.at, free.line).xy;
  try {
    check.computed =
        ComputedValue(free.kind, at, from, Known(table, free.to, free.line).xy, check.measured);
  } catch (const PointsInOnePlace& error) {
    throw JobError(free.line, error.what());
  }
  return check;
}

// Under compass and transit: each setup on a known or computed station is
// oriented on its targets that are, and its sideshots radiated from it.
void RadiateFromTraverses(const Book& book, const PointTable& table, BookResult& out) {
  const std::vector<std::vector<char>> flags = SideshotFlags(book);
  out.sideshots.reserve(SideshotCount(flags));
  // The stations of the traverses that chains of setups make: their setups
  // are adjusted as those traverses.
  std::unordered_set<std::string_view> chained;
  for (const BookTraverse& traverse : book.traverses)
    if (traverse.fromSetups) chained.insert(traverse.stations.begin(), traverse.stations.end());
  int unadjusted = 0;
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const BookSetup& setup = book.setups[s];
    // One target besides the sideshots orients them; more would be a check.
    if (!chained.count(setup.station) && std::count(flags[s].begin(), flags[s].end(), 0) > 1)
      ++unadjusted;
    if (std::find(flags[s].begin(), flags[s].end(), 1) == flags[s].end()) continue;
    const NamedPoint* station = table.Find(setup.station);
    std::vector<std::pair<GridPoint, double>> targets;
    for (std::size_t k = 0; k < setup.directions.size(); ++k)
      if (const NamedPoint* target = table.Find(setup.directions[k].target); target && !flags[s][k])
        targets.emplace_back(target->xy, setup.directions[k].direction);
    std::optional<double> orientation;
    try {
      if (station) orientation = OrientationOf(station->xy, targets);
    } catch (const PointsInOnePlace&) {
      throw JobError(setup.line, "a target of the setup on '" + setup.station +
                                     "' lies on the station itself");
    }
    if (!orientation) {
      out.notes.push_back("The sideshots of the setup on '" + setup.station + "' (line " +
                          std::to_string(setup.line) + ") are not placed: " +
                          (station ? "no target of it is a known or computed point"
                                   : "its station is no known or computed point") +
                          " (under least squares the network may place it).");
      continue;
    }
    out.setups[s].orientation = orientation;
    Standpoint standpoint{station->xy, station->z, *orientation, std::nullopt};
    RadiateSideshots(setup, flags[s], standpoint, out.settings.scale, 0, out.settings.sigmas,
                     out.sideshots, out.notes);
  }
  if (unadjusted > 0)
    out.notes.push_back(std::to_string(unadjusted) + (unadjusted == 1 ? " setup makes" : " setups make") +
                        " no traverse: under " +
                        (out.settings.rule == Rule::Transit ? "transit" : "compass") +
                        " its directions and distances are neither adjusted nor checked "
                        "(--rule least-squares adjusts every setup in one network).");
}

}  // namespace

bool BookResult::TolerancesPassed() const {
  for (const BookTraverseResult& traverse : traverses)
    if (!traverse.result.TolerancesPassed()) return false;
  // The heights' global test is reported beside it, not in the verdict:
  // books whose zeniths passed before keep their exit status.
  return !network || (!network->globalTest.Exceeded() && network->RelativeFailures() == 0);
}

std::size_t NetworkReport::RelativeFailures() const {
  return static_cast<std::size_t>(std::count_if(relative.begin(), relative.end(),
                                                [](const RelativeReport& r) { return !r.passed; }));
}

namespace {

// AdjustBook but for the reductions of the setups (their pairs, rounds and
// directions), which the result is given by copy or by move.
BookResult AdjustWithoutReductions(const Book& book, const Settings& settings) {
  for (const NamedPoint& p : book.known)
    if (p.geographic)
      throw JobError(p.line, "the point '" + p.name +
                                 "' is given by latitude and longitude: it needs a grid (a grid "
                                 "record in the book, or --grid)");
  const bool network = settings.rule == Rule::LeastSquares;
  const bool records = !book.free.empty() || !book.setups.empty() || !book.levels.empty();
  if (book.traverses.empty() && (!records || !network))
    throw JobError(0, !records ? "the book has no traverse to adjust"
                               : std::string("the book has no traverse: a network of ") +
                                     (book.setups.empty() ? "" : "setups and ") +
                                     "angle, distance, bearing and level records alone "
                                     "needs --rule least-squares");
  BookResult out;
  out.source = book.source;
  out.title = book.title;
  out.settings = settings;
  out.known = book.known;
  out.sigmaRecords = book.sigmaRecords;
  out.notes = book.notes;
  std::size_t stations = 0;
  for (const BookTraverse& traverse : book.traverses) stations += traverse.stations.size();
  out.points.reserve(stations);
  PointTable table(book.known.size() + stations);
  for (const NamedPoint& point : book.known) table.Set(point);
  // The traverse (its index) that computed each new point.
  NameIndex<std::size_t> computedBy(stations);

  // Under least squares every traverse is computed by the compass rule
  // first, for its misclosures and the network's approximate coordinates.
  Settings firstLook = settings;
  if (network) {
    firstLook.rule = Rule::Compass;
    firstLook.blunderSearch = false;
  }
  out.traverses.reserve(book.traverses.size());
  for (const BookTraverse& traverse : book.traverses) {
    BookTraverseResult adjusted;
    adjusted.name = traverse.name;
    adjusted.line = traverse.line;
    adjusted.job = LayOutJob(traverse, book.source, firstLook, table);
    if (traverse.start.bearing)
      adjusted.startMarkBearing = NormalisedGon(static_cast<long double>(*traverse.start.bearing));
    if (traverse.end && traverse.end->bearing)
      adjusted.endMarkBearing = NormalisedGon(static_cast<long double>(*traverse.end->bearing));
    try {
      adjusted.result = Adjust(adjusted.job);
    } catch (const JobError& error) {
      throw JobError(error.line(), "traverse " + traverse.name + ": " + error.what());
    }
    if (!adjusted.startMarkBearing)
      adjusted.startMarkBearing =
          NormalisedGon(static_cast<long double>(adjusted.result.startBearing) + 200);
    if (!adjusted.endMarkBearing) adjusted.endMarkBearing = adjusted.result.endBearing;
    adjusted.legs = traverse.legs;
    Adjustment& result = adjusted.result;
    result.heights = CarryHeights(traverse, table, settings.heightTolerance,
                                  settings.sigmas.metresPerUnit, result.notes);
    for (const std::string* end : {&traverse.stations.front(), &traverse.stations.back(),
                                   &traverse.start.point, traverse.end ? &traverse.end->point : nullptr}) {
      const std::size_t* above = end && !end->empty() ? computedBy.Find(*end) : nullptr;
      auto& fromAbove = adjusted.fromAbove;
      if (!above || std::any_of(fromAbove.begin(), fromAbove.end(),
                                [&](const auto& taken) { return taken.first.name == *end; }))
        continue;
      fromAbove.emplace_back(*table.Find(*end), *above);
      const BookTraverseResult& from = out.traverses[*above];
      if (from.result.TolerancesPassed() || adjusted.inheritsFrom) continue;
      adjusted.inheritsFrom = *above;
      result.notes.push_back("It starts or ends on '" + *end + "' of traverse " + from.name +
                             " (line " + std::to_string(from.line) + "), which " +
                             (from.result.gross ? "was GROSS" : "EXCEEDED its tolerances") +
                             ": that error is in this traverse's figures too.");
    }

    const LeastSquaresResult* ls = result.leastSquares ? &*result.leastSquares : nullptr;
    for (std::size_t i = 0; i < result.points.size(); ++i) {
      NewPoint point;
      point.point.name = traverse.stations[i + 1];
      point.point.xy = result.points[i];
      point.point.line = traverse.line;
      if (result.heights) point.point.z = result.heights->z[i];
      if (ls && i < ls->precision.size()) point.precision = ls->precision[i];
      out.points.push_back(std::move(point));
      table.Set(out.points.back().point);
      computedBy.Set(out.points.back().point.name, out.traverses.size());
    }
    out.traverses.push_back(std::move(adjusted));
  }
  // Each setup's reduction, not the pointings it was reduced from: no report
  // shows those, and a large book's would double what the run holds.
  out.setups.reserve(book.setups.size());
  for (const BookSetup& s : book.setups)
    out.setups.push_back({BookSetup{.station = s.station, .line = s.line, .hi = s.hi,
                                    .inForce = s.inForce, .readings = {}, .pairs = {},
                                    .rounds = {}, .directions = {},
                                    .collimation = s.collimation, .indexError = s.indexError,
                                    .directionSigma = s.directionSigma,
                                    .degreesOfFreedom = s.degreesOfFreedom, .file = s.file},
                          {}, {}, {}, {}});
  if (network) {
    AdjustNetworkOfBook(book, out);
  } else {
    for (const FreeObservation& free : book.free)
      out.checks.push_back(CheckOf(free, table, settings.scale));
    RadiateFromTraverses(book, table, out);
    if (!book.levels.empty())
      out.notes.push_back("The " + std::to_string(book.levels.size()) +
                          " levelling records are adjusted under --rule least-squares only: "
                          "under " + (settings.rule == Rule::Compass ? "compass" : "transit") +
                          " the heights are carried along each traverse.");
    // Relative precision needs the covariances of least squares.
    if (!book.relative.empty() || settings.relativeTolerance)
      out.notes.push_back(std::string("No relative precision: ") +
                          (book.relative.empty() ? "the relative tolerance"
                                                 : "the 'relative' records (line " +
                                                       std::to_string(book.relative.front().line) + ")") +
                          " apply under least squares only.");
  }
  return out;
}

}  // namespace

BookResult AdjustBook(const Book& book, const Settings& settings) {
  if (settings.grid) return AdjustBookOnGrid(book, settings);
  BookResult out = AdjustWithoutReductions(book, settings);
  if (settings.placeOnly) return out;  // its places alone are read
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    out.setups[s].setup.pairs = book.setups[s].pairs;
    out.setups[s].setup.rounds = book.setups[s].rounds;
    out.setups[s].setup.directions = book.setups[s].directions;
  }
  return out;
}

BookResult AdjustBook(Book&& book, const Settings& settings) {
  if (settings.grid) return AdjustBookOnGrid(std::move(book), settings);
  BookResult out = AdjustWithoutReductions(book, settings);
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    out.setups[s].setup.pairs = std::move(book.setups[s].pairs);
    out.setups[s].setup.rounds = std::move(book.setups[s].rounds);
    out.setups[s].setup.directions = std::move(book.setups[s].directions);
  }
  return out;
}

BookResult AnswerFileResult(const Job& job, const Adjustment& result) {
  BookResult out;
  out.source = job.source;
  out.answerFile = true;
  out.settings = job.settings;
  out.known.push_back({"A", job.a, std::nullopt, 0, {}, {}, {}, {}, {}});
  out.known.push_back({"B", job.b, std::nullopt, 0, {}, {}, {}, {}, {}});
  if (result.kind == TraverseKind::Connecting || result.kind == TraverseKind::NoEndOrientation)
    out.known.push_back({"C", job.c, std::nullopt, 0, {}, {}, {}, {}, {}});
  if (result.kind == TraverseKind::Connecting) out.known.push_back({"D", job.d, std::nullopt, 0, {}, {}, {}, {}, {}});
  BookTraverseResult traverse;
  traverse.name = "1";
  traverse.job = job;
  traverse.result = result;
  std::vector<std::string>& stations = traverse.job.stations;
  stations.push_back("B");
  for (std::size_t i = 0; i < result.points.size(); ++i) {
    stations.push_back(std::to_string(i + 1));
    NewPoint point;
    point.point = {stations.back(), result.points[i], std::nullopt, 0, {}, {}, {}, {}, {}};
    if (result.leastSquares && i < result.leastSquares->precision.size())
      point.precision = result.leastSquares->precision[i];
    out.points.push_back(std::move(point));
  }
  // A loop's last station is B again, which the report calls C.
  if (result.kind != TraverseKind::Open) stations.push_back("C");
  // A loop ends oriented on A, as it began: one mark.
  traverse.job.markA = "A";
  if (result.kind == TraverseKind::Connecting) traverse.job.markD = "D";
  out.traverses.push_back(std::move(traverse));
  return out;
}

}  // namespace traverse
