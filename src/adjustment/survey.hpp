// A field book as plain data: known points by name, traverses of named
// stations and free observations, each value with its readings as written
// and its line. The reduction (adjustment/reduction.hpp) adds what the rules
// adjust: means and spreads, horizontal lengths, height differences.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "adjustment/job.hpp"

namespace traverse {

struct NamedPoint {
  std::string name;
  GridPoint xy;
  std::optional<double> z;  // the height, where there is one
  int line = 0;             // where the book (or its control file) defines it
  std::string description;  // of a control file's row, where it has one
};

// How a traverse is oriented at one end: on a named point, or by a grid
// bearing from the station to a mark that has no coordinates.
struct Orientation {
  std::string point;              // "" for a bearing
  std::optional<double> bearing;  // gon, from the station to the mark
  int line = 0;
};

// The a-priori sigmas that `sigma` records set for the observations below
// them; what none set comes from the command line.
struct SigmaSettings {
  std::optional<double> angleGon;
  std::optional<double> lengthMetres, lengthPpm;
};

// Readings in the order read, gon whatever unit they were typed in or
// metres: a run of the book's list of readings (Book::readings), which holds
// them all without a list for each value.
struct ReadingRun {
  std::uint32_t first = 0, count = 0;
};

// One angle or distance: its readings and its line; the reduction sets the
// mean (an angle's in [0, 400) gon) and the spread.
struct Measured {
  ReadingRun readings;
  int line = 0;
  double value = 0;
  ReadingSummary summary;
};

// A leg: a horizontal distance, or a slope distance and zenith angles with
// the heights of instrument and target.
struct BookLeg {
  int line = 0;
  ReadingRun horizontal;         // DISTANCE or hd=, metres; none counted for a slope distance
  ReadingRun slope;              // sd=, metres
  ReadingRun zenith;             // za=, gon, either face as read
  std::optional<double> hi, ht;    // metres, where given

  // Reduced: the horizontal length before the scale factor with the count and
  // spread of its distances; for a slope distance also its mean, the mean
  // face-one zenith, the index error where both faces were read, and the
  // trigonometric height difference.
  double length = 0;
  ReadingSummary readings;
  std::optional<double> slopeMean, zenithMean, indexError, dh;
};

struct BookTraverse {
  std::string name;  // as written, or its number
  int line = 0;      // of its `traverse` record
  bool leftAngles = true;
  TraverseKind kind = TraverseKind::Connecting;
  Orientation start;
  std::optional<Orientation> end;  // none without end orientation or open
  std::vector<std::string> stations;  // first to last; a loop repeats the first
  std::vector<Measured> angles;       // one per station with an angle
  std::vector<BookLeg> legs;
  SigmaSettings sigmas;  // in force at its `traverse` record
};

// An observation outside the traverses, tying points together: a horizontal
// angle at `at` turned clockwise from `from` to `to`, a horizontal distance,
// or a grid bearing.

struct FreeObservation {
  ObservationKind kind = ObservationKind::Angle;
  std::string at, from, to;  // `at` for angles only
  Measured angle;            // an angle's or a bearing's readings
  BookLeg distance;          // a distance's
  double value = 0;          // reduced: gon, or metres before the scale factor
  ReadingSummary readings;
  int line = 0;
  std::optional<double> sigma;  // its own sigma= (gon or metres)
  SigmaSettings inForce;        // what `sigma` records set above it
  bool fixed = false;           // a bearing without sigma=: held fixed
};

struct Book {
  std::string source;  // for messages and the report
  std::optional<std::string> title;  // of its `title` record, for the top of every report
  std::vector<NamedPoint> known;  // every point the book defines, in book order
  std::vector<BookTraverse> traverses;
  std::vector<FreeObservation> free;  // in book order
  std::vector<std::pair<std::string, int>> sigmaRecords;  // each `sigma` record as written, its line
  std::optional<AngleUnit> firstUnit;  // of the book's first `unit` record
  std::vector<double> readings;        // of every value, in book order

  std::span<const double> Of(ReadingRun run) const { return {readings.data() + run.first, run.count}; }
};

}  // namespace traverse
