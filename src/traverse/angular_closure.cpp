#include "traverse/angular_closure.hpp"

#include <cmath>

#include "failure/float_checks.hpp"

namespace traverse {
namespace {

bool IsBlank(char byte) {
  return static_cast<unsigned char>(byte) <= 32;
}

char LowerCase(char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
}

}  // namespace

bool IsLeftSide(std::string_view answer) {
  while (!answer.empty() && IsBlank(answer.front())) answer.remove_prefix(1);
  while (!answer.empty() && IsBlank(answer.back())) answer.remove_suffix(1);
  constexpr std::string_view left = "left";
  if (answer.size() != left.size()) return false;
  for (std::size_t at = 0; at < left.size(); ++at)
    if (LowerCase(answer[at]) != left[at]) return false;
  return true;
}

void AdjustAngles(TTraverse& traverse) {
  AdjustAnglesOf(traverse, traverse.AngleCount);
}

void AdjustAnglesOf(TTraverse& traverse, int n) {
  const bool leftAngles = IsLeftSide(traverse.AngleSide);
  const Extended fullTurns = n * 200;  // exact

  if (leftAngles)
    traverse.TheoreticalAngleSum =
        StoreReal((Extended(traverse.BearingCD) - traverse.BearingAB) + fullTurns);
  else
    traverse.TheoreticalAngleSum =
        StoreReal((Extended(traverse.BearingAB) - traverse.BearingCD) + fullTurns);

  // The two bearings are each taken within 0 to 400 gon, so the difference of
  // the sums is the true misclosure plus some whole number of circles. Take
  // out the nearest whole number, however large, so that the misclosure lies
  // within +-200 gon: a small misclosure across the bearing wrap (a
  // difference of 399.998) is -0.002, not 399.998.
  const Extended difference = Extended(traverse.MeasuredAngleSum) - traverse.TheoreticalAngleSum;
  const Extended circles = std::floor(Quotient(difference, 400) + 0.5L);
  if (circles != 0)
    traverse.TheoreticalAngleSum = StoreReal(traverse.TheoreticalAngleSum + 400 * circles);

  traverse.AngularMisclosure =
      StoreReal(Extended(traverse.MeasuredAngleSum) - traverse.TheoreticalAngleSum);
  // No tolerance: any misclosure is spread. n = 0 fails here, before any
  // table entry is written.
  traverse.AngleCorrection = StoreReal(Quotient(-Extended(traverse.AngularMisclosure), n));

  PropagateBearings(traverse, n);
}

void PropagateBearings(TTraverse& traverse, int count) {
  const bool leftAngles = IsLeftSide(traverse.AngleSide);
  traverse.LegBearing[0] = traverse.BearingAB;
  for (int i = 1; i <= count; ++i) {
    traverse.CorrectedAngle[i] =
        StoreReal(Extended(traverse.MeasuredAngle[i]) + traverse.AngleCorrection);
    if (leftAngles)
      traverse.LegBearing[i] =
          StoreReal(Extended(traverse.LegBearing[i - 1]) + traverse.CorrectedAngle[i] - 200);
    else
      traverse.LegBearing[i] =
          StoreReal(Extended(traverse.LegBearing[i - 1]) - traverse.CorrectedAngle[i] + 200);
  }
}

}  // namespace traverse
