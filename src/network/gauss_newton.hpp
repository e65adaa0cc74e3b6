// The one Gauss-Newton iteration and statistics of every least-squares
// adjustment, over a system of observation equations that brings its own
// solver: the band of one traverse or the sparse factor of a network.
//
// A System provides:
//   int Unknowns() const;
//   std::size_t Observations() const;
//   void Linearise();                        the equations at the current coordinates
//   void Solve(Eigen::VectorXd& dx);         forms and factors N, solves; throws where singular
//   double Move(const Eigen::VectorXd& dx);  applies dx, returns the largest move
//   void ComputeCofactors();                 Q_xx where rows meet, from the last factor
//   const Term* RowBegin(i), RowEnd(i);      observation i's row of A in the unknowns of N
//   double Computed(i), Measured(i), Sigma(i);  sigma 0: a bearing held fixed, not tested
//   double Cofactor(int u, int v) const;     Q_xx(u, v) within the rows' pattern
//   int Redundancy() const;
#pragma once

#include <cmath>
#include <vector>

#include <Eigen/Core>

#include "network/statistics.hpp"

namespace traverse {

inline constexpr double largestStep = 1e-5;  // 0.01 mm: no coordinate moves more, the iteration stops
inline constexpr int iterationLimit = 20;

// Gauss-Newton from the system's coordinates until no coordinate moves by
// more than 0.01 mm, at most 20 iterations (converged false after that);
// then the residuals at the final coordinates, and from the cofactors of the
// last factor (linearised at most 0.01 mm away, as good to many figures)
// every observation's redundancy number and w, sigma0 and the global test.
// `reports` (ObservationFigures or a type derived from them) gets one entry
// per observation with its figures set.
template <class System, class Report>
AdjustmentStatistics AdjustByGaussNewton(System& system, std::vector<Report>& reports) {
  AdjustmentStatistics statistics;
  statistics.redundancy = system.Redundancy();
  Eigen::VectorXd dx;
  statistics.converged = system.Unknowns() == 0;
  while (!statistics.converged && statistics.iterations < iterationLimit) {
    system.Linearise();
    system.Solve(dx);
    ++statistics.iterations;
    statistics.converged = system.Move(dx) <= largestStep;
  }
  system.Linearise();
  system.ComputeCofactors();

  reports.resize(system.Observations());
  double vTPv = 0;
  for (std::size_t i = 0; i < reports.size(); ++i) {
    ObservationFigures& o = reports[i];
    o.measured = system.Measured(i);
    o.residual = system.Computed(i) - o.measured;
    o.sigma = system.Sigma(i);
    if (o.sigma == 0) continue;
    double aQa = 0;
    for (const Term* s = system.RowBegin(i); s != system.RowEnd(i); ++s)
      for (const Term* t = system.RowBegin(i); t != system.RowEnd(i); ++t)
        aQa += s->a * t->a * system.Cofactor(s->unknown, t->unknown);
    TestObservation(o, aQa);
    const double standardised = o.residual / o.sigma;
    vTPv += standardised * standardised;
  }
  if (statistics.redundancy > 0) {  // a network of heights may have none
    statistics.sigma0 = std::sqrt(vTPv / statistics.redundancy);
    statistics.globalTest = TestGlobally(vTPv, statistics.redundancy);
  }
  return statistics;
}

}  // namespace traverse
