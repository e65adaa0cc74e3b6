// The sparse network adjustment on a G x G grid of junctions 400 m apart,
// every edge a traverse with two stations between its junctions (angles at
// every station, distances along), the four corners fixed. Beside it, one
// factorisation (pattern analysis and numbers) of its normal matrix: the
// whole adjustment, with every point's ellipse and every observation's w,
// should cost no more than about ten of those. AdjustGridOfSetups measures
// the same grid with a setup on every station and junction instead, the
// angles' sights as directions with an orientation unknown each.
//   network_bench --benchmark_filter='/40$'   (about 7,800 points)
//   network_bench --benchmark_filter='/100$'  (about 49,000 points)
//   network_bench --benchmark_filter='AdjustGrid.*/40$'  (angles beside directions)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include <Eigen/SparseCholesky>

#include "network/network.hpp"

namespace traverse::bench {
namespace {

struct Grid {
  std::vector<NetworkPoint> points;
  std::vector<Observation> observations;
  std::vector<NetworkSetup> setups;
};

double Bearing(const GridPoint& from, const GridPoint& to) {
  const double t = std::atan2(to.y - from.y, to.x - from.x) * gonPerRadian;
  return t < 0 ? t + 400 : t;
}

// The grid measured with normal noise of the sigmas, from a fixed seed; the
// free points start 5 cm or so off the truth.
Grid MakeGrid(int g, bool setups) {
  std::mt19937 random(1729);
  std::uniform_real_distribution<double> offGrid(-20, 20), offLine(-15, 15);
  std::normal_distribution<double> unit(0, 1);
  std::vector<GridPoint> truth;
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j)
      truth.push_back({400.0 * i + offGrid(random), 400.0 * j + offGrid(random)});

  const double angleSigma = 0.001;
  Grid grid;
  std::vector<std::vector<int>> sighted(truth.size());  // of setups: each station's targets
  auto angle = [&](int at, int from, int to) {
    if (setups) {
      sighted.resize(std::max(sighted.size(), static_cast<std::size_t>(at) + 1));
      std::vector<int>& targets = sighted[static_cast<std::size_t>(at)];
      for (int p : {from, to})
        if (std::find(targets.begin(), targets.end(), p) == targets.end()) targets.push_back(p);
      return;
    }
    const auto p = [&](int k) { return truth[static_cast<std::size_t>(k)]; };
    double value = Bearing(p(at), p(to)) - Bearing(p(at), p(from)) + angleSigma * unit(random);
    if (value < 0) value += 400;
    grid.observations.push_back({ObservationKind::Angle, at, from, to, value, angleSigma});
  };
  auto distance = [&](int from, int to) {
    const GridPoint &p = truth[static_cast<std::size_t>(from)],
                    &q = truth[static_cast<std::size_t>(to)];
    const double s = std::hypot(q.x - p.x, q.y - p.y), sigma = 0.003 + 2e-6 * s;
    grid.observations.push_back(
        {ObservationKind::Distance, -1, from, to, s + sigma * unit(random), sigma});
  };

  // Each edge's traverse: junction, two stations a little off the line, junction.
  std::vector<std::vector<int>> sights(truth.size());  // from each junction, its first stations
  auto traverse = [&](int a, int b) {
    // Copies: the stations are added to `truth` below.
    const GridPoint p = truth[static_cast<std::size_t>(a)], q = truth[static_cast<std::size_t>(b)];
    int first = static_cast<int>(truth.size());
    for (double share : {1.0 / 3, 2.0 / 3})
      truth.push_back({p.x + share * (q.x - p.x) + offLine(random),
                       p.y + share * (q.y - p.y) + offLine(random)});
    const int line[] = {a, first, first + 1, b};
    for (int k = 1; k <= 2; ++k) angle(line[k], line[k - 1], line[k + 1]);
    for (int k = 0; k < 3; ++k) distance(line[k], line[k + 1]);
    sights[static_cast<std::size_t>(a)].push_back(first);
    sights[static_cast<std::size_t>(b)].push_back(first + 1);
  };
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j) {
      if (j + 1 < g) traverse(i * g + j, i * g + j + 1);
      if (i + 1 < g) traverse(i * g + j, (i + 1) * g + j);
    }
  // At a junction, the angles between its traverses in turn, clockwise.
  for (int k = 0; k < g * g; ++k) {
    std::vector<int>& around = sights[static_cast<std::size_t>(k)];
    const GridPoint at = truth[static_cast<std::size_t>(k)];
    std::sort(around.begin(), around.end(), [&](int a, int b) {
      return Bearing(at, truth[static_cast<std::size_t>(a)]) <
             Bearing(at, truth[static_cast<std::size_t>(b)]);
    });
    for (std::size_t s = 1; s < around.size(); ++s) angle(k, around[s - 1], around[s]);
  }

  // A setup's circle turned anyhow, its approximation a few cc off.
  for (std::size_t at = 0; at < sighted.size(); ++at) {
    if (sighted[at].empty()) continue;
    const double orientation = std::fmod(137.0 * static_cast<double>(at), 400);
    const int setup = static_cast<int>(grid.setups.size());
    grid.setups.push_back({static_cast<int>(at), orientation + 0.003 * unit(random)});
    for (int to : sighted[at]) {
      const double sigma = angleSigma / std::sqrt(2.0);
      const double value = Bearing(truth[at], truth[static_cast<std::size_t>(to)]) - orientation;
      grid.observations.push_back({ObservationKind::Direction, -1, static_cast<int>(at), to,
                                   WithinTurn(value + sigma * unit(random)), sigma});
      grid.observations.back().setup = setup;
    }
  }

  const int corners[] = {0, g - 1, g * (g - 1), g * g - 1};
  for (std::size_t p = 0; p < truth.size(); ++p) {
    const bool fixed = std::count(std::begin(corners), std::end(corners), static_cast<int>(p)) > 0;
    const double dx = fixed ? 0 : 0.05 * unit(random), dy = fixed ? 0 : 0.05 * unit(random);
    grid.points.push_back({{truth[p].x + dx, truth[p].y + dy}, fixed});
  }
  return grid;
}

const Grid& GridOf(int g, bool setups = false) {
  static std::map<std::pair<int, bool>, Grid> grids;
  auto [at, made] = grids.try_emplace({g, setups});
  if (made) at->second = MakeGrid(g, setups);
  return at->second;
}

// One SimplicialLDLT with AMD ordering of the grid's normal matrix, from
// its pattern to its numbers.
void FactoriseGrid(benchmark::State& state) {
  const Grid& grid = GridOf(static_cast<int>(state.range(0)));
  NetworkNormals normals = NormalsOfNetwork(grid.points, grid.observations);
  const Eigen::Map<const Eigen::SparseMatrix<double>> n(
      normals.unknowns, normals.unknowns, static_cast<Eigen::Index>(normals.values.size()),
      normals.columnStarts.data(), normals.rows.data(), normals.values.data());
  for (auto _ : state) {
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>>
        factor;
    factor.analyzePattern(n);
    factor.factorize(n);
    if (factor.info() != Eigen::Success)
      state.SkipWithError("the grid's normal matrix is singular");
    state.counters["factor_entries"] =
        static_cast<double>(factor.matrixL().nestedExpression().nonZeros());
  }
  state.counters["unknowns"] = normals.unknowns;
}
BENCHMARK(FactoriseGrid)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond);

// The whole adjustment: every iteration, ellipse and w (and, of setups,
// every orientation's sigma and covariance with its station).
void Adjust(benchmark::State& state, bool setups) {
  const Grid& grid = GridOf(static_cast<int>(state.range(0)), setups);
  for (auto _ : state) {
    NetworkResult result = AdjustNetwork(grid.points, grid.observations, grid.setups);
    if (!result.converged) state.SkipWithError("no convergence");
    state.counters["iterations"] = result.iterations;
    state.counters["sigma0"] = result.sigma0;
    benchmark::DoNotOptimize(result);
  }
  state.counters["points"] = static_cast<double>(grid.points.size());
}
void AdjustGrid(benchmark::State& state) {
  Adjust(state, false);
}
BENCHMARK(AdjustGrid)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond);
void AdjustGridOfSetups(benchmark::State& state) {
  Adjust(state, true);
}
BENCHMARK(AdjustGridOfSetups)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace traverse::bench
