#include "adjustment/book_setups.hpp"

#include <algorithm>
#include <cmath>

#include "adjustment/name_index.hpp"

namespace traverse {

std::vector<std::vector<char>> SideshotFlags(const Book& book) {
  // Every name that is more than a target of one setup; the names are the
  // book's own text, which outlives the tables.
  std::size_t targets = 0;
  for (const BookSetup& setup : book.setups) targets += setup.directions.size();
  NameIndex<char> tied(book.known.size() + book.setups.size());
  for (const NamedPoint& point : book.known) tied.Set(point.name, 1);
  for (const BookTraverse& traverse : book.traverses)
    for (const std::string& station : traverse.stations) tied.Set(station, 1);
  for (const FreeObservation& free : book.free)
    for (const std::string* name : {&free.at, &free.from, &free.to})
      if (!name->empty()) tied.Set(*name, 1);
  // The setup a target is sighted from, or -1 once a second one sights it;
  // each target's name hashed once for both tables.
  NameIndex<long> sightedFrom(targets);
  std::vector<std::size_t> hashes;
  hashes.reserve(targets);
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    tied.Set(book.setups[s].station, 1);
    for (const SetupDirection& direction : book.setups[s].directions) {
      const std::size_t hash = NameIndex<long>::Hash(direction.target);
      hashes.push_back(hash);
      bool inserted = false;
      long* from = sightedFrom.Insert(direction.target, hash, static_cast<long>(s), inserted);
      if (!inserted && *from != static_cast<long>(s)) *from = -1;
    }
  }
  std::vector<std::vector<char>> flags(book.setups.size());
  std::size_t k = 0;
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    flags[s].reserve(book.setups[s].directions.size());
    for (const SetupDirection& direction : book.setups[s].directions) {
      const std::size_t hash = hashes[k++];
      flags[s].push_back(!tied.Find(direction.target, hash) &&
                         *sightedFrom.Find(direction.target, hash) == static_cast<long>(s));
    }
  }
  return flags;
}

std::size_t SideshotCount(const std::vector<std::vector<char>>& flags) {
  std::size_t count = 0;
  for (const std::vector<char>& setup : flags)
    count += static_cast<std::size_t>(std::count(setup.begin(), setup.end(), char{1}));
  return count;
}

double MeanDirectionSigma(const BookSetup& setup, const SetupDirection& direction,
                          double directionSigma) {
  return directionSigma * (direction.oneFace && !setup.pairs.empty() ? std::sqrt(2.0) : 1) /
         std::sqrt(std::max(direction.rounds, 1));
}

double DirectionSigma(const SigmaSettings& inForce, double angleSigma) {
  if (inForce.directionGon) return *inForce.directionGon;
  return inForce.angleGon.value_or(angleSigma) / std::sqrt(2.0);
}

double DirectionSigma(const BookSetup& setup, double angleSigma) {
  return DirectionSigma(setup.inForce, angleSigma);
}

Sigmas LengthSigmas(const SigmaSettings& set, const Sigmas& fallback) {
  Sigmas sigmas = fallback;
  if (set.lengthMetres) sigmas.lengthMetres = *set.lengthMetres;
  if (set.lengthMetres) sigmas.lengthPpm = set.lengthPpm.value_or(0);
  return sigmas;
}

void RadiateSideshots(const BookSetup& setup, const std::vector<char>& flags,
                      const Standpoint& standpoint, double scale, double directionSigma,
                      const Sigmas& lengthSigmas, std::vector<Sideshot>& out,
                      std::vector<std::string>& notes) {
  for (std::size_t k = 0; k < setup.directions.size(); ++k) {
    if (!flags[k]) continue;
    const SetupDirection& direction = setup.directions[k];
    if (!direction.horizontal) {
      notes.push_back("The sideshot '" + direction.target + "' (line " +
                      std::to_string(direction.line) +
                      ") has no distance: it is not placed.");
      continue;
    }
    const double t = (standpoint.orientation + direction.direction) / gonPerRadian;
    const double d = GridLength(*direction.horizontal, scale);
    const double c = std::cos(t), s = std::sin(t);
    Sideshot shot;
    shot.name = direction.target;
    shot.from = setup.station;
    shot.line = direction.line;
    shot.setupLine = setup.line;
    shot.xy = {standpoint.xy.x + d * c, standpoint.xy.y + d * s};
    if (standpoint.z && direction.dh) shot.z = *standpoint.z + *direction.dh;
    shot.code = direction.code;
    shot.description = direction.description;
    if (const auto& q = standpoint.covariance) {
      // x = X + d cos t, y = Y + d sin t, t = o + r: by X, Y, o (gon), and
      // the sideshot's own r (gon) and d, uncorrelated with the standpoint.
      const double gx = -d * s / gonPerRadian, gy = d * c / gonPerRadian;
      const double sr = MeanDirectionSigma(setup, direction, directionSigma);
      const double sd = LengthSigma(lengthSigmas, d);
      const double oo = q->oo + sr * sr;
      const double xx = q->xx + 2 * gx * q->xo + gx * gx * oo + c * c * sd * sd;
      const double yy = q->yy + 2 * gy * q->yo + gy * gy * oo + s * s * sd * sd;
      const double xy = q->xy + gx * q->yo + gy * q->xo + gx * gy * oo + c * s * sd * sd;
      shot.precision = ErrorEllipse(xx, yy, xy, 1);
    }
    out.push_back(std::move(shot));
  }
}

}  // namespace traverse
