// Least-squares adjustment of a network: points joined by angles, distances,
// bearings and the directions of setups in any pattern, by the observation
// equations of every adjustment with a sparse factor of the normal equations
// (SimplicialLDLT with AMD ordering) and the cofactors where rows meet by
// Takahashi's recursion. Points and setups are numbered by their place in the lists
// given; the caller keeps their names.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "network/observations.hpp"
#include "network/statistics.hpp"

namespace traverse {

struct NetworkPoint {
  GridPoint approximate;  // the start of the iteration; the coordinates themselves where fixed
  bool fixed = false;
};

// An instrument set up on a point: its directions share one orientation
// unknown, the bearing of the circle's zero.
struct NetworkSetup {
  int station = -1;
  double orientation = 0;  // approximate, gon
};

// A setup's orientation adjusted, with what a point radiated from it needs
// to carry the station's and the orientation's errors.
struct SetupFigures {
  double orientation = 0;  // gon, in [0, 400)
  double sigma = 0;        // a posteriori, gon
  // The a-posteriori covariance (cofactors times sigma0²) of the station's
  // x, y and the orientation in that order, in metres and gon; the station's
  // rows and columns are zero where it is fixed.
  std::array<std::array<double, 3>, 3> covariance{};
};

// Two points, by their places in the list, whose precision relative to
// each other is asked for.
struct PointPair {
  int from = -1, to = -1;
};

// The precision of `to` relative to `from`: the standard ellipse of the
// difference of their coordinates (its sx, sy those of dX and dY), and the
// sigma of their adjusted distance. Zero where both are fixed.
struct RelativePrecision {
  PointPrecision ellipse;
  double distance = 0;
  double sigmaDistance = 0;
};

// The semi-major axis of the 95 % confidence ellipse over that of the
// standard one: the square root of chi-square's 95 % quantile at two degrees
// of freedom, as the ALTA/NSPS standard takes it.
inline constexpr double Confidence95 = 2.4477;

struct NetworkResult : AdjustmentStatistics {
  std::vector<GridPoint> points;  // adjusted, every point (fixed ones as given)
  std::vector<std::optional<PointPrecision>> precision;  // none for fixed points
  std::vector<RelativePrecision> relative;               // one per pair asked for
  std::vector<ObservationFigures> observations;          // in the order given
  std::vector<std::optional<SetupFigures>> setups;       // none for a setup without directions
};

// A network that cannot be adjusted. Where one observation is to blame,
// observation() is its 0-based place in the list and what() reads
// "observation #N: " before message(); where the observations leave a free
// point undetermined (its unknowns had no pivot in the factor), point() is
// its place and the message names it "point #N"; setup() and "setup #N"
// likewise where the orientation of a setup had none. A caller that knows
// the names says it in its own words.
class NetworkError : public std::runtime_error {
 public:
  NetworkError(const std::string& message, int observation = -1, int point = -1, int setup = -1);
  const std::string& message() const { return message_; }
  int observation() const { return observation_; }
  int point() const { return point_; }
  int setup() const { return setup_; }

 private:
  std::string message_;
  int observation_, point_, setup_;
};

// Throws NetworkError, saying what would fix it, where the fixed points and
// the observations leave the network's position, rotation or scale free.
void CheckDatum(const std::vector<NetworkPoint>& points,
                const std::vector<Observation>& observations);

// Gauss-Newton from the approximate coordinates (see AdjustByGaussNewton).
// Directions need `setups`, one orientation unknown for each setup that has
// any. Throws std::invalid_argument for a point or setup index out of range,
// an observation between a point and itself, a direction not from its
// setup's station or a sigma that is not positive (0 only for a bearing);
// NetworkError where the fixed points and the
// observations give no datum (position, orientation, scale), where the
// bearings held fixed fix something twice, where there is no redundancy, or
// where the observations do not fix a free point or an orientation.
// The relative precision of each of `pairs` comes from the cofactors in the
// factor's pattern, which holds every pair an observation joins; a pair
// outside it costs one solve with the factor.
NetworkResult AdjustNetwork(const std::vector<NetworkPoint>& points,
                            const std::vector<Observation>& observations,
                            const std::vector<NetworkSetup>& setups = {},
                            const std::vector<PointPair>& pairs = {});

// The normal matrix N = AᵀPA at the approximate coordinates, its lower
// triangle column by column (compressed sparse columns, rows ascending), the
// unknowns x then y of each free point in order, then the orientations
// (bearings held fixed take theirs out). For measurements and tests of the
// sparse machinery.
struct NetworkNormals {
  int unknowns = 0;
  std::vector<int> columnStarts;  // unknowns + 1 of them
  std::vector<int> rows;
  std::vector<double> values;
};
NetworkNormals NormalsOfNetwork(const std::vector<NetworkPoint>& points,
                                const std::vector<Observation>& observations,
                                const std::vector<NetworkSetup>& setups = {});

}  // namespace traverse
