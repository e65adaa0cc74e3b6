// What an adjustment by observation equations says of itself, for one
// traverse's band least squares and a network's sparse one alike: the
// statistics, every observation's residual, redundancy number and Baarda's
// w, a point's standard error ellipse, the global test and the suspect of
// data snooping.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "network/observations.hpp"

namespace traverse {

struct GlobalTest {
  double value = 0;  // vTPv
  double lower = 0;  // 2.5 % quantile of chi-square with r degrees of freedom
  double upper = 0;  // 97.5 % quantile
  bool passed = true;

  // Whether vTPv lies above the upper bound: residuals larger than the
  // a-priori sigmas allow, which is what fails a survey's verdict. Below the
  // lower bound the sigmas are pessimistic (an error-free survey lands there).
  bool Exceeded() const { return !passed && value > upper; }
};

struct PointPrecision {
  double sx = 0, sy = 0;  // metres
  double a = 0, b = 0;    // semi-axes of the standard error ellipse, a >= b
  double bearing = 0;     // of a, gon, in [0, 200)
};

// The figures of the adjustment as a whole.
struct AdjustmentStatistics {
  double sigma0 = 0;
  int redundancy = 0;  // observations (bearings held fixed among them) less unknowns
  int iterations = 0;
  bool converged = true;
  GlobalTest globalTest;
};

// Which observation: its place in its adjustment's list, its kind, and its
// 1-based number among the angles or the legs of its traverse as typed (0
// for a record of its own).
struct ObservationRef {
  std::size_t observation = 0;
  ObservationKind kind = ObservationKind::Angle;
  int index = 0;
};

// What an adjustment found of one observation.
struct ObservationFigures {
  double measured = 0;          // gon, or metres times the scale factor
  double residual = 0;          // v = adjusted - measured, of the value as typed
  double sigma = 0;             // a priori; 0 for a bearing held fixed
  std::optional<double> w;      // Baarda's; none where r is 0 (nothing checks it)
  double redundancyNumber = 0;  // r = q_vv / sigma²
};

// One observation of an adjustment, named as its book has it where it has one.
struct ObservationReport : ObservationFigures {
  ObservationRef ref;
  int line = 0;
  std::string at;                   // angles only
  std::optional<std::string> from;  // clockwise order for angles; none for a mark without a name
  std::optional<std::string> to;
  bool free = false;  // a record of its own, not a traverse's
  int setup = 0;      // a direction's (or a setup's distance's): the line of its setup record
  bool levelled = false;  // a height difference from levelling, not trigonometric
};

// Two-sided, 0.1 % for one observation.
inline constexpr double CriticalW = 3.29;

// The observation with the largest |w| above CriticalW, and the others whose
// |w| lies within 5 % of it, which it cannot be told from.
struct Suspect {
  ObservationRef ref;
  double w = 0;
  std::vector<ObservationRef> alternatives;
};

// The suspect among `observations`, passing over those without w; none where
// no |w| exceeds CriticalW.
std::optional<Suspect> FindSuspect(const std::vector<ObservationReport>& observations);

// sx, sy and the standard error ellipse of one point from its 2x2 block of
// the cofactors Q_xx, scaled by the variance factor (sigma0² a posteriori).
PointPrecision ErrorEllipse(double qxx, double qyy, double qxy, double variance);

// r_i = 1 - (a Q_xx aᵀ) / sigma² for the observation's row a of the design
// matrix (unstandardised), and Baarda's w of its residual with the a-priori
// sigma, into `o` (whose residual and sigma are set).
void TestObservation(ObservationFigures& o, double aQa);

// vTPv against the two-sided 95 % interval of chi-square with `redundancy`
// degrees of freedom (at least 1). The bounds of the last redundancy asked
// for in this thread are kept: the traverses of a book mostly share one, and
// the two quantiles cost more than the rest of a traverse's statistics.
GlobalTest TestGlobally(double vTPv, int redundancy);

}  // namespace traverse
