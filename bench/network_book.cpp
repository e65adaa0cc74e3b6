// The whole field-book path of a network in one process, beside one
// factorisation of the network's normal matrix: reading the book
// (ReadFieldBook), adjusting it as `traverse adjust --rule least-squares`
// does (AdjustBook: every traverse's compass first look, then the network on
// the sparse solver with every ellipse and w) and writing its JSON report
// (FormatJson); and one SimplicialLDLT with AMD ordering of the normal
// matrix of the same points and observations (pattern analysis and numbers).
// The whole path should cost no more than about ten of those.
//
//   python3 bench/make_grid_book.py 40 > grid_40.book
//   network_book grid_40.book [runs]
//
// Medians of `runs` rounds (5 by default), each round all four in turn.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <Eigen/SparseCholesky>

#include "adjustment/book.hpp"
#include "adjustment/reduction.hpp"
#include "network/network.hpp"
#include "input/field_book.hpp"
#include "report/writers.hpp"

namespace traverse::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The network's points and observations as the book's traverses give them
// (a book of traverses oriented on named points, as make_grid_book.py
// writes), at the adjusted coordinates: the normal matrix the adjustment
// factors, up to the coordinates it is formed at.
NetworkNormals NormalsOfBook(const Book& book, const BookResult& result) {
  std::vector<NetworkPoint> points;
  std::map<std::string, int> index;
  for (const NamedPoint& p : result.known) {
    index.emplace(p.name, static_cast<int>(points.size()));
    points.push_back({p.xy, true});
  }
  for (const NewPoint& p : result.points) {
    index.emplace(p.point.name, static_cast<int>(points.size()));
    points.push_back({p.point.xy, false});
  }
  const Sigmas& sigmas = result.settings.sigmas;
  std::vector<Observation> observations;
  for (const BookTraverse& t : book.traverses) {
    const std::vector<std::string>& s = t.stations;
    for (std::size_t i = 0; i < t.angles.size(); ++i) {
      const std::string& back = i == 0 ? t.start.point : s[i - 1];
      const std::string& ahead = i + 1 == s.size() ? t.end->point : s[i + 1];
      observations.push_back({ObservationKind::Angle, index.at(s[i]), index.at(back),
                              index.at(ahead), t.angles[i].value, sigmas.angleGon});
    }
    for (std::size_t j = 0; j < t.legs.size(); ++j) {
      const double length = t.legs[j].length;
      observations.push_back({ObservationKind::Distance, -1, index.at(s[j]),
                              index.at(s[j + 1]), length,
                              sigmas.lengthMetres + sigmas.lengthPpm * 1e-6 * length});
    }
  }
  return NormalsOfNetwork(points, observations);
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: network_book BOOK [runs]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::ifstream file(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }

  Settings settings;  // as `traverse adjust --rule least-squares`
  settings.rule = Rule::LeastSquares;
  ReportOptions options;
  options.version = "bench";

  std::vector<double> reading, adjusting, writing, whole, factoring;
  std::size_t bytes = 0, points = 0;
  int unknowns = 0;
  for (int round = 0; round < runs; ++round) {
    const Clock::time_point start = Clock::now();
    Book book = ReadFieldBook(text, argv[1], FileAccess{});
    ReduceBook(book);
    const Clock::time_point read = Clock::now();
    const BookResult result = AdjustBook(book, settings);
    const Clock::time_point adjusted = Clock::now();
    const std::string json = FormatJson(result, options);
    const Clock::time_point written = Clock::now();
    reading.push_back(Milliseconds(start, read));
    adjusting.push_back(Milliseconds(read, adjusted));
    writing.push_back(Milliseconds(adjusted, written));
    whole.push_back(Milliseconds(start, written));
    bytes = json.size();
    points = result.points.size();
    if (!result.network || !result.network->converged) {
      std::fprintf(stderr, "the network did not converge\n");
      return 1;
    }

    NetworkNormals normals = NormalsOfBook(book, result);
    unknowns = normals.unknowns;
    const Eigen::Map<const Eigen::SparseMatrix<double>> n(
        normals.unknowns, normals.unknowns, static_cast<Eigen::Index>(normals.values.size()),
        normals.columnStarts.data(), normals.rows.data(), normals.values.data());
    const Clock::time_point before = Clock::now();
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>>
        factor;
    factor.analyzePattern(n);
    factor.factorize(n);
    const Clock::time_point after = Clock::now();
    if (factor.info() != Eigen::Success) {
      std::fprintf(stderr, "the normal matrix is singular\n");
      return 1;
    }
    factoring.push_back(Milliseconds(before, after));
  }

  const double path = Median(whole), factorisation = Median(factoring);
  std::printf("%s: %zu new points, %d unknowns, JSON %zu bytes; medians of %d rounds\n", argv[1],
              points, unknowns, bytes, runs);
  std::printf("  read %.1f ms, adjust %.1f ms, JSON %.1f ms: whole path %.1f ms\n",
              Median(reading), Median(adjusting), Median(writing), path);
  std::printf("  one factorisation %.1f ms; whole path = %.1f factorisations (goal: at most 10)\n",
              factorisation, path / factorisation);
  return 0;
}

}  // namespace
}  // namespace traverse::bench

int main(int argc, char** argv) {
  return traverse::bench::Run(argc, argv);
}
