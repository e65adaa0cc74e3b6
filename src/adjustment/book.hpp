// A field book as plain data: known points by name, and traverses whose
// stations are named, their readings already reduced (means, face-two
// zeniths, slope to horizontal, height differences). Adjusting a book runs
// its traverses in book order, each one's new points joining the known
// points of the traverses after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse {

struct NamedPoint {
  std::string name;
  GridPoint xy;
  std::optional<double> z;  // the height, where there is one
  int line = 0;             // where the book (or its control file) defines it
};

// How a traverse is oriented at one end: on a named point, or by a grid
// bearing from the station to a mark that has no coordinates.
struct Orientation {
  std::string point;              // "" for a bearing
  std::optional<double> bearing;  // gon, from the station to the mark
  int line = 0;
};

struct BookLeg {
  double length = 0;  // horizontal, metres, before the scale factor
  ReadingSummary readings;
  int line = 0;
  std::optional<double> dh;  // trigonometric height difference, where sd= and za= were read
};

struct BookTraverse {
  std::string name;  // as written, or its number
  int line = 0;      // of its `traverse` record
  bool leftAngles = true;
  TraverseKind kind = TraverseKind::Connecting;
  Orientation start;
  std::optional<Orientation> end;  // none without end orientation or open
  std::vector<std::string> stations;  // first to last; a loop repeats the first
  std::vector<double> angles;         // gon, reduced means
  std::vector<ReadingSummary> angleReadings;
  std::vector<int> angleLines;
  std::vector<BookLeg> legs;
};

struct Book {
  std::string source;  // for messages and the report
  std::vector<NamedPoint> known;  // every point the book defines, in book order
  std::vector<BookTraverse> traverses;
  std::optional<AngleUnit> firstUnit;  // of the book's first `unit` record
};

// One traverse of a book, adjusted.
struct BookTraverseResult {
  std::string name;
  int line = 0;
  Job job;
  Adjustment result;
};

struct NewPoint {
  NamedPoint point;
  std::optional<PointPrecision> precision;  // under least squares
};

struct BookResult {
  std::string source;
  Job settings;  // the rule, the report's unit, scale, tolerances and sigmas
  std::optional<double> heightTolerance;  // mm per sqrt(km)
  double refraction = 0.13;
  std::vector<NamedPoint> known;
  std::vector<BookTraverseResult> traverses;
  std::vector<NewPoint> points;  // every new point, in the order computed

  bool TolerancesPassed() const;
};

// What every traverse of a book is adjusted with: the rule, the report's
// unit, the scale factor, the tolerances and sigmas, from `settings` (its
// points, angles and lengths are not used); heights are checked against
// `heightTolerance` mm per sqrt(km) where given. Throws JobError naming the
// traverse's line (or none) for a traverse that cannot be adjusted.
BookResult AdjustBook(const Book& book, const Job& settings,
                      std::optional<double> heightTolerance);

// The book's traverse `index` alone, with its own new points, for a plan of
// that traverse.
BookResult OneTraverseOf(const BookResult& book, std::size_t index);

// An answer file's traverse in the shape of a book's result: points named A,
// B, C, D and 1, 2, ... for the writers that draw every point by name.
BookResult SingleTraverseResult(const Job& job, const Adjustment& result);

}  // namespace traverse
