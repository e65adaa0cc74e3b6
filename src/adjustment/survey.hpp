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
  std::optional<double> geoid;  // its own geoid-ellipsoid separation N, where given
  // Given by latitude and longitude (degrees) and its ellipsoidal height h:
  // projected to the job's grid before the adjustment.
  std::optional<geodesy::Geographic> geographic;
  // On a grid: where it lies, its ellipsoidal height where it has a height,
  // the point scale factor and the meridian convergence.
  std::optional<geodesy::PointFactors> map;
  std::optional<double> h;
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
  std::optional<double> directionGon;  // one direction, a face pair's mean
  std::optional<double> lengthMetres, lengthPpm;
  std::optional<double> levelMetres;  // of one kilometre of levelling
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
  // Laid out from a chain of setups (TraversesFromSetups): under least
  // squares the setups' own directions and distances enter the network.
  bool fromSetups = false;
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

// One pointing of a setup as the instrument recorded it: the horizontal
// circle reading to a target in one face, with what else was read there.
struct SetupReading {
  std::string target;
  int line = 0;
  double hz = 0;                     // gon, clockwise, as read
  std::optional<double> zenith;      // gon, as read (face two above half a turn)
  std::optional<double> slope;       // sd=, metres
  std::optional<double> horizontal;  // hd=, metres
  std::optional<double> ht;          // metres, carried over from the pointing before
  int face = 1;                      // 2: a zenith above half a turn, or face=2
  std::string code, description;
};

// The two faces of one target in one round, and what their difference says
// of the instrument: gon.
struct FacePair {
  std::string target;
  int lineI = 0, lineII = 0;
  double collimation = 0;            // c = (HZ_I - HZ_II +- half a turn) / 2
  std::optional<double> indexError;  // i = (V_I + V_II - full turn) / 2
};

// One round of a set of directions: every target once in each face read.
struct SetupRound {
  int number = 0;  // from 1
  int firstLine = 0, lastLine = 0;
  double largestResidual = 0;  // gon, of its directions in the station adjustment
  bool flagged = false;        // a residual above three times the direction's sigma
};

// A target of a setup reduced: its face pairs meaned, its rounds reduced to
// the reference direction (the setup's first target) and meaned.
struct SetupDirection {
  std::string target;
  int line = 0;                      // of its first pointing
  double direction = 0;              // gon in [0, 400), from the reference direction
  double spread = 0;                 // gon: largest less smallest of its rounds' values
  int rounds = 0;                    // the values meaned
  bool oneFace = false;              // never read in both faces in a round: the setup's c (and i) applied
  std::optional<double> zenith;      // gon, face one, the index error taken out
  std::optional<double> slope;       // metres, the mean slope distance
  std::optional<double> horizontal;  // metres: hd=, or the slope distance reduced
  std::optional<double> dh;          // trigonometric height difference, station mark to target mark
  std::optional<double> ht;          // metres
  std::string code, description;     // of its first pointing that has them
};

// A setup of the instrument over `station`: its pointings as read, and once
// reduced (ReduceSetup), its face pairs, rounds and directions.
struct BookSetup {
  std::string station;
  int line = 0;               // of its `setup` record
  std::optional<double> hi;   // metres
  SigmaSettings inForce;      // what `sigma` records set above it
  std::vector<SetupReading> readings;

  std::vector<FacePair> pairs;
  std::vector<SetupRound> rounds;
  std::vector<SetupDirection> directions;  // in the order first read; the first is the reference
  double collimation = 0;                  // gon, the mean c (0 where no pair was read)
  std::optional<double> indexError;        // gon, the mean i
  std::optional<double> directionSigma;    // gon, one direction of one round, from the rounds
  int degreesOfFreedom = 0;                // of directionSigma
  std::string file;  // where its lines are, when not in the book itself (`raw FILE`)
};

// A levelling line: the height difference from one mark to another as
// levelled, its length and its own sigma where given.
struct LevelRecord {
  std::string from, to;
  double dh = 0;                   // metres
  std::optional<double> km;        // dist=
  std::optional<double> sigma;     // sigma=, metres
  std::optional<double> perRootKm; // what a `sigma level` record set above it, metres
  int line = 0;
};

// A mark of known height and no coordinates.
struct Benchmark {
  std::string name;
  double z = 0;
  int line = 0;
};

// A `relative A B` record: a pair whose relative precision the report
// gives besides those that observations join.
struct RelativeRecord {
  std::string from, to;
  int line = 0;
};

struct Book {
  std::string source;  // for messages and the report
  std::optional<std::string> title;  // of its `title` record, for the top of every report
  std::vector<NamedPoint> known;  // every point the book defines, in book order
  std::vector<BookTraverse> traverses;
  std::vector<FreeObservation> free;  // in book order
  std::vector<BookSetup> setups;      // in book order; a station may have several
  std::vector<LevelRecord> levels;    // in book order
  std::vector<Benchmark> benchmarks;  // in book order
  std::vector<RelativeRecord> relative;  // in book order
  std::vector<std::pair<std::string, int>> sigmaRecords;  // each `sigma` record as written, its line
  std::optional<AngleUnit> firstUnit;  // of the book's first `unit` record
  std::vector<double> readings;        // of every value, in book order
  // Its `grid` record and its line, and its `geoid` record's N.
  std::optional<geodesy::GridDefinition> grid;
  int gridLine = 0;
  std::optional<double> geoid;
  std::vector<std::string> notes;      // what its reader says of it (an instrument file's corrections and checks)
  // The unit of its lengths, and whether the book (its `length` record, on
  // `lengthLine`) or the instrument file (its header) states it.
  LengthUnit length = LengthUnit::Metre;
  bool lengthStated = false;
  int lengthLine = 0;

  std::span<const double> Of(ReadingRun run) const { return {readings.data() + run.first, run.count}; }
};

// Every length of a point or an unreduced setup times `factor`: coordinates,
// heights and the geoid's separation; hi, ht and the distances read.
void ScaleLengths(NamedPoint& point, double factor);
void ScaleLengths(BookSetup& setup, double factor);

// The book, as read and not yet reduced, in `unit`: every length of its known
// points, traverses, free distances, setups, levelling lines and benchmarks
// converted from its own unit. Metric sigmas (sigma= in mm) stay as they are.
void ConvertLengths(Book& book, LengthUnit unit);

// The length unit of a grid of `metres` metres to its unit; none for a
// unit that is none of metres, international and US survey feet.
std::optional<LengthUnit> LengthUnitOfGrid(double metres);

}  // namespace traverse
