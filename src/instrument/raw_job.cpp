#include "instrument/raw_job.hpp"

#include <cmath>
#include <cstdio>

namespace traverse {

std::string Signed(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  if (std::round(value * scale) == 0) value = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%+.*f", decimals, value);
  return text;
}

Book ToBook(RawJob job) {
  Book book = std::move(job.book);
  // Its lengths are as the file gives them, in its unit.
  book.length = job.lengthUnit.value_or(LengthUnit::Metre);
  book.lengthStated = job.lengthUnit.has_value();
  for (std::string& note : job.notes) book.notes.push_back(std::move(note));
  for (const CollectorCheck& check : job.checks)
    book.notes.push_back(CheckNote(check, MetresPer(book.length)));
  return book;
}

std::string CheckNote(const CollectorCheck& check, double metresPerUnit) {
  const double dx = (check.collector.x - check.computed.x) * metresPerUnit,
               dy = (check.collector.y - check.computed.y) * metresPerUnit;
  char figures[160];
  std::snprintf(figures, sizeof figures, "dX %+.1f mm, dY %+.1f mm (%.1f mm)", dx * 1000, dy * 1000,
                std::hypot(dx, dy) * 1000);
  std::string note = "the collector's coordinates of '" + check.point + "' (line " +
                     std::to_string(check.line) + ") less the radial computation from '" +
                     check.station + "' (line " + std::to_string(check.shotLine) + "): " + figures;
  if (check.collectorZ && check.computedZ) {
    std::snprintf(figures, sizeof figures, ", dH %+.1f mm", (*check.collectorZ - *check.computedZ) * metresPerUnit * 1000);
    note += figures;
  }
  return note;
}

}  // namespace traverse
