#include "network/chi_square.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace traverse {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// P(a, x) by its power series; converges quickly for x < a + 1.
double LowerGammaSeries(double a, double x) {
  double term = 1 / a;
  double sum = term;
  for (double n = 1; n < 10000; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * epsilon) break;
  }
  return sum * std::exp(a * std::log(x) - x - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz); converges
// quickly for x >= a + 1, where the series would lose digits to cancellation.
double UpperGammaFraction(double a, double x) {
  constexpr double tiny = 1e-300;
  double b = x + 1 - a;
  double c = 1 / tiny;
  double d = 1 / b;
  double h = d;
  for (double n = 1; n < 10000; ++n) {
    const double an = -n * (n - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) < epsilon) break;
  }
  return h * std::exp(a * std::log(x) - x - std::lgamma(a));
}

// The density of chi-square with r degrees of freedom at x > 0.
double ChiSquareDensity(double x, double r) {
  const double k = r / 2;
  return std::exp((k - 1) * std::log(x) - x / 2 - k * std::log(2.0) - std::lgamma(k));
}

}  // namespace

double RegularizedLowerGamma(double a, double x) {
  if (x <= 0) return 0;
  return x < a + 1 ? LowerGammaSeries(a, x) : 1 - UpperGammaFraction(a, x);
}

double ChiSquareQuantile(double probability, int degreesOfFreedom) {
  if (!(probability > 0 && probability < 1) || degreesOfFreedom < 1)
    throw std::invalid_argument("chi-square quantile: probability in (0, 1), r >= 1");
  const double r = degreesOfFreedom;
  // Bracket the root, then Newton steps on the distribution function; a step
  // that leaves the bracket is replaced by bisection, which keeps one degree
  // of freedom (a density without bound at 0) as safe as three hundred.
  double low = 0;
  double high = r + 10 * std::sqrt(2 * r) + 10;
  while (RegularizedLowerGamma(r / 2, high / 2) < probability) high *= 2;
  double x = r;
  for (int step = 0; step < 200; ++step) {
    const double error = RegularizedLowerGamma(r / 2, x / 2) - probability;
    if (error < 0)
      low = x;
    else
      high = x;
    double next = x - error / ChiSquareDensity(x, r);
    if (!(next > low && next < high)) next = (low + high) / 2;
    if (std::fabs(next - x) <= 1e-13 * x || high - low <= 1e-13 * high) return next;
    x = next;
  }
  return x;
}

}  // namespace traverse
