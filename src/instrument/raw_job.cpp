#include "instrument/raw_job.hpp"

#include <cmath>
#include <cstdio>

namespace traverse {

double MetresPer(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Foot:
      return 0.3048;
    case LengthUnit::UsSurveyFoot:
      return 1200.0 / 3937.0;
    case LengthUnit::Metre:
      break;
  }
  return 1;
}

Book ToBook(RawJob job) {
  Book book = std::move(job.book);
  if (job.lengthUnit && *job.lengthUnit != LengthUnit::Metre)
    book.notes.push_back(std::string("The file's lengths are in ") +
                         (*job.lengthUnit == LengthUnit::Foot ? "international feet" : "US survey feet") +
                         ", read into metres: every length of this report is in metres.");
  for (std::string& note : job.notes) book.notes.push_back(std::move(note));
  for (const CollectorCheck& check : job.checks) book.notes.push_back(CheckNote(check));
  return book;
}

std::string CheckNote(const CollectorCheck& check) {
  const double dx = check.collector.x - check.computed.x, dy = check.collector.y - check.computed.y;
  char figures[160];
  std::snprintf(figures, sizeof figures, "dX %+.1f mm, dY %+.1f mm (%.1f mm)", dx * 1000, dy * 1000,
                std::hypot(dx, dy) * 1000);
  std::string note = "the collector's coordinates of '" + check.point + "' (line " +
                     std::to_string(check.line) + ") less the radial computation from '" +
                     check.station + "' (line " + std::to_string(check.shotLine) + "): " + figures;
  if (check.collectorZ && check.computedZ) {
    std::snprintf(figures, sizeof figures, ", dH %+.1f mm", (*check.collectorZ - *check.computedZ) * 1000);
    note += figures;
  }
  return note;
}

}  // namespace traverse
