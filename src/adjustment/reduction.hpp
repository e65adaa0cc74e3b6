// From what a field book's surveyor read to what the rules adjust: the means
// of repeated readings and their spread, face-two zeniths, slope distances to
// horizontal, and trigonometric heights with curvature and refraction. Plain
// computation; the readers check each reading as they read it.
#pragma once

#include "adjustment/survey.hpp"

namespace traverse {

// The coefficient of refraction k where none is given.
inline constexpr double StandardRefraction = 0.13;

// The mean of the angle's readings, each unwrapped to within half a turn of
// the first, in [0, 400) gon; their spread after unwrapping.
void ReduceAngle(Measured& angle, std::span<const double> readings);

// The leg's horizontal length, and from a slope distance its height
// difference for the refraction coefficient k, in the book's length unit. Throws JobError on the leg's
// line where the zenith angles leave no horizontal length.
void ReduceLeg(BookLeg& leg, const Book& book, double refraction);

// A slope distance reduced at a face-one zenith angle (gon): its horizontal
// distance, and the height difference from the mark under the instrument (hi
// above it) to the mark under the target (ht above it) with the earth's
// curvature and the refraction coefficient k. The one reduction of traverse
// legs, free distances and setups alike. Lengths are in the job's unit, of
// `metresPerUnit` metres, to which the earth's radius is taken.
struct SlopeReduced {
  double horizontal = 0, dh = 0;
};

// Throws JobError on `line` where the zenith leaves no positive horizontal
// distance.
SlopeReduced ReduceSlope(double slope, long double zenith, double hi, double ht, double refraction,
                         int line, double metresPerUnit = 1);

// The a-priori sigma of a trigonometric height difference, dh = s cos z +
// ..., from the sigmas of its slope distance s (metres) and its zenith z
// (gon): the propagation of both through s cos z.
double TrigonometricSigma(double slope, double zenith, double slopeSigma, double zenithSigma);

// The a-priori sigma of a levelling line: its own sigma=, else the sigma of
// a kilometre of levelling (its `sigma level`, else `perRootKm`) times the
// square root of its length, or of one kilometre where none is given (the
// lines of a book without lengths weigh alike).
double LevellingSigma(const LevelRecord& level, double perRootKm);

// A setup's face pairs meaned, its rounds reduced to the reference direction
// and meaned, c and i per pair and as the setup's mean, the empirical sigma
// of a direction from the rounds with the rounds whose residual exceeds three
// of it flagged, and each direction's slope distance reduced by its mean
// zenith (and, with hi and ht, its height difference for `refraction`).
// Throws JobError on a pointing's line where the readings cannot be paired.
void ReduceSetup(BookSetup& setup, double refraction, double metresPerUnit = 1);

// Appends to the book's traverses every chain of reduced setups that makes
// one: from a setup on a known point oriented on a known mark, through setups
// on new points each sighting the station behind and the one ahead, with
// distances along the legs, to a setup on a known point (oriented on a known
// mark where it sights one). Its angles are the setups' directions turned
// clockwise from behind to ahead.
void TraversesFromSetups(Book& book);

// Every traverse angle, leg, free observation and setup of the book, its
// lengths in its own unit (Book::length).
void ReduceBook(Book& book, double refraction = StandardRefraction);

}  // namespace traverse
