// Traverses that setups make: a chain of setups from a known station, each
// sighting the station before it and the one after it, to a known station.
// The chain is laid out as a traverse block would be, so that its first look
// (misclosures, the compass figures) and the compass and transit rules take
// it as they take any traverse.
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "adjustment/reduction.hpp"

namespace traverse {
namespace {

struct Chains {
  const Book& book;
  std::unordered_set<std::string> known, taken;
  std::unordered_map<std::string, std::size_t> setupOn;  // a station's first setup

  const SetupDirection* To(std::size_t setup, const std::string& target) const {
    for (const SetupDirection& d : book.setups[setup].directions)
      if (d.target == target) return &d;
    return nullptr;
  }

  // The station after `at` coming from `behind`: the one target of its setup
  // other than `behind` that has a setup of its own or is known; none where
  // there is no such target or more than one.
  std::optional<std::string> Ahead(const std::string& at, const std::string& behind) const {
    std::optional<std::string> ahead;
    for (const SetupDirection& d : book.setups[setupOn.at(at)].directions) {
      if (d.target == behind || !(setupOn.count(d.target) || known.count(d.target))) continue;
      if (ahead) return std::nullopt;
      ahead = d.target;
    }
    return ahead;
  }

  // The leg's horizontal length: the mean of what either end measured.
  std::optional<double> Length(const std::string& from, const std::string& to, int& line) const {
    double sum = 0;
    int count = 0;
    for (const auto& [a, b] : {std::pair{&from, &to}, std::pair{&to, &from}}) {
      const auto setup = setupOn.find(*a);
      if (setup == setupOn.end()) continue;
      if (const SetupDirection* d = To(setup->second, *b); d && d->horizontal) {
        if (count == 0) line = d->line;
        sum += *d->horizontal;
        ++count;
      }
    }
    if (count == 0) return std::nullopt;
    return sum / count;
  }

  // The angle at `at` turned clockwise from `back` to `ahead`, from its setup.
  std::optional<Measured> Angle(const std::string& at, const std::string& back,
                                const std::string& ahead, Book& out) const {
    const std::size_t s = setupOn.at(at);
    const SetupDirection *b = To(s, back), *a = To(s, ahead);
    if (!b || !a) return std::nullopt;
    Measured angle;
    angle.line = book.setups[s].line;
    angle.value = std::fmod(a->direction - b->direction + 400, 400);
    angle.summary = {std::min(a->rounds, b->rounds), std::max(a->spread, b->spread)};
    angle.readings = {static_cast<std::uint32_t>(out.readings.size()), 1};
    out.readings.push_back(angle.value);
    return angle;
  }

  // The traverse from the setup on known `start` through `first`, where the
  // chain reaches a known station; none where it does not.
  std::optional<BookTraverse> From(const std::string& start, const std::string& mark,
                                   const std::string& first, Book& out) const {
    BookTraverse t;
    t.line = book.setups[setupOn.at(start)].line;
    t.sigmas = book.setups[setupOn.at(start)].inForce;
    t.start.point = mark;
    t.start.line = t.line;
    t.stations = {start};
    std::string behind = mark, at = start, ahead = first;
    std::unordered_set<std::string> seen{start};
    for (;;) {
      const std::optional<Measured> angle = Angle(at, behind, ahead, out);
      int line = 0;
      const std::optional<double> length = Length(at, ahead, line);
      if (!angle || !length || (seen.count(ahead) && ahead != start) || taken.count(ahead))
        return std::nullopt;
      t.angles.push_back(*angle);
      BookLeg leg;
      leg.line = line;
      leg.length = *length;
      t.legs.push_back(leg);
      t.stations.push_back(ahead);
      seen.insert(ahead);
      behind = at;
      at = ahead;
      if (known.count(at)) break;
      const std::optional<std::string> next = Ahead(at, behind);
      if (!next) return std::nullopt;
      ahead = *next;
    }
    // The end: an angle on to a known mark where it has a setup that sights
    // one, or none.
    if (const auto end = setupOn.find(at); end != setupOn.end())
      for (const SetupDirection& d : book.setups[end->second].directions) {
        if (d.target == behind || !known.count(d.target)) continue;
        if (const std::optional<Measured> angle = Angle(at, behind, d.target, out)) {
          t.angles.push_back(*angle);
          t.end = Orientation{d.target, std::nullopt, d.line};
        }
        break;
      }
    t.kind = !t.end                                           ? TraverseKind::NoEndOrientation
             : at == start && t.end->point == t.start.point ? TraverseKind::Loop
                                                              : TraverseKind::Connecting;
    return t;
  }
};

}  // namespace

void TraversesFromSetups(Book& book) {
  Chains chains{book, {}, {}, {}};
  for (const NamedPoint& point : book.known) chains.known.insert(point.name);
  for (std::size_t s = 0; s < book.setups.size(); ++s)
    chains.setupOn.try_emplace(book.setups[s].station, s);
  for (const BookTraverse& traverse : book.traverses)
    chains.taken.insert(traverse.stations.begin(), traverse.stations.end());
  std::vector<BookTraverse> found;
  for (std::size_t s = 0; s < book.setups.size(); ++s) {
    const BookSetup& setup = book.setups[s];
    if (!chains.known.count(setup.station) || chains.setupOn.at(setup.station) != s) continue;
    // Its first known target orients it (a known station set up in its turn,
    // the far end of the traverse say, as well as a mark); its targets with a
    // setup that are new points start a chain.
    for (const SetupDirection& mark : setup.directions) {
      if (!chains.known.count(mark.target)) continue;
      for (const SetupDirection& first : setup.directions) {
        if (chains.known.count(first.target) || !chains.setupOn.count(first.target) ||
            chains.taken.count(first.target))
          continue;
        std::optional<BookTraverse> t = chains.From(setup.station, mark.target, first.target, book);
        if (!t) continue;
        t->fromSetups = true;
        for (std::size_t k = 1; k + 1 < t->stations.size(); ++k) chains.taken.insert(t->stations[k]);
        found.push_back(std::move(*t));
      }
      break;
    }
  }
  for (BookTraverse& t : found) {
    t.name = std::to_string(book.traverses.size() + 1);
    book.traverses.push_back(std::move(t));
  }
}

}  // namespace traverse
