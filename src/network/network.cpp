#include "network/network.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <stdexcept>
#include <string>

#include <Eigen/SparseCholesky>

#include "network/gauss_newton.hpp"
#include "network/selected_inverse.hpp"

namespace traverse {
namespace {

using Kind = ObservationKind;

// A pivot below this share of its diagonal entry of N is taken for zero: a
// singular N leaves rounding noise of about 1e-16 there, while a point held
// so loosely that it comes near would have lost every figure of its
// cofactors anyway.
constexpr double smallestPivot = 1e-12;
// A bearing held fixed whose largest coefficient, once the bearings before it
// are put in, is below this share of its own largest one constrains nothing
// new: it repeats or contradicts what is fixed already.
constexpr double nothingNew = 1e-9;

using Factor =
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower, Eigen::AMDOrdering<int>>;

bool Held(const Observation& observation) {
  return observation.kind == Kind::Bearing && observation.sigma == 0;
}

// Adds a to the coefficient of `unknown` among `terms` from `first` on, or
// appends it; the same unknown may come in from several points once the
// bearings held fixed are put in.
void Add(std::vector<Term>& terms, std::size_t first, int unknown, double a) {
  for (std::size_t t = first; t < terms.size(); ++t)
    if (terms[t].unknown == unknown) {
      terms[t].a += a;
      return;
    }
  terms.push_back({unknown, a});
}

// What the caller must never pass: it is a fault of the program, not of the
// data. A network of heights has height differences alone, a plan network none.
void CheckInput(std::size_t points, const std::vector<Observation>& observations,
                const std::vector<NetworkSetup>& setups, bool heights) {
  const int n = static_cast<int>(points);
  auto valid = [n](int p) { return p >= 0 && p < n; };
  for (const NetworkSetup& setup : setups)
    if (!valid(setup.station))
      throw std::invalid_argument("network: a setup's station out of range");
  for (const Observation& o : observations) {
    const bool angle = o.kind == Kind::Angle;
    if (!valid(o.from) || !valid(o.to) || (angle && !valid(o.at)) || o.from == o.to ||
        (angle && (o.at == o.from || o.at == o.to)))
      throw std::invalid_argument("network: an observation names a point out of range or twice");
    if ((o.kind == Kind::HeightDifference) != heights)
      throw std::invalid_argument("network: a height difference among the plan's observations, or "
                                  "a plan observation among the heights'");
    if (o.kind == Kind::Direction && (o.setup < 0 || o.setup >= static_cast<int>(setups.size()) ||
                                      setups[static_cast<std::size_t>(o.setup)].station != o.from))
      throw std::invalid_argument("network: a direction not from the station of a setup");
    if (!(o.sigma > 0) && !Held(o))
      throw std::invalid_argument("network: a sigma that is not positive");
  }
}

}  // namespace

// Angles and directions are blind to shifts, rotation and scale (a
// direction's orientation is an unknown of its own), a bearing to all but the
// rotation, a distance to all but the scale; a fixed point stops the shifts,
// or, with a second one apart from it, all four.
void CheckDatum(const std::vector<NetworkPoint>& points,
                const std::vector<Observation>& observations) {
  const NetworkPoint* first = nullptr;
  for (const NetworkPoint& p : points) {
    if (!p.fixed) continue;
    if (!first)
      first = &p;
    else if (p.approximate.x != first->approximate.x || p.approximate.y != first->approximate.y)
      return;
  }
  if (!first)
    throw NetworkError("the network has no datum: no known point, so its position is free; give "
                       "one of its points known coordinates");
  auto any = [&](Kind kind) {
    return std::any_of(observations.begin(), observations.end(),
                       [kind](const Observation& o) { return o.kind == kind; });
  };
  for (const auto& [kind, what] :
       {std::pair{Kind::Bearing, "bearing"}, {Kind::Distance, "distance"}})
    if (!any(kind))
      throw NetworkError(std::string("the network has no datum: one known point and no ") + what +
                         " or second known point, so its " +
                         (kind == Kind::Bearing ? "rotation" : "scale") + " is free; add a " +
                         what + " or a second known point");
}

namespace {

// A bearing held fixed, eliminated: one unknown (the slave) expressed by the
// others it shares the linearised bearing with, x_s = constant + sum g_j x_j.
// Elimination keeps the bearing exact in every iteration, adds nothing to N
// and leaves its condition as the other observations make it; a weight large
// enough to hold the bearing to a fraction of a cc would instead swamp the
// figures of the other observations at the same unknowns.
struct Expansion {
  int slave = -1;
  double constant = 0;
  std::vector<Term> terms;  // the remaining unknowns (none of them a slave)
};

// The network as a system of observation equations, relinearised per
// iteration, with the pattern of its normal matrix laid down once; the
// System of AdjustByGaussNewton.
class System {
 public:
  System(const std::vector<NetworkPoint>& points, const std::vector<Observation>& observations,
         const std::vector<NetworkSetup>& setups)
      : observations_(observations), index_(points.size()) {
    CheckInput(points.size(), observations, setups, false);
    at_.reserve(points.size());
    for (std::size_t p = 0; p < points.size(); ++p) {
      at_.push_back(points[p].approximate);
      if (points[p].fixed) continue;
      index_.Add(static_cast<int>(p), Unknown::X);
      index_.Add(static_cast<int>(p), Unknown::Y);
    }
    // The orientations last, each setup's once, with the longest sight
    // that turns with it.
    pointUnknowns_ = index_.size();
    for (const NetworkSetup& setup : setups) orientations_.push_back(setup.orientation);
    longest_.assign(setups.size(), 0.0);
    for (const Observation& o : observations) {
      if (o.kind != Kind::Direction) continue;
      const std::size_t s = static_cast<std::size_t>(o.setup);
      const int owner = static_cast<int>(points.size() + s);
      if (index_.Find(owner, Unknown::Orientation) < 0) index_.Add(owner, Unknown::Orientation);
      const GridPoint &from = at_[static_cast<std::size_t>(o.from)],
                      &to = at_[static_cast<std::size_t>(o.to)];
      longest_[s] = std::max(longest_[s], std::hypot(to.x - from.x, to.y - from.y));
    }
    for (std::size_t i = 0; i < observations.size(); ++i)
      if (Held(observations[i])) held_.push_back(i);
    if (Unknowns() > 0) CheckDatum(points, observations);
    if (Redundancy() <= 0)
      throw NetworkError("the network has no redundancy: " + std::to_string(observations.size()) +
                         " observations for " + std::to_string(Unknowns()) + " unknowns");
    Relinearise(true);
    LayDownPattern();
  }

  // A network of heights: one unknown per free point, its height; height
  // differences are linear, so one iteration is the solution. It may have
  // no redundancy (heights carried along a line from one known height).
  System(const std::vector<HeightPoint>& points, const std::vector<Observation>& observations)
      : observations_(observations), index_(points.size()) {
    heightsOnly_ = true;
    CheckInput(points.size(), observations, {}, true);
    at_.assign(points.size(), GridPoint{});
    for (std::size_t p = 0; p < points.size(); ++p) {
      heights_.push_back(points[p].z);
      if (!points[p].fixed) index_.Add(static_cast<int>(p), Unknown::Height);
    }
    pointUnknowns_ = index_.size();
    Relinearise(true);
    LayDownPattern();
  }

  // The unknowns the iteration moves; those of N are fewer by one per
  // bearing held fixed.
  int Unknowns() const { return index_.size(); }
  int Reduced() const { return static_cast<int>(rawOfReduced_.size()); }
  int Redundancy() const { return static_cast<int>(observations_.size()) - Unknowns(); }
  std::size_t Observations() const { return observations_.size(); }
  const std::vector<GridPoint>& Coordinates() const { return at_; }
  const std::vector<double>& Heights() const { return heights_; }
  const std::vector<double>& Orientations() const { return orientations_; }
  const UnknownIndex& Index() const { return index_; }
  const Eigen::SparseMatrix<double>& Normals() const { return normals_; }

  void Linearise() {
    if (moved_) Relinearise(false);
    moved_ = false;
  }

  // N and n = AᵀPl from the standardised rows of the current linearisation.
  void Assemble() {
    std::fill_n(normals_.valuePtr(), normals_.nonZeros(), 0.0);
    rightHandSide_.setZero(Reduced());
    for (std::size_t i = 0; i < observations_.size(); ++i) {
      const double sigma = observations_[i].sigma;
      const double l = misclosure_[i] / sigma;
      for (std::size_t s = rowStart_[i]; s < rowStart_[i + 1]; ++s) {
        const double as = terms_[s].a / sigma;
        rightHandSide_[terms_[s].unknown] += as * l;
        for (std::size_t t = rowStart_[i]; t < rowStart_[i + 1]; ++t)
          if (terms_[s].unknown >= terms_[t].unknown)
            *Entry(terms_[s].unknown, terms_[t].unknown) += as * terms_[t].a / sigma;
      }
    }
  }

  // Factors N (its pattern analysed on the first call only) and solves for
  // the corrections; throws NetworkError naming the point or the setup at
  // the first pivot that is zero but for rounding.
  void Solve(Eigen::VectorXd& dx) {
    if (Reduced() == 0) return;  // the bearings held fixed place every point
    Assemble();
    if (!analysed_) factor_.analyzePattern(normals_);
    analysed_ = true;
    factor_.factorize(normals_);
    pivots_ = factor_.vectorD();
    const auto& original = factor_.permutationPinv().indices();
    for (int k = 0; k < Reduced(); ++k) {
      const int j = original[k];
      const double diagonal = normals_.valuePtr()[normals_.outerIndexPtr()[j]];
      // Eigen stops at an exact zero pivot, leaving it in D: found here first.
      if (!(pivots_[k] > smallestPivot * diagonal)) {
        const int owner = index_.Owner(rawOfReduced_[static_cast<std::size_t>(j)]);
        const int setup = owner - static_cast<int>(at_.size());
        if (setup >= 0)
          throw NetworkError("the observations do not fix the orientation of setup #" +
                                 std::to_string(setup) + " (the normal equations are singular)",
                             -1, -1, setup);
        throw NetworkError(std::string("the observations do not fix ") +
                               (heightsOnly_ ? "the height of " : "") + "point #" +
                               std::to_string(owner) + " (the normal equations are singular)",
                           -1, owner);
      }
    }
    dx = factor_.solve(rightHandSide_);
  }

  // Moves every unknown by its correction, the slaves' worked out from the
  // others; returns the largest move in metres, an orientation's taken as
  // the arc it sweeps at the end of its setup's longest sight.
  double Move(const Eigen::VectorXd& dx) {
    double largest = 0;
    for (int u = 0; u < pointUnknowns_; ++u) {
      GridPoint& point = at_[static_cast<std::size_t>(index_.Owner(u))];
      const double c = Correction(u, dx);
      const Unknown kind = index_.Kind(u);
      (kind == Unknown::Height ? heights_[static_cast<std::size_t>(index_.Owner(u))]
                               : kind == Unknown::X ? point.x : point.y) += c;
      largest = std::max(largest, std::fabs(c));
    }
    for (int u = pointUnknowns_; u < Unknowns(); ++u) {
      const std::size_t s = static_cast<std::size_t>(index_.Owner(u)) - at_.size();
      const double c = Correction(u, dx);
      orientations_[s] += c;
      largest = std::max(largest, std::fabs(c) / gonPerRadian * longest_[s]);
    }
    moved_ = true;
    return largest;
  }

  void ComputeCofactors() {
    if (Reduced() > 0) inverse_.emplace(factor_.matrixL().nestedExpression(), pivots_);
  }

  // Q_xx between reduced unknowns, after ComputeCofactors.
  double Cofactor(int i, int j) const {
    const auto& position = factor_.permutationP().indices();
    return (*inverse_)(position[i], position[j]);
  }

  // Q_xx between raw unknowns u and v (a point's x or y).
  double RawCofactor(int u, int v) const {
    double sum = 0;
    ForEachTerm(u, [&](int p, double gp) {
      ForEachTerm(v, [&](int r, double gr) { sum += gp * gr * Cofactor(p, r); });
    });
    return sum;
  }

  // Q of (dX, dY) = (x_to - x_from, y_to - y_from) as xx, yy, xy: from the
  // selected inverse where every cofactor it needs is held, else by one
  // solve for the two columns N⁻¹c of the difference's coefficients c.
  std::array<double, 3> RelativeCofactors(int from, int to) const {
    // Each difference in the unknowns of N, a bearing held fixed expanded.
    std::array<std::vector<std::pair<int, double>>, 2> c;
    for (std::size_t axis = 0; axis < 2; ++axis) {
      const Unknown kind = axis == 0 ? Unknown::X : Unknown::Y;
      for (const auto& [point, sign] : {std::pair{to, 1.0}, std::pair{from, -1.0}}) {
        const int u = index_.Find(point, kind);
        const double factor = sign;  // clang before 16 captures no structured binding
        if (u >= 0) ForEachTerm(u, [&](int p, double g) { c[axis].push_back({p, factor * g}); });
      }
    }
    const auto& position = factor_.permutationP().indices();
    bool held = inverse_.has_value();
    for (const auto& [p, gp] : c[0])
      for (const auto& [r, gr] : c[0]) held = held && inverse_->Holds(position[p], position[r]);
    for (const auto& [p, gp] : c[0])
      for (const auto& [r, gr] : c[1]) held = held && inverse_->Holds(position[p], position[r]);
    for (const auto& [p, gp] : c[1])
      for (const auto& [r, gr] : c[1]) held = held && inverse_->Holds(position[p], position[r]);
    Eigen::MatrixXd columns;
    if (!held && Reduced() > 0) {
      columns = Eigen::MatrixXd::Zero(Reduced(), 2);
      for (Eigen::Index axis = 0; axis < 2; ++axis)
        for (const auto& [p, g] : c[static_cast<std::size_t>(axis)]) columns(p, axis) += g;
      columns = factor_.solve(columns).eval();
    }
    const auto product = [&](std::size_t a, std::size_t b) {
      double sum = 0;
      for (const auto& [p, gp] : c[a]) {
        if (columns.size() > 0) {
          sum += gp * columns(p, static_cast<Eigen::Index>(b));
          continue;
        }
        for (const auto& [r, gr] : c[b]) sum += gp * gr * Cofactor(p, r);
      }
      return sum;
    };
    return {product(0, 0), product(1, 1), product(0, 1)};
  }

  // Observation i's row of A in the unknowns of N (none for a bearing held
  // fixed), its computed, measured value and sigma.
  const Term* RowBegin(std::size_t i) const { return terms_.data() + rowStart_[i]; }
  const Term* RowEnd(std::size_t i) const { return terms_.data() + rowStart_[i + 1]; }
  double Computed(std::size_t i) const { return computed_[i]; }
  double Measured(std::size_t i) const { return observations_[i].value; }
  double Sigma(std::size_t i) const { return observations_[i].sigma; }

 private:
  int ReducedOf(int raw) const { return reducedOf_[static_cast<std::size_t>(raw)]; }

  // Observation i's equation, naming it where its points lie in one place.
  Equation EquationOf(std::size_t i) const {
    Equation e;
    try {
      traverse::Linearise(observations_[i], at_, index_, e, orientations_, heights_);
      return e;
    } catch (const PointsInOnePlace& error) {
      throw NetworkError(error.what(), static_cast<int>(i));
    }
  }

  // Every observation equation at the current coordinates, the bearings held
  // fixed put in. The first time chooses each one's slave; the later ones
  // keep the choice, so the pattern of N stays the same.
  void Relinearise(bool first) {
    const std::size_t n = observations_.size();
    computed_.resize(n);
    misclosure_.assign(n, 0.0);
    rowStart_.assign(n + 1, 0);
    terms_.clear();
    EliminateHeld(first);
    for (std::size_t i = 0; i < n; ++i) {
      const Observation& o = observations_[i];
      rowStart_[i] = terms_.size();
      if (Held(o)) continue;
      const Equation row = EquationOf(i);
      computed_[i] = row.computed;
      double misclosure = o.value - row.computed;
      for (std::size_t s = 0; s < row.count; ++s) {
        const Term& term = row.terms[s];
        const int e = expansionOf_[static_cast<std::size_t>(term.unknown)];
        if (e < 0) {
          Add(terms_, rowStart_[i], ReducedOf(term.unknown), term.a);
          continue;
        }
        const Expansion& expansion = expansions_[static_cast<std::size_t>(e)];
        misclosure -= term.a * expansion.constant;
        for (const Term& g : expansion.terms)
          Add(terms_, rowStart_[i], ReducedOf(g.unknown), term.a * g.a);
      }
      misclosure_[i] = misclosure;
    }
    rowStart_[n] = terms_.size();
  }

  // Calls f(reduced unknown, coefficient) for the terms of raw unknown u.
  template <class F>
  void ForEachTerm(int u, F f) const {
    const int e = expansionOf_[static_cast<std::size_t>(u)];
    if (e < 0) {
      f(ReducedOf(u), 1.0);
      return;
    }
    for (const Term& g : expansions_[static_cast<std::size_t>(e)].terms)
      f(ReducedOf(g.unknown), g.a);
  }

  double Correction(int u, const Eigen::VectorXd& dx) const {
    const int e = expansionOf_[static_cast<std::size_t>(u)];
    if (e < 0) return dx[ReducedOf(u)];
    const Expansion& expansion = expansions_[static_cast<std::size_t>(e)];
    double correction = expansion.constant;
    for (const Term& g : expansion.terms) correction += g.a * dx[ReducedOf(g.unknown)];
    return correction;
  }

  // Each bearing held fixed, in order: its linearised equation with the
  // slaves before it put in, solved for its own slave, which is then put
  // into the expansions before it, so that every expansion is in unknowns
  // that stay. The first time picks as slave the unknown of the largest
  // coefficient, far from zero.
  void EliminateHeld(bool first) {
    if (first) {
      expansionOf_.assign(static_cast<std::size_t>(Unknowns()), -1);
      expansions_.resize(held_.size());
    }
    for (const Expansion& expansion : expansions_)
      if (expansion.slave >= 0) expansionOf_[static_cast<std::size_t>(expansion.slave)] = -1;
    for (std::size_t h = 0; h < held_.size(); ++h) {
      const std::size_t i = held_[h];
      const Equation row = EquationOf(i);
      computed_[i] = row.computed;
      double constant = observations_[i].value - row.computed;
      double largestOwn = 0;
      std::vector<Term> terms;
      for (std::size_t s = 0; s < row.count; ++s) {
        const Term& term = row.terms[s];
        largestOwn = std::max(largestOwn, std::fabs(term.a));
        const int e = expansionOf_[static_cast<std::size_t>(term.unknown)];
        if (e < 0) {
          Add(terms, 0, term.unknown, term.a);
          continue;
        }
        const Expansion& before = expansions_[static_cast<std::size_t>(e)];
        constant -= term.a * before.constant;
        for (const Term& g : before.terms) Add(terms, 0, g.unknown, term.a * g.a);
      }
      Expansion& expansion = expansions_[h];
      if (first) {
        auto largest = std::max_element(
            terms.begin(), terms.end(),
            [](const Term& a, const Term& b) { return std::fabs(a.a) < std::fabs(b.a); });
        if (largest != terms.end() && std::fabs(largest->a) > nothingNew * largestOwn)
          expansion.slave = largest->unknown;
      }
      auto slave = std::find_if(terms.begin(), terms.end(),
                                [&](const Term& t) { return t.unknown == expansion.slave; });
      if (slave == terms.end() || !(std::fabs(slave->a) > nothingNew * largestOwn))
        throw NetworkError(
            "the bearing held fixed is fixed already by the fixed points and the bearings held "
            "fixed before it",
            static_cast<int>(i));
      const double as = slave->a;
      terms.erase(slave);
      expansion.constant = constant / as;
      expansion.terms.clear();
      for (const Term& t : terms) expansion.terms.push_back({t.unknown, -t.a / as});
      for (std::size_t b = 0; b < h; ++b) PutIn(expansions_[b], expansion);
      expansionOf_[static_cast<std::size_t>(expansion.slave)] = static_cast<int>(h);
    }
    if (first) {
      reducedOf_.assign(expansionOf_.size(), -1);
      for (std::size_t u = 0; u < expansionOf_.size(); ++u) {
        if (expansionOf_[u] >= 0) continue;
        reducedOf_[u] = static_cast<int>(rawOfReduced_.size());
        rawOfReduced_.push_back(static_cast<int>(u));
      }
    }
  }

  // Puts the later slave into an expansion that uses it.
  static void PutIn(Expansion& into, const Expansion& slave) {
    auto term = std::find_if(into.terms.begin(), into.terms.end(),
                             [&](const Term& t) { return t.unknown == slave.slave; });
    if (term == into.terms.end()) return;
    const double g = term->a;
    into.terms.erase(term);
    into.constant += g * slave.constant;
    for (const Term& t : slave.terms) Add(into.terms, 0, t.unknown, g * t.a);
  }

  // The lower triangle of N wherever two unknowns share an observation or an
  // owner (a point's x and y may both be slaves, whose unknowns its error
  // ellipse needs together), with every diagonal entry.
  void LayDownPattern() {
    const int unknowns = Reduced();
    std::vector<std::vector<int>> columns(static_cast<std::size_t>(unknowns));
    auto clique = [&](const std::vector<int>& together) {
      for (int r : together)
        for (int c : together)
          if (r >= c) columns[static_cast<std::size_t>(c)].push_back(r);
    };
    std::vector<int> together;
    for (std::size_t i = 0; i < observations_.size(); ++i) {
      together.clear();
      for (const Term* t = RowBegin(i); t != RowEnd(i); ++t) together.push_back(t->unknown);
      clique(together);
    }
    for (int u = 0; u < Unknowns(); ++u) {
      if (u > 0 && index_.Owner(u) == index_.Owner(u - 1)) continue;
      together.clear();
      for (int v = u; v < Unknowns() && index_.Owner(v) == index_.Owner(u); ++v)
        ForEachTerm(v, [&](int p, double) { together.push_back(p); });
      clique(together);
    }
    std::size_t entries = 0;
    for (int c = 0; c < unknowns; ++c) {
      std::vector<int>& rows = columns[static_cast<std::size_t>(c)];
      rows.push_back(c);
      std::sort(rows.begin(), rows.end());
      rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
      entries += rows.size();
    }
    normals_.resize(unknowns, unknowns);
    normals_.reserve(static_cast<Eigen::Index>(entries));
    for (int c = 0; c < unknowns; ++c) {
      normals_.startVec(c);
      for (int r : columns[static_cast<std::size_t>(c)]) normals_.insertBack(r, c) = 0;
      std::vector<int>().swap(columns[static_cast<std::size_t>(c)]);
    }
    normals_.finalize();
  }

  // The entry N(r, c), r >= c, within the pattern.
  double* Entry(int r, int c) {
    const int* rows = normals_.innerIndexPtr();
    const int* at = std::lower_bound(rows + normals_.outerIndexPtr()[c],
                                     rows + normals_.outerIndexPtr()[c + 1], r);
    return normals_.valuePtr() + (at - rows);
  }

  const std::vector<Observation>& observations_;
  std::vector<GridPoint> at_;          // the current coordinates of every point
  std::vector<double> orientations_;   // the current orientation of every setup, gon
  std::vector<double> heights_;        // the current height of every point, a network of heights'
  bool heightsOnly_ = false;           // a network of heights
  std::vector<double> longest_;        // per setup: its longest sight, metres
  UnknownIndex index_;                 // the raw unknowns: free points' x, y; orientations
  int pointUnknowns_ = 0;              // the points' unknowns come first
  std::vector<std::size_t> held_;      // the bearings held fixed, by index
  std::vector<Expansion> expansions_;  // one per bearing held fixed
  std::vector<int> expansionOf_;       // per raw unknown: the expansion it is the slave of, or -1
  std::vector<int> reducedOf_;         // per raw unknown: its place among the unknowns of N, or -1
  std::vector<int> rawOfReduced_;
  bool moved_ = false;                 // since the last linearisation

  std::vector<double> computed_;       // per observation
  std::vector<double> misclosure_;     // measured - computed, less the slaves' constants
  std::vector<std::size_t> rowStart_;  // the observations' rows of A, in terms_
  std::vector<Term> terms_;

  Eigen::SparseMatrix<double> normals_;  // lower triangle
  Eigen::VectorXd rightHandSide_;
  Factor factor_;
  bool analysed_ = false;
  Eigen::VectorXd pivots_;
  std::optional<SelectedInverse> inverse_;
};

}  // namespace

NetworkError::NetworkError(const std::string& message, int observation, int point, int setup)
    : std::runtime_error(observation >= 0
                             ? "observation #" + std::to_string(observation) + ": " + message
                             : message),
      message_(message),
      observation_(observation),
      point_(point),
      setup_(setup) {}

NetworkResult AdjustNetwork(const std::vector<NetworkPoint>& points,
                            const std::vector<Observation>& observations,
                            const std::vector<NetworkSetup>& setups,
                            const std::vector<PointPair>& pairs) {
  System system(points, observations, setups);
  NetworkResult result;
  static_cast<AdjustmentStatistics&>(result) = AdjustByGaussNewton(system, result.observations);

  const double variance = result.sigma0 * result.sigma0;
  result.points = system.Coordinates();
  result.precision.reserve(points.size());
  for (std::size_t p = 0; p < points.size(); ++p) {
    const int x = system.Index().Of(static_cast<int>(p), Unknown::X);
    const int y = system.Index().Of(static_cast<int>(p), Unknown::Y);
    if (x < 0 || y < 0) {
      result.precision.emplace_back();
      continue;
    }
    result.precision.emplace_back(ErrorEllipse(system.RawCofactor(x, x), system.RawCofactor(y, y),
                                               system.RawCofactor(y, x), variance));
  }
  // A direction joins its station and its orientation, so their cofactors
  // lie in the factor's pattern.
  result.setups.reserve(setups.size());
  for (std::size_t s = 0; s < setups.size(); ++s) {
    const UnknownIndex& index = system.Index();
    const int o = index.Find(static_cast<int>(points.size() + s), Unknown::Orientation);
    if (o < 0) {
      result.setups.emplace_back();
      continue;
    }
    SetupFigures& figures = result.setups.emplace_back(SetupFigures{}).value();
    figures.orientation = WithinTurn(system.Orientations()[s]);
    const int station = setups[s].station;
    const int u[] = {index.Of(station, Unknown::X), index.Of(station, Unknown::Y), o};
    for (std::size_t i = 0; i < 3; ++i)
      for (std::size_t j = 0; j < 3; ++j)
        if (u[i] >= 0 && u[j] >= 0)
          figures.covariance[i][j] = variance * system.RawCofactor(u[i], u[j]);
    figures.sigma = std::sqrt(figures.covariance[2][2]);
  }
  result.relative.reserve(pairs.size());
  for (const PointPair& pair : pairs) {
    if (pair.from < 0 || pair.to < 0 || pair.from >= static_cast<int>(points.size()) ||
        pair.to >= static_cast<int>(points.size()))
      throw std::invalid_argument("relative precision of a point out of range");
    const auto [qxx, qyy, qxy] = system.RelativeCofactors(pair.from, pair.to);
    RelativePrecision& r = result.relative.emplace_back();
    r.ellipse = ErrorEllipse(qxx, qyy, qxy, variance);
    const GridPoint &from = result.points[static_cast<std::size_t>(pair.from)],
                    &to = result.points[static_cast<std::size_t>(pair.to)];
    const double dx = to.x - from.x, dy = to.y - from.y;
    r.distance = std::hypot(dx, dy);
    // The distance's gradient is the unit vector from `from` to `to`.
    if (r.distance > 0) {
      const double ux = dx / r.distance, uy = dy / r.distance;
      r.sigmaDistance =
          std::sqrt(std::max(0.0, variance * (ux * ux * qxx + 2 * ux * uy * qxy + uy * uy * qyy)));
    }
  }
  return result;
}

HeightNetworkResult AdjustHeights(const std::vector<HeightPoint>& points,
                                  const std::vector<Observation>& observations) {
  if (std::none_of(points.begin(), points.end(), [](const HeightPoint& p) { return p.fixed; }))
    throw NetworkError("the height network has no datum: no point of it has a known height");
  System system(points, observations);
  HeightNetworkResult result;
  static_cast<AdjustmentStatistics&>(result) = AdjustByGaussNewton(system, result.observations);
  // Without redundancy nothing estimates sigma0: the a-priori sigmas stand.
  const double variance = result.redundancy > 0 ? result.sigma0 * result.sigma0 : 1.0;
  result.heights = system.Heights();
  result.sigma.reserve(points.size());
  for (std::size_t p = 0; p < points.size(); ++p) {
    const int z = system.Index().Of(static_cast<int>(p), Unknown::Height);
    if (z < 0)
      result.sigma.emplace_back();
    else
      result.sigma.emplace_back(std::sqrt(std::max(0.0, variance * system.RawCofactor(z, z))));
  }
  return result;
}

NetworkNormals NormalsOfNetwork(const std::vector<NetworkPoint>& points,
                                const std::vector<Observation>& observations,
                                const std::vector<NetworkSetup>& setups) {
  System system(points, observations, setups);
  system.Assemble();
  const Eigen::SparseMatrix<double>& n = system.Normals();
  NetworkNormals normals;
  normals.unknowns = system.Reduced();
  normals.columnStarts.assign(n.outerIndexPtr(), n.outerIndexPtr() + n.outerSize() + 1);
  normals.rows.assign(n.innerIndexPtr(), n.innerIndexPtr() + n.nonZeros());
  normals.values.assign(n.valuePtr(), n.valuePtr() + n.nonZeros());
  return normals;
}

}  // namespace traverse
