// The adjustment as LandXML 1.2 for civil CAD: the points, the traverses as
// lines of plan geometry, and the setups with their reduced observations.
// Written as escaped text a block at a time, every name through XmlText so
// that the file is well-formed whatever bytes a book's names hold.
#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "numbers/shortest_text.hpp"
#include "report/report_figures.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {


// An attribute ` key="value"`, escaped.
std::string Attribute(const char* key, std::string_view value) {
  return std::string(" ") + key + "=\"" + XmlText(value) + '"';
}

std::string Attribute(const char* key, double value) { return Attribute(key, ShortestText(value)); }

// "N E" or "N E Z", in that order, each reading back to the same double.
std::string Coordinates(const GridPoint& xy, const std::optional<double>& z) {
  std::string text = ShortestText(xy.x) + ' ' + ShortestText(xy.y);
  if (z) text += ' ' + ShortestText(*z);
  return text;
}

// The date and time of the run, UTC, which the LandXML root must carry.
void Now(std::string& date, std::string& time) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const std::tm* utc = std::gmtime(&now);
  char text[32] = "1970-01-01 00:00:00";
  if (utc) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", utc);
  date.assign(text, 10);
  time.assign(text + 11, 8);
}

// `Units`: metric, or imperial for a job in feet (its coordinates are),
// and the angular unit of the report: grads, or decimal degrees for degrees
// and D-M-S alike.
std::string Units(const BookResult& book) {
  const LengthUnit unit = book.settings.length;
  const char* angular = book.settings.unit == AngleUnit::Gon ? "grads" : "decimal degrees";
  std::string units = "  <Units>\n    ";
  if (unit == LengthUnit::Metre) {
    units += "<Metric areaUnit=\"squareMeter\" linearUnit=\"meter\" volumeUnit=\"cubicMeter\" "
             "temperatureUnit=\"celsius\" pressureUnit=\"milliBars\"";
  } else {
    units += std::string("<Imperial areaUnit=\"squareFoot\" linearUnit=\"") +
             (unit == LengthUnit::UsSurveyFoot ? "USSurveyFoot" : "foot") +
             "\" volumeUnit=\"cubicFeet\" temperatureUnit=\"fahrenheit\" pressureUnit=\"inHG\"";
  }
  return units + Attribute("angularUnit", angular) + Attribute("directionUnit", angular) +
         "/>\n  </Units>\n";
}

// An angle in gon as the Units say it: grads, or decimal degrees.
double Angle(double gon, AngleUnit unit) { return unit == AngleUnit::Gon ? gon : gon * 0.9; }

// A CgPoint: name, description (and a sideshot's code), its coordinates.
void AddPoint(std::string& out, const std::string& name, const std::string& code,
              const std::string& description, const GridPoint& xy, const std::optional<double>& z) {
  out += "    <CgPoint" + Attribute("name", name);
  if (!code.empty()) out += Attribute("code", code);
  if (!description.empty()) out += Attribute("desc", description);
  out += '>' + Coordinates(xy, z) + "</CgPoint>\n";
}

// The reduced observations of one setup: each target's direction (and grid
// azimuth where the setup is oriented), zenith, distances and target height.
void AddSetup(std::string& out, const SetupResult& result, std::size_t index, AngleUnit unit) {
  const BookSetup& setup = result.setup;
  const std::string id = "setup" + std::to_string(index + 1);
  out += "    <InstrumentSetup" + Attribute("id", id) + Attribute("stationName", setup.station) +
         Attribute("instrumentHeight", setup.hi.value_or(0)) + ">\n      <InstrumentPoint" +
         Attribute("pntRef", setup.station) + "/>\n    </InstrumentSetup>\n";
  out += "    <ObservationGroup" + Attribute("id", "group" + std::to_string(index + 1)) + ">\n";
  for (const SetupDirection& d : setup.directions) {
    out += "      <RawObservation" + Attribute("setupID", id) + Attribute("horizAngle", Angle(d.direction, unit));
    if (result.orientation)
      out += Attribute("azimuth", Angle(std::fmod(*result.orientation + d.direction, 400.0), unit));
    if (d.zenith) out += Attribute("zenithAngle", Angle(*d.zenith, unit));
    if (d.slope) out += Attribute("slopeDistance", *d.slope);
    if (d.horizontal) out += Attribute("horizDistance", *d.horizontal);
    if (d.ht) out += Attribute("targetHeight", *d.ht);
    out += ">\n        <TargetPoint" + Attribute("pntRef", d.target) + "/>\n      </RawObservation>\n";
  }
  out += "    </ObservationGroup>\n";
}

}  // namespace

void WriteLandXml(const BookResult& book, const ReportOptions& options, const ReportSink& sink) {
  std::string out, date, time;
  // Handed on a block at a time: a book of thousands of points is never held whole.
  const auto spill = [&] {
    if (out.size() > (std::size_t{1} << 20)) {
      sink(out);
      out.clear();
    }
  };
  Now(date, time);
  out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<LandXML xmlns=\"http://www.landxml.org/schema/LandXML-1.2\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.landxml.org/schema/LandXML-1.2 "
        "http://www.landxml.org/schema/LandXML-1.2/LandXML-1.2.xsd\" version=\"1.2\"" +
        Attribute("date", date) + Attribute("time", time) + ">\n";
  out += Units(book);
  if (book.grid) {
    const geodesy::GridDefinition& grid = book.grid->settings.definition;
    out += "  <CoordinateSystem" + Attribute("name", grid.name);
    if (grid.epsg > 0) out += Attribute("epsgCode", std::to_string(grid.epsg));
    out += Attribute("ellipsoidName", grid.ellipsoid.name) + "/>\n";
  }
  out += "  <Application name=\"traverse\"" + Attribute("version", options.version) +
         Attribute("desc", "adjustment of " + book.source) + "/>\n";

  out += "  <CgPoints>\n";
  std::unordered_map<std::string, const GridPoint*> at;
  for (const NamedPoint& p : book.known) {
    at.emplace(p.name, &p.xy);
    AddPoint(out, p.name, "", p.description, p.xy, p.z);
    spill();
  }
  for (const NewPoint& p : book.points) {
    at.emplace(p.point.name, &p.point.xy);
    AddPoint(out, p.point.name, "", p.point.description, p.point.xy, p.point.z);
    spill();
  }
  for (const Sideshot& shot : book.sideshots) {
    AddPoint(out, shot.name, shot.code, shot.description, shot.xy, shot.z);
    spill();
  }
  out += "  </CgPoints>\n";

  if (!book.traverses.empty()) {
    out += "  <PlanFeatures name=\"traverses\">\n";
    for (const BookTraverseResult& traverse : book.traverses) {
      std::vector<std::string> stations = traverse.job.stations;
      if (traverse.result.kind == TraverseKind::Loop && !stations.empty() &&
          stations.back() != stations.front())
        stations.push_back(stations.front());
      out += "    <PlanFeature" +
             Attribute("name", traverse.name.empty() ? "traverse " + std::to_string(traverse.line)
                                                     : traverse.name) +
             ">\n      <CoordGeom>\n";
      for (std::size_t i = 1; i < stations.size(); ++i) {
        const auto from = at.find(stations[i - 1]), to = at.find(stations[i]);
        if (from == at.end() || to == at.end()) continue;
        out += "        <Line><Start" + Attribute("pntRef", stations[i - 1]) + '>' +
               Coordinates(*from->second, std::nullopt) + "</Start><End" +
               Attribute("pntRef", stations[i]) + '>' + Coordinates(*to->second, std::nullopt) +
               "</End></Line>\n";
      }
      out += "      </CoordGeom>\n    </PlanFeature>\n";
      spill();
    }
    out += "  </PlanFeatures>\n";
  }

  if (!book.setups.empty()) {
    out += "  <Survey>\n    <SurveyHeader" + Attribute("name", book.title.value_or(book.source)) + "/>\n";
    for (std::size_t i = 0; i < book.setups.size(); ++i) {
      AddSetup(out, book.setups[i], i, book.settings.unit);
      spill();
    }
    out += "  </Survey>\n";
  }
  out += "</LandXML>\n";
  sink(out);
}

}  // namespace traverse
