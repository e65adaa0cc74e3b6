// A book's lengths from one unit to another: an instrument file's, read in
// metres, into the unit of its job or of the book that reads it.
#include <cmath>

#include "adjustment/survey.hpp"

namespace traverse {
namespace {

void Scale(std::optional<double>& length, double factor) {
  if (length) *length *= factor;
}

}  // namespace

void ScaleLengths(NamedPoint& point, double factor) {
  if (!point.geographic) {
    point.xy.x *= factor;
    point.xy.y *= factor;
  }
  Scale(point.z, factor);
  Scale(point.geoid, factor);
  Scale(point.h, factor);
}

void ScaleLengths(BookSetup& setup, double factor) {
  Scale(setup.hi, factor);
  for (SetupReading& reading : setup.readings) {
    Scale(reading.slope, factor);
    Scale(reading.horizontal, factor);
    Scale(reading.ht, factor);
  }
}

void ConvertLengths(Book& book, LengthUnit unit) {
  if (book.length == unit) return;
  const double factor = MetresPer(book.length) / MetresPer(unit);
  book.length = unit;
  for (NamedPoint& point : book.known) ScaleLengths(point, factor);
  const auto scaleLeg = [&](BookLeg& l) {
    for (ReadingRun run : {l.horizontal, l.slope})
      for (std::uint32_t i = run.first; i < run.first + run.count; ++i) book.readings[i] *= factor;
    Scale(l.hi, factor);
    Scale(l.ht, factor);
  };
  for (BookTraverse& traverse : book.traverses)
    for (BookLeg& l : traverse.legs) scaleLeg(l);
  for (FreeObservation& free : book.free)
    if (free.kind == ObservationKind::Distance) scaleLeg(free.distance);
  for (BookSetup& setup : book.setups) ScaleLengths(setup, factor);
  for (LevelRecord& level : book.levels) level.dh *= factor;
  for (Benchmark& mark : book.benchmarks) mark.z *= factor;
  Scale(book.geoid, factor);
}

std::optional<LengthUnit> LengthUnitOfGrid(double metres) {
  for (LengthUnit unit : {LengthUnit::Metre, LengthUnit::Foot, LengthUnit::UsSurveyFoot})
    if (std::fabs(metres - MetresPer(unit)) <= 1e-12 * metres) return unit;
  return std::nullopt;
}

}  // namespace traverse
