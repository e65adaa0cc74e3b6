// Least-squares adjustment of a network: the points of several traverses and
// any further angles, distances and bearings adjusted together, by the
// observation equations of one traverse's least squares, with a sparse
// factor of the normal equations instead of the band. Points are numbered by
// their place in the list given; the caller keeps their names.
#pragma once

#include <optional>
#include <vector>

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"
#include "adjustment/job_error.hpp"

namespace traverse {

enum class NetworkObservationKind { Angle, Distance, Bearing };

struct NetworkObservation {
  NetworkObservationKind kind = NetworkObservationKind::Angle;
  int at = -1;    // angle: the station
  int from = -1;  // angle: the point the angle is turned (clockwise) from; distance, bearing: start
  int to = -1;    // angle: the point it is turned to; distance, bearing: end
  double value = 0;  // gon (400 to the turn) for angles and bearings, metres for distances
  double sigma = 0;  // gon or metres; 0 for a bearing held fixed
};

struct NetworkPoint {
  GridPoint approximate;  // the start of the iteration; the coordinates themselves where fixed
  bool fixed = false;
};

struct NetworkObservationResult {
  double residual = 0;          // v = adjusted - measured, gon or metres
  double sigma = 0;             // a priori, as given
  std::optional<double> w;      // Baarda's; none where r is 0 or the bearing is held fixed
  double redundancyNumber = 0;  // r = q_vv / sigma²; 0 for a bearing held fixed
};

struct NetworkResult {
  std::vector<GridPoint> points;  // adjusted, every point (fixed ones as given)
  std::vector<std::optional<PointPrecision>> precision;  // none for fixed points
  std::vector<NetworkObservationResult> observations;    // in the order given
  double sigma0 = 0;
  int redundancy = 0;  // observations (a bearing held fixed among them) less 2 per free point
  int iterations = 0;
  bool converged = true;
  GlobalTest globalTest;
};

// The observations leave a free point undetermined: its unknowns had no
// pivot in the factor of the normal equations. The message names it as
// "point #<index>", its 0-based place in the list; a caller that knows the
// names says it in its own words from pointIndex().
class NetworkSingular : public JobError {
 public:
  explicit NetworkSingular(int pointIndex);
  int pointIndex() const { return pointIndex_; }

 private:
  int pointIndex_;
};

// Gauss-Newton from the approximate coordinates until no coordinate moves by
// more than 0.01 mm, at most 20 iterations (converged false after that); the
// cofactors of every free point and observation from the last factor. An
// angle is t(at->to) - t(at->from), a bearing t(from->to). Throws
// std::invalid_argument for a point index out of range, an observation
// between a point and itself or a sigma that is not positive (0 only for a
// bearing); JobError where the fixed points and the observations give no
// datum (position, orientation, scale), where the bearings held fixed fix
// something twice, or where there is no redundancy; NetworkSingular where the
// observations do not fix a free point.
NetworkResult AdjustNetwork(const std::vector<NetworkPoint>& points,
                            const std::vector<NetworkObservation>& observations);

// The normal matrix N = AᵀPA at the approximate coordinates, its lower
// triangle column by column (compressed sparse columns, rows ascending), the
// unknowns x then y of each free point in order (bearings held fixed take
// theirs out). For measurements and tests of the sparse machinery.
struct NetworkNormals {
  int unknowns = 0;
  std::vector<int> columnStarts;  // unknowns + 1 of them
  std::vector<int> rows;
  std::vector<double> values;
};
NetworkNormals NormalsOfNetwork(const std::vector<NetworkPoint>& points,
                                const std::vector<NetworkObservation>& observations);

}  // namespace traverse
