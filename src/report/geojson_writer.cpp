// The adjustment as GeoJSON (RFC 7946) for a GIS: positions are the points'
// latitude, longitude and ellipsoidal height on the job's grid, which the
// result holds; the grid's own figures travel as properties.
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/report_figures.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

using json = nlohmann::ordered_json;

// `value` rounded to `decimals` decimals: nine of a degree are 0.1 mm on the
// ground, and the shortest text of the rounded value stops there.
double Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

json OrNull(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

// A point's position, [lon, lat] or [lon, lat, h]; none off the grid.
json Position(const std::optional<geodesy::PointFactors>& map, const std::optional<double>& h) {
  if (!map) return nullptr;
  json position = {Rounded(map->at.lon, 9), Rounded(map->at.lat, 9)};
  if (h) position.push_back(Rounded(*h, 4));
  return position;
}

// A point as a Feature: its place, and its figures as flat properties (a
// GIS table has no nested columns).
json PointFeature(const NamedPoint& point, const char* kind,
                  const std::optional<PointPrecision>& precision, const std::string& description) {
  json geometry = nullptr;
  if (json position = Position(point.map, point.h); !position.is_null())
    geometry = {{"type", "Point"}, {"coordinates", std::move(position)}};
  json properties = {{"name", point.name},
                     {"kind", kind},
                     {"N", point.xy.x},
                     {"E", point.xy.y},
                     {"Z", OrNull(point.z)}};
  const auto of = [&precision](double PointPrecision::*member) {
    return precision ? json((*precision).*member) : json(nullptr);
  };
  properties["sigma_N"] = of(&PointPrecision::sx);
  properties["sigma_E"] = of(&PointPrecision::sy);
  properties["ellipse_a"] = of(&PointPrecision::a);
  properties["ellipse_b"] = of(&PointPrecision::b);
  // Degrees whatever the report's unit: a GIS turns symbols by degrees.
  properties["ellipse_bearing"] = precision ? json(precision->bearing * 0.9) : json(nullptr);
  properties["description"] = description.empty() ? json(nullptr) : json(description);
  return {{"type", "Feature"}, {"geometry", std::move(geometry)}, {"properties", std::move(properties)}};
}

// Where each point of the result lies, by name.
class Places {
 public:
  void Add(const std::string& name, const std::optional<geodesy::PointFactors>& map,
           const std::optional<double>& h) {
    if (json position = Position(map, h); !position.is_null()) at_.emplace(name, std::move(position));
  }
  // A LineString through `names`; none where a name has no place.
  json Line(const std::vector<std::string>& names) const {
    json coordinates = json::array();
    for (const std::string& name : names) {
      const auto found = at_.find(name);
      if (found == at_.end()) return nullptr;
      coordinates.push_back(found->second);
    }
    return {{"type", "LineString"}, {"coordinates", std::move(coordinates)}};
  }

 private:
  std::unordered_map<std::string, json> at_;
};

json LineFeature(json geometry, const std::string& name, const char* kind) {
  return {{"type", "Feature"},
          {"geometry", std::move(geometry)},
          {"properties", {{"name", name}, {"kind", kind}}}};
}

// Every pair of points an observation joins, once whichever way it was
// read: the setups' directions, the free records, and the checks.
std::vector<std::pair<std::string, std::string>> ObservedLines(const BookResult& book) {
  std::set<std::pair<std::string, std::string>> seen;
  std::vector<std::pair<std::string, std::string>> lines;
  const auto add = [&](const std::string& a, const std::string& b) {
    if (a.empty() || b.empty() || a == b) return;
    if (seen.insert(a < b ? std::pair(a, b) : std::pair(b, a)).second) lines.emplace_back(a, b);
  };
  for (const SetupResult& setup : book.setups)
    for (const SetupDirection& direction : setup.setup.directions)
      add(setup.setup.station, direction.target);
  if (book.network) {
    for (const ObservationReport& o : book.network->observations) {
      if (!o.free) continue;
      const std::string from = o.from.value_or(""), to = o.to.value_or("");
      if (o.at.empty()) {
        add(from, to);
      } else {
        add(o.at, from);
        add(o.at, to);
      }
    }
  }
  for (const Check& check : book.checks) {
    if (check.at.empty()) {
      add(check.from, check.to);
    } else {
      add(check.at, check.from);
      add(check.at, check.to);
    }
  }
  return lines;
}

}  // namespace

void WriteGeoJson(const BookResult& book, const ReportOptions&, const ReportSink& sink) {
  // One feature a line, handed on a block at a time: a book of thousands of
  // sideshots is never held whole.
  std::string out = "{\"type\":\"FeatureCollection\",\"features\":[";
  bool first = true;
  const auto emit = [&](const json& feature) {
    out += first ? "\n" : ",\n";
    first = false;
    // A name that is no valid UTF-8 (a book typed in a code page) is
    // written with U+FFFD where its bad bytes were, never refused.
    out += feature.dump(-1, ' ', false, json::error_handler_t::replace);
    if (out.size() > (std::size_t{1} << 20)) {
      sink(out);
      out.clear();
    }
  };
  Places places;
  for (const NamedPoint& point : book.known) {
    places.Add(point.name, point.map, point.h);
    emit(PointFeature(point, "known", std::nullopt, point.description));
  }
  for (const NewPoint& point : book.points) {
    places.Add(point.point.name, point.point.map, point.point.h);
    emit(PointFeature(point.point, "new", point.precision, point.point.description));
  }
  for (const Sideshot& shot : book.sideshots) {
    places.Add(shot.name, shot.map, shot.h);
    NamedPoint point;
    point.name = shot.name;
    point.xy = shot.xy;
    point.z = shot.z;
    point.map = shot.map;
    point.h = shot.h;
    emit(PointFeature(point, "sideshot", shot.precision, SideshotDescription(shot)));
  }
  for (const BookTraverseResult& traverse : book.traverses) {
    std::vector<std::string> stations = traverse.job.stations;
    if (traverse.result.kind == TraverseKind::Loop && !stations.empty() &&
        stations.back() != stations.front())
      stations.push_back(stations.front());
    if (json line = places.Line(stations); !line.is_null())
      emit(LineFeature(std::move(line), traverse.name, "traverse"));
  }
  for (const auto& [from, to] : ObservedLines(book))
    if (json line = places.Line({from, to}); !line.is_null())
      emit(LineFeature(std::move(line), from + "-" + to, "observation"));
  out += "\n]}\n";
  sink(out);
}

}  // namespace traverse
