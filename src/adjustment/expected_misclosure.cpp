// The misclosures to be expected from the a-priori sigmas: the compass
// computation written as a function of the observations and linearised.
//
// With end orientation the angular misclosure f_beta = sum beta - required
// sum is spread equally, so the bearing of leg j is
//   t_j = t_AB + s (sum_{k<=j} beta_k - j f_beta / n) + const,
// s = +1 for left angles and -1 for right ones, and
//   d t_j / d beta_k = s ([k <= j] - j / n);
// without end orientation the last term is absent. The linear misclosure is
// fX = sum l_j cos t_j - (XC - XB), fY = sum l_j sin t_j - (YC - YB), so
//   d(fX, fY) / d beta_k = sum_j l_j (-sin t_j, cos t_j) d t_j / d beta_k,
//   d(fX, fY) / d l_j = (cos t_j, sin t_j).
// Its covariance, J diag(sigma²) Jᵀ, is read along and across B to C.
#include <cmath>
#include <vector>

#include "adjustment/least_squares.hpp"

namespace traverse {
std::optional<ExpectedMisclosure> ExpectedMisclosures(const Job& job, const Adjustment& adjusted) {
  if (job.kind == TraverseKind::Open || job.angles.empty()) return std::nullopt;
  const bool endAngle = ClosesOnD(job.kind);
  const GridPoint c = job.kind == TraverseKind::Loop ? job.b : job.c;
  const GridPoint d = job.kind == TraverseKind::Loop ? job.a : job.d;
  const std::size_t n = job.angles.size();
  const auto legs = static_cast<std::size_t>(LegCount(job.kind, static_cast<int>(n)));
  if (job.lengths.size() < legs) return std::nullopt;
  const double s = job.leftAngles ? 1 : -1;
  const double sigmaBeta = job.settings.sigmas.angleGon;

  // The compass rule's bearings: measured angles, corrected by the equal
  // share of the angular misclosure where there is one.
  double sum = 0;
  for (const MeasuredValue& angle : job.angles) sum += angle.value;
  double correction = 0;
  if (endAngle) {
    const double required =
        s * (BearingOf(c, d) - BearingOf(job.a, job.b)) + 200 * static_cast<double>(n);
    double misclosure = sum - required;
    misclosure -= 400 * std::round(misclosure / 400);
    correction = -misclosure / static_cast<double>(n);
  }
  std::vector<double> cosine(legs), sine(legs), length(legs), sigmaLength(legs);
  double bearing = BearingOf(job.a, job.b);
  for (std::size_t j = 0; j < legs; ++j) {
    bearing += s * (job.angles[j].value + correction - 200);
    cosine[j] = std::cos(bearing / gonPerRadian);
    sine[j] = std::sin(bearing / gonPerRadian);
    length[j] = GridLength(job.lengths[j].value, job.settings.scale);
    sigmaLength[j] = LengthSigma(job.settings.sigmas, length[j]);
  }

  // Covariance of (fX, fY). For angle k (1-based) the sum over j >= k is a
  // suffix sum; the spread term is the same for every k.
  double cxx = 0, cxy = 0, cyy = 0;
  for (std::size_t j = 0; j < legs; ++j) {
    const double vx = sigmaLength[j] * cosine[j], vy = sigmaLength[j] * sine[j];
    cxx += vx * vx;
    cxy += vx * vy;
    cyy += vy * vy;
  }
  double spreadX = 0, spreadY = 0;  // sum_j l_j (-sin, cos) j / n, in metres per radian
  if (endAngle)
    for (std::size_t j = 0; j < legs; ++j) {
      const double share = static_cast<double>(j + 1) / static_cast<double>(n);
      spreadX -= length[j] * -sine[j] * share;
      spreadY -= length[j] * cosine[j] * share;
    }
  double suffixX = 0, suffixY = 0;
  const double radians = sigmaBeta / gonPerRadian;
  for (std::size_t k = n; k-- > 0;) {
    if (k < legs) {  // angle k + 1 turns legs k + 1 .. legs (1-based)
      suffixX += length[k] * -sine[k];
      suffixY += length[k] * cosine[k];
    }
    const double jx = s * (suffixX + spreadX) * radians;
    const double jy = s * (suffixY + spreadY) * radians;
    cxx += jx * jx;
    cxy += jx * jy;
    cyy += jy * jy;
  }

  ExpectedMisclosure expected;
  if (endAngle) {
    expected.angular = sigmaBeta * std::sqrt(static_cast<double>(n));
    if (adjusted.angularMisclosure && *expected.angular > 0)
      expected.angularRatio = *adjusted.angularMisclosure / *expected.angular;
  }
  const double dx = c.x - job.b.x, dy = c.y - job.b.y;
  const double bc = std::hypot(dx, dy);
  if (bc > 0) {
    const double ux = dx / bc, uy = dy / bc;
    // across: u turned a quarter turn clockwise, (-uy, ux).
    expected.along = std::sqrt(ux * ux * cxx + 2 * ux * uy * cxy + uy * uy * cyy);
    expected.across = std::sqrt(uy * uy * cxx - 2 * ux * uy * cxy + ux * ux * cyy);
    if (adjusted.linear) {
      if (adjusted.linear->along && *expected.along > 0)
        expected.alongRatio = *adjusted.linear->along / *expected.along;
      if (adjusted.linear->across && *expected.across > 0)
        expected.acrossRatio = *adjusted.linear->across / *expected.across;
    }
  }
  return expected;
}

}  // namespace traverse
