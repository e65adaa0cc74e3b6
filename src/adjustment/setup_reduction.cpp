// The reduction of a setup: its pointings grouped into rounds and face
// pairs, the rounds reduced to the reference direction and meaned, and the
// sigma of a direction from the rounds by the station adjustment of sets of
// directions.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <string_view>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "adjustment/job_error.hpp"
#include "adjustment/name_index.hpp"
#include "adjustment/reduction.hpp"

namespace traverse {
namespace {

constexpr long double halfTurn = 200, fullTurn = 400;
constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

// Residuals below this (gon; a hundredth of a cc) are rounding, never a
// blunder, even where a set of exact readings leaves a sigma of rounding too.
constexpr double leastFlagged = 1e-6;

// `value` moved by whole turns to within half a turn of `near`.
long double Unwrapped(long double value, long double near) {
  return value - fullTurn * std::round((value - near) / fullTurn);
}

const char* FaceName(int face) {
  return face == 0 ? "face one" : "face two";
}

// A target's pointings within one round, and its value there.
struct Slot {
  std::size_t direction = 0;
  std::size_t reading[2] = {none, none};  // by face; none where not read in it
  long double value = 0;  // gon: the face pair's mean, or one face corrected by the mean c
  long double reduced =
      0;  // gon: less the round's reference value, unwrapped near the direction's first
  bool paired() const { return reading[0] != none && reading[1] != none; }
};

struct Round {
  std::vector<Slot> slots;   // in the order first read
  std::size_t first = none;  // its first reading
  int firstLine = 0, lastLine = 0;
};

// The pointings in rounds, in reading order: a target read again in a face
// it was already read in within the current round starts the next round,
// once every target of the current round read more than once in the setup
// is read in that face. A target read once stays in the round it falls in.
std::vector<Round> GroupRounds(const BookSetup& setup, const std::vector<std::size_t>& directionOf,
                               const std::vector<int>& pointings) {
  std::vector<Round> rounds(1);
  std::vector<std::size_t> roundOf(pointings.size(), none), slotOf(pointings.size(), none);
  for (std::size_t k = 0; k < setup.readings.size(); ++k) {
    const SetupReading& reading = setup.readings[k];
    const std::size_t d = directionOf[k];
    const int face = reading.face == 2 ? 1 : 0;
    if (roundOf[d] == rounds.size() - 1 && rounds.back().slots[slotOf[d]].reading[face] != none) {
      for (const Slot& slot : rounds.back().slots)
        if (pointings[slot.direction] > 1 && slot.reading[face] == none)
          throw JobError(reading.line,
                         "'" + reading.target + "' is read again in " + FaceName(face) +
                             " before '" + setup.directions[slot.direction].target +
                             "' is read in " + FaceName(face) + " in round " +
                             std::to_string(rounds.size()) +
                             "; a target read again starts a new round only once every target "
                             "of the round is read in that face");
      rounds.emplace_back();
    }
    Round& round = rounds.back();
    if (roundOf[d] != rounds.size() - 1) {
      roundOf[d] = rounds.size() - 1;
      slotOf[d] = round.slots.size();
      round.slots.push_back({d});
    }
    round.slots[slotOf[d]].reading[face] = k;
    if (round.first == none) {
      round.first = k;
      round.firstLine = reading.line;
    }
    round.lastLine = reading.line;
  }
  return rounds;
}

// Refuses rounds a surveyor cannot have meant: a round without the reference
// target, which nothing would reduce; and, where the set is read in both
// faces, a round of it read in one face only, which is what a target read
// twice in face one before its face two looks like.
void CheckRounds(const BookSetup& setup, const std::vector<Round>& rounds,
                 const std::vector<bool>& inSet, bool twoFaces) {
  for (std::size_t r = 0; r < rounds.size(); ++r) {
    const Round& round = rounds[r];
    const std::string number = std::to_string(r + 1);
    if (std::none_of(round.slots.begin(), round.slots.end(),
                     [](const Slot& slot) { return slot.direction == 0; }))
      throw JobError(round.firstLine,
                     "round " + number + " (from here) does not read '" +
                         setup.directions[0].target +
                         "', the reference direction (the setup's first target) to which every "
                         "round is reduced; a target read again in a face starts a new round");
    const bool paired = std::any_of(round.slots.begin(), round.slots.end(), [&](const Slot& slot) {
      return inSet[slot.direction] && slot.paired();
    });
    if (!twoFaces || paired) continue;
    if (r + 1 < rounds.size()) {
      const SetupReading& again = setup.readings[rounds[r + 1].first];
      throw JobError(again.line, "'" + again.target + "' is read again before round " + number +
                                     " is read in the other face; in a set read in both faces "
                                     "each round reads its targets in one face, then in the other "
                                     "(face two: a zenith above half a turn, or face=2)");
    }
    throw JobError(round.firstLine, "round " + number +
                                        " is read in one face only where the setup's other rounds "
                                        "are read in both faces");
  }
}

// The station adjustment of the complete rounds (those with a value of every
// target of the set; a round missing one is left out of the sigma but still
// meaned): v_ij = (x_j - r_ij) - mean over j of (x_j - r_ij),
// s = sqrt([vv] / ((n - 1)(m - 1))). Every round with two targets of the set
// gets its largest residual from the complete rounds' means, and is flagged
// where it exceeds three sigma.
void AdjustStation(BookSetup& setup, const std::vector<Round>& rounds,
                   const std::vector<bool>& inSet, bool twoFaces) {
  const auto counts = [&](const Slot& slot) {
    return inSet[slot.direction] && (!twoFaces || slot.paired());
  };
  const auto m = static_cast<std::size_t>(std::count(inSet.begin(), inSet.end(), true));
  std::vector<long double> mean(inSet.size(), 0);
  std::size_t n = 0;
  std::vector<bool> complete(rounds.size());
  for (std::size_t r = 0; r < rounds.size(); ++r) {
    complete[r] = static_cast<std::size_t>(
                      std::count_if(rounds[r].slots.begin(), rounds[r].slots.end(), counts)) == m;
    if (!complete[r]) continue;
    ++n;
    for (const Slot& slot : rounds[r].slots)
      if (counts(slot)) mean[slot.direction] += slot.reduced;
  }
  if (n < 2 || m < 2) return;
  for (long double& x : mean) x /= static_cast<long double>(n);

  long double squares = 0;
  std::vector<long double> residuals;
  for (std::size_t r = 0; r < rounds.size(); ++r) {
    residuals.clear();
    for (const Slot& slot : rounds[r].slots)
      if (counts(slot)) residuals.push_back(mean[slot.direction] - slot.reduced);
    if (residuals.size() < 2) continue;
    long double shift = 0;
    for (long double v : residuals) shift += v;
    shift /= static_cast<long double>(residuals.size());
    long double largest = 0;
    for (long double v : residuals) {
      largest = std::max(largest, std::abs(v - shift));
      if (complete[r]) squares += (v - shift) * (v - shift);
    }
    setup.rounds[r].largestResidual = static_cast<double>(largest);
  }
  setup.degreesOfFreedom = static_cast<int>((n - 1) * (m - 1));
  const double sigma = static_cast<double>(std::sqrt(squares / setup.degreesOfFreedom));
  setup.directionSigma = sigma;
  for (SetupRound& round : setup.rounds)
    round.flagged = round.largestResidual > 3 * sigma && round.largestResidual > leastFlagged;
}

// A direction's zenith, slope and horizontal distances, target height, code
// and description from all its pointings: zeniths as face one with the
// setup's mean index error taken out (which cancels where both faces were
// read alike), distances meaned, the slope distance reduced where no hd= was
// read, and the height difference where hi and ht are known.
void ReduceDistances(BookSetup& setup, const std::vector<std::size_t>& directionOf,
                     double refraction, double metresPerUnit) {
  struct Sums {
    long double zenith = 0, slope = 0, horizontal = 0;
    int zeniths = 0, slopes = 0, horizontals = 0;
    std::optional<double> slopeHt;
    int slopeLine = 0;
  };
  std::vector<Sums> sums(setup.directions.size());
  const long double index = setup.indexError.value_or(0);
  for (std::size_t k = 0; k < setup.readings.size(); ++k) {
    const SetupReading& reading = setup.readings[k];
    SetupDirection& direction = setup.directions[directionOf[k]];
    Sums& sum = sums[directionOf[k]];
    if (reading.zenith) {
      sum.zenith +=
          reading.face == 2 ? fullTurn - *reading.zenith + index : *reading.zenith - index;
      ++sum.zeniths;
    }
    if (reading.slope) {
      // The height a slope distance reaches is its own pointing's ht.
      if (sum.slopes == 0) {
        sum.slopeHt = reading.ht;
        sum.slopeLine = reading.line;
      } else if (reading.ht != sum.slopeHt) {
        throw JobError(reading.line,
                       "'" + reading.target +
                           "' is read here with a target height other than on line " +
                           std::to_string(sum.slopeLine) +
                           " (ht= carries over from the pointing before); the slope distances to "
                           "one target in a setup share one target height");
      }
      sum.slope += *reading.slope;
      ++sum.slopes;
    }
    if (reading.horizontal) {
      sum.horizontal += *reading.horizontal;
      ++sum.horizontals;
    }
    if (!direction.ht) direction.ht = reading.ht;
    if (direction.code.empty()) direction.code = reading.code;
    if (direction.description.empty()) direction.description = reading.description;
  }
  for (std::size_t d = 0; d < sums.size(); ++d) {
    SetupDirection& direction = setup.directions[d];
    const Sums& sum = sums[d];
    if (sum.horizontals > 0)
      direction.horizontal = static_cast<double>(sum.horizontal / sum.horizontals);
    if (sum.zeniths > 0) direction.zenith = static_cast<double>(sum.zenith / sum.zeniths);
    if (sum.slopes == 0) {
      // A horizontal distance with a zenith angle levels too: as the slope
      // distance that the zenith would have made of it.
      if (direction.horizontal && direction.zenith && setup.hi && direction.ht) {
        const long double z = sum.zenith / sum.zeniths;
        direction.dh = ReduceSlope(static_cast<double>(*direction.horizontal /
                                                       std::sin(z / gonPerRadian)),
                                   z, *setup.hi, *direction.ht, refraction, direction.line, metresPerUnit)
                           .dh;
      }
      continue;
    }
    direction.ht = sum.slopeHt;
    direction.slope = static_cast<double>(sum.slope / sum.slopes);
    if (!direction.zenith) continue;
    const SlopeReduced reduced =
        ReduceSlope(*direction.slope, sum.zenith / sum.zeniths, setup.hi.value_or(0),
                    direction.ht.value_or(0), refraction, direction.line, metresPerUnit);
    if (!direction.horizontal) direction.horizontal = reduced.horizontal;
    if (setup.hi && direction.ht) direction.dh = reduced.dh;
  }
}

// The setup's directions by target name, open-addressed in 8 bytes a slot
// (32 bits of the hash and the direction's place plus one; the name is the
// direction's own): a setup of a hundred thousand sideshots needs 2 MB of
// table, not 8, and the table's pages are the most of what its reduction
// touches at random.
class DirectionIndex {
 public:
  DirectionIndex(const std::vector<SetupDirection>& directions, std::size_t names)
      : directions_(directions), slots_(std::bit_ceil(2 * names + 16)) {}

  // The direction of `name`, or `none`; `at` and `check` say where to file a
  // new one.
  std::size_t Find(std::string_view name, std::size_t& at, std::uint32_t& check) const {
    const std::size_t hash = std::hash<std::string_view>{}(name);
    // Both halves of a 64-bit hash, the whole of a 32-bit one.
    const auto wide = static_cast<std::uint64_t>(hash);
    check = static_cast<std::uint32_t>(wide ^ (wide >> 32));
    const std::size_t mask = slots_.size() - 1;
    for (at = hash & mask; slots_[at] != 0; at = (at + 1) & mask) {
      const auto d = static_cast<std::size_t>(slots_[at] & 0xffffffffu) - 1;
      if (static_cast<std::uint32_t>(slots_[at] >> 32) == check && directions_[d].target == name)
        return d;
    }
    return none;
  }
  // Files direction d at the empty slot Find gave.
  void Set(std::size_t at, std::uint32_t check, std::size_t d) {
    slots_[at] = static_cast<std::uint64_t>(check) << 32 | static_cast<std::uint32_t>(d + 1);
  }

 private:
  const std::vector<SetupDirection>& directions_;
  std::vector<std::uint64_t> slots_;
};

}  // namespace

void ReduceSetup(BookSetup& setup, double refraction, double metresPerUnit) {
  setup.pairs.clear();
  setup.rounds.clear();
  setup.directions.clear();
  setup.collimation = 0;
  setup.indexError.reset();
  setup.directionSigma.reset();
  setup.degreesOfFreedom = 0;
  if (setup.readings.empty())
    throw JobError(setup.line, "the setup on " + setup.station + " reads no target");

  // The directions in the order first read, and how often each is pointed.
  DirectionIndex directionNamed(setup.directions, setup.readings.size());
  std::vector<std::size_t> directionOf;
  std::vector<int> pointings;
  directionOf.reserve(setup.readings.size());
  for (const SetupReading& reading : setup.readings) {
    std::size_t at = 0;
    std::uint32_t check = 0;
    std::size_t d = directionNamed.Find(reading.target, at, check);
    if (d == none) {
      d = setup.directions.size();
      directionNamed.Set(at, check, d);
      SetupDirection direction;
      direction.target = reading.target;
      direction.line = reading.line;
      setup.directions.push_back(std::move(direction));
      pointings.push_back(0);
    }
    directionOf.push_back(d);
    ++pointings[d];
  }

  std::vector<Round> rounds = GroupRounds(setup, directionOf, pointings);
  // The set: targets read more than once and in two rounds or more; it is read
  // in both faces where one of them is paired in some round.
  std::vector<int> roundsOf(setup.directions.size(), 0);
  bool twoFaces = false;
  for (const Round& round : rounds)
    for (const Slot& slot : round.slots) ++roundsOf[slot.direction];
  std::vector<bool> inSet(setup.directions.size());
  for (std::size_t d = 0; d < inSet.size(); ++d) inSet[d] = pointings[d] > 1 && roundsOf[d] > 1;
  for (const Round& round : rounds)
    for (const Slot& slot : round.slots)
      twoFaces = twoFaces || (inSet[slot.direction] && slot.paired());
  CheckRounds(setup, rounds, inSet, twoFaces);

  // Face pairs: HZ_II less half a turn brought next to HZ_I, the mean and
  // c = (HZ_I - HZ_II +- half a turn) / 2; i = (V_I + V_II - full turn) / 2.
  long double cSum = 0, iSum = 0;
  int indexCount = 0;
  for (Round& round : rounds)
    for (Slot& slot : round.slots) {
      if (!slot.paired()) continue;
      const SetupReading& one = setup.readings[slot.reading[0]];
      const SetupReading& two = setup.readings[slot.reading[1]];
      const long double hzOne = one.hz, hzTwo = Unwrapped(two.hz - halfTurn, one.hz);
      slot.value = (hzOne + hzTwo) / 2;
      FacePair pair{one.target, one.line, two.line, static_cast<double>((hzOne - hzTwo) / 2),
                    std::nullopt};
      cSum += (hzOne - hzTwo) / 2;
      if (one.zenith && two.zenith) {
        const long double i = (static_cast<long double>(*one.zenith) + *two.zenith - fullTurn) / 2;
        pair.indexError = static_cast<double>(i);
        iSum += i;
        ++indexCount;
      }
      setup.pairs.push_back(std::move(pair));
    }
  const long double c =
      setup.pairs.empty() ? 0 : cSum / static_cast<long double>(setup.pairs.size());
  setup.collimation = static_cast<double>(c);
  if (indexCount > 0) setup.indexError = static_cast<double>(iSum / indexCount);

  // Each round reduced to its value of the reference direction; a reading in
  // one face takes the setup's mean c (face one: HZ - c, face two:
  // HZ - half a turn + c, both the face pair's mean where c is its own).
  struct Meaned {
    long double first = 0, sum = 0, least = 0, most = 0;
    bool paired = false;
  };
  std::vector<Meaned> meaned(setup.directions.size());
  for (std::size_t r = 0; r < rounds.size(); ++r) {
    Round& round = rounds[r];
    for (Slot& slot : round.slots) {
      if (slot.paired()) continue;
      const bool two = slot.reading[0] == none;
      const long double hz = setup.readings[slot.reading[two ? 1 : 0]].hz;
      slot.value = two ? hz - halfTurn + c : hz - c;
    }
    const long double reference =
        std::find_if(round.slots.begin(), round.slots.end(), [](const Slot& slot) {
          return slot.direction == 0;
        })->value;
    for (Slot& slot : round.slots) {
      Meaned& direction = meaned[slot.direction];
      const int count = setup.directions[slot.direction].rounds++;
      slot.reduced = count == 0 ? NormalisedGon(slot.value - reference)
                                : Unwrapped(slot.value - reference, direction.first);
      if (count == 0) direction.first = direction.least = direction.most = slot.reduced;
      direction.sum += slot.reduced;
      direction.least = std::min(direction.least, slot.reduced);
      direction.most = std::max(direction.most, slot.reduced);
      direction.paired = direction.paired || slot.paired();
    }
    setup.rounds.push_back({static_cast<int>(r + 1), round.firstLine, round.lastLine, 0, false});
  }
  for (std::size_t d = 0; d < meaned.size(); ++d) {
    SetupDirection& direction = setup.directions[d];
    direction.direction = NormalisedGon(meaned[d].sum / direction.rounds);
    direction.spread = static_cast<double>(meaned[d].most - meaned[d].least);
    direction.oneFace = !meaned[d].paired;
  }

  AdjustStation(setup, rounds, inSet, twoFaces);
  ReduceDistances(setup, directionOf, refraction, metresPerUnit);
}

}  // namespace traverse
