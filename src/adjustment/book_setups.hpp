// The setups of a field book within its adjustment: which targets are
// sideshots, and sideshots radiated from their adjusted stations (the
// geometry of a setup itself is the network's, network/resection.hpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adjustment/book.hpp"
#include "network/resection.hpp"

namespace traverse {

// Per setup, per direction: whether it is a sideshot, sighted from that setup
// alone and neither a station, a known point nor a point of a traverse or a
// free record. A sideshot does not enter the adjustment.
std::vector<std::vector<char>> SideshotFlags(const Book& book);

// The sideshots `flags` (from SideshotFlags) mark: room to make before
// radiating them, so that a setup of many is never copied as it grows.
std::size_t SideshotCount(const std::vector<std::vector<char>>& flags);

// The a-priori sigma of one direction of a setup, the mean of a face pair in
// one round (gon): its `sigma direction`, else an angle's over the square
// root of two, an angle being the difference of two directions.
double DirectionSigma(const BookSetup& setup, double angleSigma);
// The same from the sigmas in force where the direction (or a zenith, read
// like one) was read.
double DirectionSigma(const SigmaSettings& inForce, double angleSigma);

// The sigmas of lengths that `sigma` records set, or else the run's.
Sigmas LengthSigmas(const SigmaSettings& set, const Sigmas& fallback);

// The sigma of a direction's mean over its rounds from the sigma of one
// direction as its setup reads it: a face pair's mean, or a single reading
// where the setup has no face two. In a setup of face pairs a pointing in
// one face is worth half a pair.
double MeanDirectionSigma(const BookSetup& setup, const SetupDirection& direction,
                          double directionSigma);

// Where a setup stands, as adjusted: the station's coordinates and height,
// the orientation, and under least squares their covariances (m², m gon and
// gon², a posteriori).
struct Standpoint {
  GridPoint xy;
  std::optional<double> z;
  double orientation = 0;
  struct Covariance {
    double xx = 0, xy = 0, yy = 0, xo = 0, yo = 0, oo = 0;
  };
  std::optional<Covariance> covariance;
};

// Radiates the sideshots of one setup (`flags` from SideshotFlags) onto
// `out`: coordinates on the grid (the horizontal distance times `scale`),
// the height by trigonometric levelling where the station has one, and
// under least squares sigma x, y and the ellipse from the standpoint's
// covariance and the sideshot's own sigmas. A sideshot without distance
// cannot be placed: it is named in `notes`.
void RadiateSideshots(const BookSetup& setup, const std::vector<char>& flags,
                      const Standpoint& standpoint, double scale, double directionSigma,
                      const Sigmas& lengthSigmas, std::vector<Sideshot>& out,
                      std::vector<std::string>& notes);

}  // namespace traverse
