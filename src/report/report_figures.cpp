#include "report/report_figures.hpp"

#include "report/number_text.hpp"

namespace traverse {

const char* RuleName(Rule rule) {
  switch (rule) {
    case Rule::Compass:
      return "compass";
    case Rule::Transit:
      return "transit";
    case Rule::LeastSquares:
      return "least-squares";
  }
  return "";
}

const char* KindName(TraverseKind kind) {
  switch (kind) {
    case TraverseKind::Connecting:
      return "connecting";
    case TraverseKind::Loop:
      return "loop";
    case TraverseKind::NoEndOrientation:
      return "no-end-orientation";
    case TraverseKind::Open:
      return "open";
  }
  return "";
}

const char* ObservationName(ObservationKind kind) {
  return kind == ObservationKind::Angle ? "angle" : "length";
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

}  // namespace traverse
