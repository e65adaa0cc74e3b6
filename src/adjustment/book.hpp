// A field book adjusted: its traverses in book order, each one's new points
// joining the known points of the traverses after it, and the network of all
// its observations under least squares.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"
#include "adjustment/relative_precision.hpp"
#include "adjustment/survey.hpp"

namespace traverse {

// A distance reduced from the ground to the grid: the horizontal distance
// times the height factor R/(R+h) (to the ellipsoid) times the line scale
// factor (to the grid), metres or the grid's unit.
struct LineOnGrid {
  std::string from, to;
  int line = 0;
  double ground = 0, heightFactor = 1, scaleFactor = 1, grid = 0;
  double Combined() const { return heightFactor * scaleFactor; }
};

// A free angle's reduction: the arc-to-chord corrections of its lines, gon
// (the grid angle less the measured one).
struct AngleOnGrid {
  std::string at, from, to;
  int line = 0;
  double arcToChord = 0;
};

// How a book's observations were reduced to its grid.
struct GridReport {
  GridSettings settings;
  double meanCombinedFactor = 1;  // over every distance reduced, by length
  int iterations = 0;             // adjustments on reduced observations
  std::vector<LineOnGrid> lines;    // the free distances
  std::vector<AngleOnGrid> angles;  // the free angles
  std::vector<std::string> notes;
};

// One traverse of a book, adjusted.
struct BookTraverseResult {
  std::string name;
  int line = 0;
  Job job;
  Adjustment result;
  // The bearings from the first station to the mark it is oriented on, and
  // from the last to its mark (none without end orientation), gon: as the
  // book gave them for a mark without coordinates.
  std::optional<double> startMarkBearing, endMarkBearing;
  std::optional<std::size_t> inheritsFrom;  // a failed traverse above, on whose point it starts or ends
  // Its ends and marks that a traverse above computed, as it took them, and
  // that traverse.
  std::vector<std::pair<NamedPoint, std::size_t>> fromAbove;
  std::vector<BookLeg> legs;  // as measured: slope distances, zeniths, hi, ht
  // On a grid: each leg's reduction, and each angle's arc-to-chord correction.
  std::vector<LineOnGrid> gridLegs;
  std::vector<double> arcToChord;
};

struct NewPoint {
  NamedPoint point;
  std::optional<PointPrecision> precision;  // under least squares
  std::optional<double> sigmaZ;             // where the network of heights adjusted it
};

// A point of the network of heights that is no new point of the plan (a
// known point without a height, or a mark that height differences alone
// reach): its adjusted height and sigma.
struct HeightOnlyPoint {
  std::string name;
  double z = 0;
  double sigma = 0;
};

// The network of heights under least squares: its statistics and suspect.
// Its observations follow the plan's in NetworkReport::observations, where
// their ref.observation is their place.
struct HeightNetworkReport : AdjustmentStatistics {
  std::optional<Suspect> suspect;
  std::vector<HeightOnlyPoint> heightsOnly;  // in the order first named
};

// Every observation of a book adjusted together by least squares, named as
// the book has it.
struct NetworkReport : AdjustmentStatistics {
  std::vector<ObservationReport> observations;
  std::optional<Suspect> suspect;
  std::vector<RelativeReport> relative;  // observed pairs, then the records' others

  // The pairs whose relative precision exceeds the relative tolerance.
  std::size_t RelativeFailures() const;
};

// A free record under compass or transit, checked against the adjusted
// points: gon, or metres times the scale factor.
struct Check {
  ObservationKind kind = ObservationKind::Angle;
  int line = 0;
  std::string at, from, to;  // `at` for angles only
  double measured = 0, computed = 0;
  double Difference() const { return measured - computed; }
};

// A setup of the book, reduced, with its orientation: the grid bearing of
// its reference direction (the first target, to which its rounds are
// reduced), gon in [0, 400), the unknown of least squares.
struct SetupResult {
  BookSetup setup;  // its reduction; its pointings (`readings`) stay with the book
  std::optional<double> orientation, orientationSigma;
  // On a grid, per direction: its distance's reduction, where it has one, and
  // the arc-to-chord correction of its line less that of the reference line.
  std::vector<std::optional<LineOnGrid>> gridLines;
  std::vector<double> arcToChord;
};

// A target sighted from one setup alone that is neither a station nor a
// known point: radiated from its station after the adjustment, with no check.
struct Sideshot {
  std::string name, from;  // the target, and the station it is radiated from
  int line = 0;            // of its pointing
  int setupLine = 0;       // of the setup record
  GridPoint xy;
  std::optional<double> z;
  std::optional<PointPrecision> precision;  // under least squares
  std::string code, description;
  std::optional<geodesy::PointFactors> map;  // on a grid
  std::optional<double> h;                   // ellipsoidal, where it has a height
};

// Every adjustment's result, a field book's or an answer file's: the one
// shape every writer takes.
struct BookResult {
  std::string source;
  std::optional<std::string> title;  // the book's `title` record
  // An answer file's one traverse, stations named B, 1, 2, ..., C and marks A
  // and D: its report keeps the answer file's layout.
  bool answerFile = false;
  Settings settings;  // the rule, the report's unit, scale, tolerances and sigmas
  std::vector<std::pair<std::string, int>> sigmaRecords;  // the book's, as written, and their lines
  double refraction = 0.13;
  std::vector<NamedPoint> known;
  std::vector<BookTraverseResult> traverses;
  std::vector<NewPoint> points;  // every new point, in the order computed
  std::optional<NetworkReport> network;  // under least squares
  std::optional<HeightNetworkReport> heightNetwork;  // where heights were adjusted
  std::vector<Check> checks;             // under compass and transit
  std::vector<SetupResult> setups;       // in book order
  std::vector<Sideshot> sideshots;       // in the order read
  std::vector<std::string> notes;         // about the book as a whole
  std::optional<GridReport> grid;         // on a projected grid

  bool TolerancesPassed() const;
};

// Adjusts every traverse of a book by `settings`, each with the sigmas its
// `sigma` records set; under compass and transit its free records are then
// checks. Throws JobError naming the line (or none) of a traverse that cannot
// be adjusted, of a check on a point unknown, or for a book without traverse
// (free records alone are a network, under least squares only).
// On a grid (settings.grid), every observation is first reduced from the
// ground to the grid, and the book adjusted again on the reduction at the
// places adjusted until it moves nothing by 0.1 mm (AdjustBookOnGrid).
BookResult AdjustBook(const Book& book, const Settings& settings);
// The same, giving the result the book's setup reductions instead of copies.
BookResult AdjustBook(Book&& book, const Settings& settings);

// The book on its grid: its geographic control projected, its distances
// times their height and line scale factors, its angles and directions
// corrected arc to chord, with the figures of the reduction in `grid`, on
// every point and on every observation reduced. Throws JobError for a point
// outside the grid's projection.
BookResult AdjustBookOnGrid(const Book& book, const Settings& settings);
// The same on a book it may take apart.
BookResult AdjustBookOnGrid(Book&& book, const Settings& settings);

// Adjusts every observation of the book together, its traverses' and its
// free ones, by least squares on a sparse factor, from `out` as the compass
// rule left it (traverse by traverse in book order, which stays each
// traverse's first look): the book's new points, with those of the free
// observations by polar computation or intersection, take the network's
// coordinates and precision, and `network` its statistics. Throws JobError
// for a point that cannot be reached, a network without datum or redundancy,
// a singular network.
void AdjustNetworkOfBook(const Book& book, BookResult& out);

// Adjusts the heights of every point that height differences join, the
// trigonometric ones of traverse legs, free distances and setups (but
// sideshots) and the levelling lines, by least squares from the known
// heights held fixed; sets each new point's z and sigma, appends the height
// observations to `out.network` and sets `out.heightNetwork`. Without height
// differences nothing is done; with trigonometric ones alone and no known
// height a note says so. Throws JobError for levelling without any known
// height, and naming a point no height difference joins to a known height.
// `sideshot` (from SideshotFlags) marks the setups' sideshots, which are
// radiated from their adjusted stations instead.
void AdjustHeightsOfBook(const Book& book, const std::vector<std::vector<char>>& sideshot,
                         BookResult& out);

// An answer file's traverse as a book of one traverse: points named A, B, C,
// D and 1, 2, ... as the dialogue has them.
BookResult AnswerFileResult(const Job& job, const Adjustment& result);

}  // namespace traverse
