#include "adjustment/reduction.hpp"

#include <algorithm>
#include <cmath>

#include "adjustment/job_error.hpp"

namespace traverse {
namespace {

constexpr long double earthRadius = 6371000;  // metres, for the curvature of heights
constexpr long double radiansPerGon = 3.14159265358979323846264338327950288L / 200;

// The mean of distance readings, summed in extended precision, and their
// spread.
double DistanceMean(std::span<const double> readings, ReadingSummary& summary) {
  long double sum = 0;
  for (double reading : readings) sum += reading;
  const auto [least, most] = std::minmax_element(readings.begin(), readings.end());
  summary = {static_cast<int>(readings.size()), *most - *least};
  return static_cast<double>(sum / static_cast<long double>(readings.size()));
}

// The mean of face-one zeniths, a face-two reading (above half a turn)
// counted as a full turn less the reading; the index error where both faces
// were read: half of what a face-one and a face-two mean add up to beyond a
// full turn.
long double ZenithMean(std::span<const double> readings, std::optional<double>& indexError) {
  long double sum = 0, faceOne = 0, faceTwo = 0;
  int ones = 0;
  for (double reading : readings) {
    const bool two = reading > 200;
    sum += two ? 400 - static_cast<long double>(reading) : reading;
    (two ? faceTwo : faceOne) += reading;
    ones += two ? 0 : 1;
  }
  const int twos = static_cast<int>(readings.size()) - ones;
  if (ones > 0 && twos > 0)
    indexError = static_cast<double>((faceOne / ones + faceTwo / twos - 400) / 2);
  return sum / static_cast<long double>(readings.size());
}

}  // namespace

SlopeReduced ReduceSlope(double slope, long double zenith, double hi, double ht, double refraction,
                         int line, double metresPerUnit) {
  // HD = SD sin z; dH = SD cos z + (1 - k) HD² / 2R + hi - ht.
  const long double horizontal = slope * std::sin(zenith * radiansPerGon);
  SlopeReduced reduced;
  reduced.horizontal = static_cast<double>(horizontal);
  if (!(reduced.horizontal > 0) || !std::isfinite(reduced.horizontal))
    throw JobError(line,
                   "the slope distance at a zenith angle of half a turn gives no "
                   "positive horizontal distance");
  reduced.dh = static_cast<double>(slope * std::cos(zenith * radiansPerGon) +
                                   (1 - static_cast<long double>(refraction)) * horizontal *
                                       horizontal / (2 * (earthRadius / metresPerUnit)) +
                                   hi - ht);
  return reduced;
}

double TrigonometricSigma(double slope, double zenith, double slopeSigma, double zenithSigma) {
  const long double z = zenith * radiansPerGon;
  return static_cast<double>(std::hypot(std::cos(z) * slopeSigma,
                                        slope * std::sin(z) * zenithSigma * radiansPerGon));
}

double LevellingSigma(const LevelRecord& level, double perRootKm) {
  if (level.sigma) return *level.sigma;
  return level.perRootKm.value_or(perRootKm) * std::sqrt(level.km.value_or(1.0));
}

void ReduceAngle(Measured& angle, std::span<const double> readings) {
  const double first = readings.front();
  long double sum = 0, least = 0, most = 0;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    // The first reading is its own unwrapped value (where it is a number).
    const long double unwrapped =
        i == 0 && std::isfinite(first)
            ? first
            : readings[i] -
                  400.0L * std::round((static_cast<long double>(readings[i]) - first) / 400);
    sum += unwrapped;
    least = i == 0 ? unwrapped : std::min(least, unwrapped);
    most = i == 0 ? unwrapped : std::max(most, unwrapped);
  }
  const std::size_t count = readings.size();
  angle.value =
      count == 1 ? NormalisedGon(first) : NormalisedGon(sum / static_cast<long double>(count));
  angle.summary = {static_cast<int>(count), static_cast<double>(most - least)};
}

void ReduceLeg(BookLeg& leg, const Book& book, double refraction) {
  if (leg.horizontal.count > 0) {
    leg.length = DistanceMean(book.Of(leg.horizontal), leg.readings);
    return;
  }
  const double slope = DistanceMean(book.Of(leg.slope), leg.readings);
  const long double zenith = ZenithMean(book.Of(leg.zenith), leg.indexError);
  const SlopeReduced reduced =
      ReduceSlope(slope, zenith, leg.hi.value_or(0), leg.ht.value_or(0), refraction, leg.line,
                  MetresPer(book.length));
  leg.length = reduced.horizontal;
  leg.slopeMean = slope;
  leg.zenithMean = static_cast<double>(zenith);
  leg.dh = reduced.dh;
}

void ReduceBook(Book& book, double refraction) {
  for (BookTraverse& traverse : book.traverses) {
    for (Measured& angle : traverse.angles) ReduceAngle(angle, book.Of(angle.readings));
    for (BookLeg& leg : traverse.legs) ReduceLeg(leg, book, refraction);
  }
  for (FreeObservation& free : book.free) {
    if (free.kind == ObservationKind::Distance) {
      ReduceLeg(free.distance, book, refraction);
      free.value = free.distance.length;
      free.readings = free.distance.readings;
    } else {
      ReduceAngle(free.angle, book.Of(free.angle.readings));
      free.value = free.angle.value;
      free.readings = free.angle.summary;
    }
  }
  for (BookSetup& setup : book.setups) {
    try {
      ReduceSetup(setup, refraction, MetresPer(book.length));
    } catch (const JobError& error) {
      // A setup of an instrument file a book reads: its lines are the file's.
      if (setup.file.empty() || !error.file().empty()) throw;
      throw JobError(setup.file, error.line(), error.what());
    }
  }
  TraversesFromSetups(book);
}

}  // namespace traverse
