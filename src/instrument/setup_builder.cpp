#include "instrument/setup_builder.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "adjustment/job_error.hpp"
#include "network/resection.hpp"

namespace traverse {
namespace {

// An angle for a message, in the file's unit.
std::string AngleText(double gon, std::optional<AngleUnit> unit) {
  char text[40];
  if (unit == AngleUnit::Gon)
    std::snprintf(text, sizeof text, "%.5f gon", gon);
  else
    std::snprintf(text, sizeof text, "%.6f degrees", gon * 0.9);
  return text;
}

}  // namespace

void SetupBuilder::AddControl(NamedPoint point) {
  const auto [at, added] = known_.emplace(point.name, job_.book.known.size());
  if (added) {
    job_.book.known.push_back(std::move(point));
    return;
  }
  NamedPoint& before = job_.book.known[at->second];
  if (before.xy.x != point.xy.x || before.xy.y != point.xy.y || before.z != point.z)
    Note("'" + point.name + "' is stored again on line " + std::to_string(point.line) +
         " with other coordinates than on line " + std::to_string(before.line) +
         ": the later ones are used");
  before = std::move(point);
}

void SetupBuilder::Start(const std::string& station, std::optional<double> hi, int line) {
  Close();
  BookSetup setup;
  setup.station = station;
  setup.line = line;
  setup.hi = hi;
  job_.book.setups.push_back(std::move(setup));
  open_ = OpenSetup{};
  open_->index = job_.book.setups.size() - 1;
}

void SetupBuilder::SetBacksight(Backsight back) {
  SetupReading reading;
  reading.target = back.point;
  reading.line = back.line;
  reading.hz = back.circle;
  open_->pointed[back.point] = Current().readings.size();
  Current().readings.push_back(std::move(reading));
  open_->backsight = std::move(back);
}

void SetupBuilder::Add(SetupReading reading, bool single, const std::string& record, int line) {
  BookSetup& setup = Current();
  std::optional<Backsight>& back = open_->backsight;
  open_->faceTwo = open_->faceTwo || reading.face == 2;
  Radiate(reading, line);
  if (const auto before = open_->pointed.find(reading.target); before != open_->pointed.end()) {
    SetupReading& earlier = setup.readings[before->second];
    if (back && !back->read && reading.target == back->point && reading.face == 1) {
      back->read = true;
      earlier = std::move(reading);
      open_->shot = true;
      return;
    }
    if (single && open_->faceTwo) {
      Note(record + " on line " + std::to_string(line) + " reads '" + reading.target +
           "' again after a set in both faces: the collector's check, passed over");
      return;
    }
    if (single) {
      Note("'" + reading.target + "' is shot again from '" + setup.station + "' on line " +
           std::to_string(line) + ": that shot replaces the one on line " +
           std::to_string(earlier.line));
      earlier = std::move(reading);
      return;
    }
  }
  if (back && reading.target == back->point) back->read = true;
  open_->pointed.emplace(reading.target, setup.readings.size());
  setup.readings.push_back(std::move(reading));
  open_->shot = true;
}

const GridPoint* SetupBuilder::CoordinatesOf(const std::string& point,
                                             std::optional<double>* z) const {
  if (const auto c = collector_.find(point); c != collector_.end()) {
    if (z) *z = c->second.z;
    return &c->second.xy;
  }
  if (const auto k = known_.find(point); k != known_.end()) {
    if (z) *z = job_.book.known[k->second].z;
    return &job_.book.known[k->second].xy;
  }
  return nullptr;
}

// The open setup's orientation as the collector had it: the back azimuth
// less the circle reading on the back point, the azimuth given or from the
// collector's coordinates.
std::optional<double> SetupBuilder::CollectorOrientation(const GridPoint& station) const {
  const std::optional<Backsight>& back = open_->backsight;
  if (!back) return std::nullopt;
  if (back->azimuth) return *back->azimuth - back->circle;
  const GridPoint* to = CoordinatesOf(back->point, nullptr);
  if (!to) return std::nullopt;
  return BearingOf(station, *to) - back->circle;
}

void SetupBuilder::Radiate(const SetupReading& reading, int line) {
  const BookSetup& setup = Current();
  std::optional<double> z;
  const GridPoint* station = CoordinatesOf(setup.station, &z);
  if (!station) return;
  const std::optional<double> orientation = CollectorOrientation(*station);
  std::optional<double> hd = reading.horizontal;
  const double toRadians = std::numbers::pi / 200;
  if (reading.slope && reading.zenith) hd = *reading.slope * std::sin(*reading.zenith * toRadians);
  if (!orientation || !hd) return;
  Radiated r{setup.station, line, PolarPoint(*station, *orientation, reading.hz, *hd), {}};
  if (z && reading.slope && reading.zenith && setup.hi && reading.ht)
    r.z = *z + *setup.hi + *reading.slope * std::cos(*reading.zenith * toRadians) - *reading.ht;
  radiated_[reading.target] = std::move(r);
}

void SetupBuilder::CollectorPoint(const std::string& point, const GridPoint& xy,
                                  std::optional<double> z, int line) {
  collector_[point] = {point, line, xy, z};
  const auto shot = radiated_.find(point);
  if (shot == radiated_.end()) return;
  for (const CollectorCheck& c : job_.checks)
    if (c.point == point && c.shotLine == shot->second.line) return;
  job_.checks.push_back(
      {point, line, shot->second.station, shot->second.line, xy, shot->second.xy, z, shot->second.z});
}

void SetupBuilder::Close() {
  if (!open_) return;
  if (!open_->shot) {
    Note("the setup on '" + Current().station + "' on line " + std::to_string(Current().line) +
         " has no shot: passed over");
    job_.book.setups.pop_back();
  } else if (open_->backsight) {
    backs_.emplace_back(open_->index, *open_->backsight);
  }
  open_.reset();
}

// A back point without coordinates in the file, with an azimuth, is the
// job's orientation: a bearing held fixed from the station, once for each
// line however often the collector sets up on it or sights it back.
void SetupBuilder::Finish(const std::string& azimuthField, std::optional<AngleUnit> unit) {
  Close();
  struct Held {
    std::string from, to;
    double bearing;
    int line;
  };
  std::vector<Held> held;
  for (const auto& [index, back] : backs_) {
    if (!back.azimuth || known_.count(back.point)) continue;
    const std::string& station = job_.book.setups[index].station;
    bool again = false;
    for (const Held& h : held) {
      const bool reverse = h.from == back.point && h.to == station;
      if (!reverse && !(h.from == station && h.to == back.point)) continue;
      const double expected = WithinTurn(h.bearing + (reverse ? 200 : 0));
      double difference = std::abs(expected - *back.azimuth);
      difference = std::min(difference, 400 - difference);
      if (difference > 1e-6)
        throw JobError(back.line, azimuthField + ": the azimuth " + AngleText(*back.azimuth, unit) +
                                      " from '" + station + "' to '" + back.point +
                                      "' disagrees with the one held on line " +
                                      std::to_string(h.line) + " (" + AngleText(expected, unit) +
                                      ")");
      again = true;
    }
    if (again) continue;
    held.push_back({station, back.point, *back.azimuth, back.line});
    FreeObservation bearing;
    bearing.kind = ObservationKind::Bearing;
    bearing.from = station;
    bearing.to = back.point;
    bearing.line = back.line;
    bearing.fixed = true;
    bearing.angle.line = back.line;
    bearing.angle.readings = {static_cast<std::uint32_t>(job_.book.readings.size()), 1};
    job_.book.readings.push_back(*back.azimuth);
    job_.book.free.push_back(std::move(bearing));
  }
}

}  // namespace traverse
