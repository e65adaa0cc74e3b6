#include "network/observations.hpp"

#include <cmath>

namespace traverse {

double BearingOf(const GridPoint& from, const GridPoint& to) {
  return std::atan2(to.y - from.y, to.x - from.x) * gonPerRadian;
}

Observation TraverseAngle(int behind, int at, int ahead, bool left, double value, double sigma) {
  return {ObservationKind::Angle, at, left ? behind : ahead, left ? ahead : behind, value, sigma};
}

int UnknownIndex::Add(int owner, Unknown kind) {
  const std::size_t o = static_cast<std::size_t>(owner);
  if (o >= of_.size()) of_.resize(o + 1, {-1, -1, -1, -1});
  of_[o][static_cast<std::size_t>(kind)] = size();
  owner_.push_back({owner, kind});
  return size() - 1;
}

}  // namespace traverse
