#include "report/report_figures.hpp"

#include <iterator>


namespace traverse {

// Names in the order of their enumerators.
const char* RuleName(Rule rule) {
  static constexpr const char* kNames[] = {"compass", "transit", "least-squares"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(Rule::LeastSquares) + 1);
  return kNames[static_cast<std::size_t>(rule)];
}

const char* KindName(TraverseKind kind) {
  static constexpr const char* kNames[] = {"connecting", "loop", "no-end-orientation", "open"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(TraverseKind::Open) + 1);
  return kNames[static_cast<std::size_t>(kind)];
}

const char* ObservationName(ObservationKind kind) {
  return kind == ObservationKind::Angle || kind == ObservationKind::Direction ? "angle" : "length";
}

const char* RecordName(ObservationKind kind) {
  static constexpr const char* kNames[] = {"angle", "distance", "bearing", "direction", "height"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(ObservationKind::HeightDifference) + 1);
  return kNames[static_cast<std::size_t>(kind)];
}

std::optional<double> AngleCorrectionOf(const Adjustment& result, std::size_t i) {
  if (!result.leastSquares) return result.angleCorrection;
  for (const ObservationReport& observation : result.leastSquares->observations) {
    if (observation.ref.kind == ObservationKind::Angle &&
        observation.ref.index == static_cast<int>(i + 1)) {
      return observation.residual;
    }
  }
  return std::nullopt;
}

std::string SideshotDescription(const Sideshot& shot) {
  if (shot.code.empty() || shot.description.empty()) return shot.code + shot.description;
  return shot.code + ' ' + shot.description;
}

}  // namespace traverse
