// A field book's heights adjusted as a network of their own under least
// squares, beside the plan's: every trigonometric height difference the
// reduction made (traverse legs, free distances, setups) and every levelling
// line, the known heights held fixed.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "adjustment/book.hpp"
#include "adjustment/book_setups.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/reduction.hpp"
#include "network/network.hpp"

namespace traverse {
namespace {

// The sigma of one kilometre of levelling where no `sigma level` sets it.
constexpr double defaultLevelMetres = 0.001;

// The network's points by name, with the heights known and first computed.
class HeightPoints {
 public:
  int Add(const std::string& name) {
    const auto [at, added] = index_.try_emplace(name, static_cast<int>(names_.size()));
    if (added) {
      names_.push_back(name);
      points_.push_back({});
    }
    return at->second;
  }
  void Fix(const std::string& name, double z) {
    if (const auto found = index_.find(name); found != index_.end())
      points_[static_cast<std::size_t>(found->second)] = {z, true};
  }
  void Start(const std::string& name, double z) {
    if (const auto found = index_.find(name); found != index_.end())
      if (!points_[static_cast<std::size_t>(found->second)].fixed)
        points_[static_cast<std::size_t>(found->second)].z = z;
  }
  int Find(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? -1 : found->second;
  }
  const std::string& Name(int i) const { return names_[static_cast<std::size_t>(i)]; }
  const std::vector<HeightPoint>& points() const { return points_; }

 private:
  std::unordered_map<std::string, int> index_;
  std::vector<std::string> names_;
  std::vector<HeightPoint> points_;
};

// A trigonometric difference's report and equation from a slope distance and
// its face-one zenith.
struct Collected {
  std::vector<Observation> observations;
  std::vector<ObservationReport> reports;

  void Add(HeightPoints& points, const std::string& from, const std::string& to, double dh,
           double sigma, int line, bool levelled, int setupLine = 0) {
    observations.push_back(
        {ObservationKind::HeightDifference, -1, points.Add(from), points.Add(to), dh, sigma});
    ObservationReport r;
    r.ref.kind = ObservationKind::HeightDifference;
    r.line = line;
    r.from = from;
    r.to = to;
    r.free = true;
    r.setup = setupLine;
    r.levelled = levelled;
    reports.push_back(std::move(r));
  }
};

void CollectTrigonometric(const Book& book, const std::vector<std::vector<char>>& sideshot,
                          const BookResult& out, HeightPoints& points, Collected& into) {
  const Settings& settings = out.settings;
  const auto trigonometric = [&](const std::string& from, const std::string& to,
                                 const BookLeg& leg, const SigmaSettings& inForce,
                                 std::optional<double> ownSigma) {
    if (!leg.dh || !leg.slopeMean || !leg.zenithMean) return;
    const double slopeSigma =
        ownSigma ? FromMetres(*ownSigma, settings) : (LengthSigma(LengthSigmas(inForce, settings.sigmas), *leg.slopeMean));
    into.Add(points, from, to, *leg.dh,
             TrigonometricSigma(*leg.slopeMean, *leg.zenithMean, slopeSigma,
                                DirectionSigma(inForce, settings.sigmas.angleGon)),
             leg.line, false);
  };
  for (const BookTraverse& traverse : book.traverses) {
    if (traverse.fromSetups) continue;  // its setups' differences stand for it
    for (std::size_t j = 0; j < traverse.legs.size(); ++j)
      trigonometric(traverse.stations[j], traverse.stations[j + 1], traverse.legs[j],
                    traverse.sigmas, std::nullopt);
  }
  for (const FreeObservation& free : book.free)
    if (free.kind == ObservationKind::Distance)
      trigonometric(free.from, free.to, free.distance, free.inForce, free.sigma);
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const BookSetup& setup = book.setups[s];
    const double zenithSigma = DirectionSigma(setup, settings.sigmas.angleGon);
    const Sigmas lengthSigmas = LengthSigmas(setup.inForce, settings.sigmas);
    for (std::size_t k = 0; k < setup.directions.size(); ++k) {
      const SetupDirection& d = setup.directions[k];
      if (sideshot[s][k] || !d.dh || !d.zenith) continue;
      // A horizontal distance levels as the slope distance it stands for.
      const double slope =
          d.slope ? *d.slope : *d.horizontal / std::sin(*d.zenith / gonPerRadian);
      into.Add(points, setup.station, d.target, *d.dh,
               TrigonometricSigma(slope, *d.zenith, LengthSigma(lengthSigmas, slope), zenithSigma),
               d.line, false, setup.line);
    }
  }
}

}  // namespace

void AdjustHeightsOfBook(const Book& book, const std::vector<std::vector<char>>& sideshot,
                         BookResult& out) {
  HeightPoints points;
  Collected collected;
  CollectTrigonometric(book, sideshot, out, points, collected);
  for (const LevelRecord& level : book.levels)
    collected.Add(points, level.from, level.to, level.dh,
                  FromMetres(LevellingSigma(level, defaultLevelMetres), out.settings),
                  level.line, true);
  if (collected.observations.empty()) return;

  // Approximate heights from the traverses' first look, then the known
  // heights held fixed.
  for (const NewPoint& p : out.points)
    if (p.point.z) points.Start(p.point.name, *p.point.z);
  bool anyFixed = false;
  for (const NamedPoint& known : out.known)
    if (known.z && points.Find(known.name) >= 0) {
      points.Fix(known.name, *known.z);
      anyFixed = true;
    }
  for (const Benchmark& mark : book.benchmarks)
    if (points.Find(mark.name) >= 0) {
      points.Fix(mark.name, mark.z);
      anyFixed = true;
    }
  if (!anyFixed) {
    const std::string fix = "give one of its points a known height (point NAME X Y Z, or "
                            "benchmark NAME Z for a mark without coordinates)";
    if (!book.levels.empty())
      throw JobError(book.levels.front().line,
                     "the heights cannot be adjusted: no point the levelling and the "
                     "trigonometric height differences join has a known height; " + fix);
    out.notes.push_back("No heights are adjusted: no point that the trigonometric height "
                        "differences join has a known height; " + fix + ".");
    return;
  }

  HeightNetworkResult network;
  try {
    network = AdjustHeights(points.points(), collected.observations);
  } catch (const NetworkError& error) {
    if (error.point() < 0) throw JobError(0, error.what());
    const int p = error.point();
    const auto first = std::find_if(
        collected.observations.begin(), collected.observations.end(),
        [p](const Observation& o) { return o.from == p || o.to == p; });
    throw JobError(collected.reports[static_cast<std::size_t>(first - collected.observations.begin())].line,
                   "the heights do not reach a known height from '" + points.Name(p) +
                       "': join it by a levelling line or a slope distance with a zenith angle "
                       "(with hi and ht) to a point of known height, or give it a height");
  }

  HeightNetworkReport report;
  static_cast<AdjustmentStatistics&>(report) = network;
  if (!out.network) out.network.emplace();
  std::vector<ObservationReport>& all = out.network->observations;
  const std::size_t first = all.size();
  for (std::size_t k = 0; k < collected.reports.size(); ++k) {
    ObservationReport& r = collected.reports[k];
    static_cast<ObservationFigures&>(r) = network.observations[k];
    r.ref.observation = first + k;
  }
  report.suspect = FindSuspect(collected.reports);
  all.insert(all.end(), std::make_move_iterator(collected.reports.begin()),
             std::make_move_iterator(collected.reports.end()));

  std::vector<char> isNew(points.points().size(), 0);
  for (NewPoint& p : out.points) {
    const int i = points.Find(p.point.name);
    if (i < 0) continue;
    isNew[static_cast<std::size_t>(i)] = 1;
    p.point.z = network.heights[static_cast<std::size_t>(i)];
    p.sigmaZ = network.sigma[static_cast<std::size_t>(i)];
  }
  for (std::size_t i = 0; i < isNew.size(); ++i)
    if (!isNew[i] && network.sigma[i])
      report.heightsOnly.push_back({points.Name(static_cast<int>(i)), network.heights[i],
                                     *network.sigma[i]});
  if (!report.converged)
    out.notes.push_back("The height network's least-squares iteration did not converge.");
  out.heightNetwork = std::move(report);
}

}  // namespace traverse
