#include "adjustment/book_setups.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string_view>

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
  // The setup each target is sighted from, or -1 once a second one sights
  // it: the targets by name in a table of 8 bytes a slot (32 bits of the
  // hash, the target's entry plus one), and each direction's entry kept, so
  // that 100,000 sideshots touch 5 MB rather than 9.
  std::vector<std::string_view> names;
  std::vector<long> from;
  std::vector<std::uint32_t> entryOf;
  names.reserve(targets);
  from.reserve(targets);
  entryOf.reserve(targets);
  std::vector<std::uint64_t> slots(std::bit_ceil(2 * targets + 16));
  const std::size_t mask = slots.size() - 1;
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    tied.Set(book.setups[s].station, 1);
    for (const SetupDirection& direction : book.setups[s].directions) {
      const std::size_t hash = NameIndex<long>::Hash(direction.target);
      const auto wide = static_cast<std::uint64_t>(hash);
      const auto check = static_cast<std::uint32_t>(wide ^ (wide >> 32));
      std::size_t at = hash & mask;
      for (; slots[at] != 0; at = (at + 1) & mask)
        if (static_cast<std::uint32_t>(slots[at] >> 32) == check &&
            names[(slots[at] & 0xffffffffu) - 1] == direction.target)
          break;
      if (slots[at] == 0) {
        names.push_back(direction.target);
        from.push_back(static_cast<long>(s));
        slots[at] = static_cast<std::uint64_t>(check) << 32 | static_cast<std::uint32_t>(names.size());
      }
      const std::uint32_t entry = static_cast<std::uint32_t>(slots[at] & 0xffffffffu) - 1;
      if (from[entry] != static_cast<long>(s)) from[entry] = -1;
      entryOf.push_back(entry);
    }
  }
  std::vector<std::vector<char>> flags(book.setups.size());
  std::size_t k = 0;
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    flags[s].reserve(book.setups[s].directions.size());
    for (const SetupDirection& direction : book.setups[s].directions) {
      const long sightedFrom = from[entryOf[k++]];
      flags[s].push_back(!tied.Find(direction.target) && sightedFrom == static_cast<long>(s));
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
