// Traverses laid out from true coordinates: the angles and lengths a
// surveyor would measure without error, and a start for least squares that
// carries the measured values forward from B without adjusting them.
#pragma once

#include <cmath>
#include <vector>

#include "adjustment/job.hpp"

namespace traverse::testing {

inline constexpr double gonPerRadian = 63.661977236758134308;

inline double TrueBearing(GridPoint from, GridPoint to) {
  return std::atan2(to.y - from.y, to.x - from.x) * gonPerRadian;
}

// The job of a traverse through `route` (B, the new points, C; for a loop
// the last is B again) oriented on a at the start and on d at the end.
inline Job LayOut(TraverseKind kind, GridPoint a, const std::vector<GridPoint>& route, GridPoint d,
                  bool left = true) {
  Job job;
  job.kind = kind;
  job.leftAngles = left;
  job.a = a;
  job.b = route.front();
  job.c = route.back();
  job.d = d;
  std::vector<GridPoint> sights{a};
  sights.insert(sights.end(), route.begin(), route.end());
  sights.push_back(d);
  const std::size_t stations =
      kind == TraverseKind::NoEndOrientation ? route.size() - 1 : route.size();
  for (std::size_t k = 1; k <= stations; ++k) {
    const double forward = TrueBearing(sights[k], sights[k + 1]);
    const double back = TrueBearing(sights[k], sights[k - 1]);
    double angle = left ? forward - back : back - forward;
    angle -= 400 * std::floor(angle / 400);
    job.angles.push_back(angle);
  }
  for (std::size_t j = 1; j + 1 < sights.size() - 1; ++j)
    job.lengths.push_back(std::hypot(sights[j + 1].x - sights[j].x, sights[j + 1].y - sights[j].y));
  return job;
}

// The new points reached from B by the measured angles and lengths alone.
inline std::vector<GridPoint> CarryForward(const Job& job) {
  std::vector<GridPoint> points;
  double bearing = TrueBearing(job.a, job.b);
  GridPoint at = job.b;
  for (std::size_t j = 0; j + 1 < job.lengths.size(); ++j) {
    bearing += (job.leftAngles ? 1 : -1) * (job.angles[j].value - 200);
    at.x += job.lengths[j].value * job.settings.scale * std::cos(bearing / gonPerRadian);
    at.y += job.lengths[j].value * job.settings.scale * std::sin(bearing / gonPerRadian);
    points.push_back(at);
  }
  return points;
}

}  // namespace traverse::testing
