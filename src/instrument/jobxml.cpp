// The JobXML reader. pugixml parses the file; the FieldBook's records are
// indexed by their ID first (a PointRecord names its station, target,
// backsight and atmosphere by ID, and a back bearing may be written after the
// pointing it orients), then read in the collector's order: each
// StationRecord a new setup, each PointRecord control, a pointing of the
// open setup or a satellite position. A record marked deleted is passed
// over, and so is a mean of rounds (MTA) whose raw pointings are read.
#include "instrument/jobxml.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <pugixml.hpp>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "adjustment/job_error.hpp"
#include "input/tokens.hpp"
#include "instrument/raw_text.hpp"
#include "instrument/setup_builder.hpp"

namespace traverse {
namespace {

using pugi::xml_node;

// A node's name without a namespace prefix.
std::string_view LocalName(const xml_node& node) {
  const std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The first child element of `node` named `name`, whatever its prefix.
xml_node Child(const xml_node& node, std::string_view name) {
  for (const xml_node& child : node.children())
    if (child.type() == pugi::node_element && LocalName(child) == name) return child;
  return {};
}

// The line of each byte offset, from the offsets of the line ends ("\n", or
// a "\r" alone).
class LineOf {
 public:
  explicit LineOf(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
        ends_.push_back(static_cast<std::ptrdiff_t>(i));
  }
  int operator()(std::ptrdiff_t offset) const {
    if (offset < 0) return 1;
    return 1 + static_cast<int>(std::lower_bound(ends_.begin(), ends_.end(), offset) - ends_.begin());
  }

 private:
  std::vector<std::ptrdiff_t> ends_;
};

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// The distance corrections of one pointing, for the setup's note.
struct Corrections {
  double constant = 0;  // metres
  int targetLine = 0;
  std::optional<double> ppm;  // of the atmosphere record
  bool ppmApplied = false;    // here: ApplyPPMToRawDistances
  int atmosphereLine = 0;
  bool operator==(const Corrections&) const = default;
};

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const RawOptions& options)
      : text_(text), lineOf_(text), options_(options), setups_(job_) {
    job_.book.source = source;
    job_.lengthUnit = LengthUnit::Metre;
  }

  RawJob Read() {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(text_.data(), text_.size(), pugi::parse_default, pugi::encoding_auto);
    if (parsed.status == pugi::status_no_document_element)
      throw JobError(1, "the file holds no XML element");
    if (!parsed)
      throw JobError(lineOf_(parsed.offset),
                     std::string("the XML is not well-formed: ") + parsed.description());
    const xml_node root = document.document_element();
    if (!root) throw JobError(1, "the file holds no XML element");
    if (LocalName(root) != "JOBFile")
      throw JobError(Line(root), "the root element is <" + Text(root.name()) + ">, not <JOBFile>");
    if (const pugi::xml_attribute name = root.attribute("jobName"); !Trim(name.value()).empty())
      job_.book.title = Text(Trim(name.value()));
    const xml_node book = Child(root, "FieldBook");
    if (!book) throw JobError(Line(root), "JOBFile: expected a <FieldBook>, found none");
    Index(book);
    for (const xml_node& record : book.children()) {
      if (record.type() != pugi::node_element) continue;
      record_ = record;
      const std::string_view kind = LocalName(record);
      if (kind == "UnitsRecord") {
        DisplayUnits();
      } else if (IsDeleted(record)) {
        if (deleted_.first++ == 0) deleted_.second = Line(record);
      } else if (kind == "StationRecord") {
        Station();
      } else if (kind == "PointRecord") {
        Point();
      }
    }
    Finish();
    return std::move(job_);
  }

 private:
  // ---- elements ----

  int Line(const xml_node& node) const { return lineOf_(node.offset_debug()); }

  std::string Text(std::string_view bytes) const { return ToUtf8(bytes, options_.encoding); }

  // "PointRecord 'P7'" or "StationRecord": the record of the FieldBook that
  // holds `at`, or the one being read.
  std::string RecordName(xml_node at) const {
    while (at && at.parent() && LocalName(at.parent()) != "FieldBook") at = at.parent();
    const xml_node record = at && at.parent() ? at : record_;
    std::string name = Text(LocalName(record));
    const std::string_view point = Trim(Child(record, "Name").child_value());
    if (!point.empty() && point.size() <= 64) name += " '" + Text(point) + "'";
    return name;
  }

  [[noreturn]] void Fault(const xml_node& at, std::string_view element, const std::string& message) const {
    throw JobError(Line(at ? at : record_), RecordName(at) +
                                                (element.empty() ? "" : ", " + Text(element)) +
                                                ": " + message);
  }

  // The text of child `name` of `node` without its blanks; none where the
  // element is missing or empty.
  static std::optional<std::string_view> Value(const xml_node& node, std::string_view name) {
    const xml_node child = Child(node, name);
    if (!child) return std::nullopt;
    const std::string_view value = Trim(child.child_value());
    if (value.empty()) return std::nullopt;
    return value;
  }

  std::optional<double> Number(const xml_node& node, std::string_view name) const {
    const auto value = Value(node, name);
    if (!value) return std::nullopt;
    const NumberScan scan = ScanDecimal(*value);
    if (scan.fault != NumberFault::None)
      Fault(Child(node, name), name, NumberMessage("the value", Text(*value), scan.fault));
    return scan.value;
  }

  // Decimal degrees, in gon.
  std::optional<double> Angle(const xml_node& node, std::string_view name) const {
    const auto degrees = Number(node, name);
    if (!degrees) return std::nullopt;
    return UnitToGon(*degrees, AngleUnit::Degree);
  }

  // "true" or "false" (1 or 0); none where it is not given.
  std::optional<bool> Flag(const xml_node& node, std::string_view name) const {
    const auto value = Value(node, name);
    if (!value) return std::nullopt;
    if (*value == "true" || *value == "1") return true;
    if (*value == "false" || *value == "0") return false;
    Fault(Child(node, name), name, "expected true or false, found " + Quoted(Text(*value)));
  }

  std::string Name(const xml_node& node, std::string_view name) const {
    const auto value = Value(node, name);
    if (!value) Fault(Child(node, name), name, "expected a point name, found none");
    if (std::any_of(value->begin(), value->end(), [](char c) { return c >= 0 && c < ' '; }))
      Fault(Child(node, name), name, "a point name with a line end or a control character");
    return Text(*value);
  }

  static std::string_view Id(const xml_node& node) { return Trim(node.attribute("ID").value()); }

  // Deleted="true", or a <Deleted> element that says true.
  static bool IsDeleted(const xml_node& record) {
    const std::string_view attribute = Trim(record.attribute("Deleted").value());
    const std::string_view element = Trim(Child(record, "Deleted").child_value());
    return attribute == "true" || attribute == "1" || element == "true" || element == "1";
  }

  // The record a reference `field` of the record names, of kind `kind`;
  // none where the field is empty.
  xml_node Referenced(const xml_node& node, std::string_view field, std::string_view kind) const {
    const auto id = Value(node, field);
    if (!id) return {};
    const auto found = byId_.find(std::string(*id));
    if (found == byId_.end() || LocalName(found->second) != kind)
      Fault(Child(node, field), field, "no " + std::string(kind) + " has the ID " + Quoted(Text(*id)));
    return found->second;
  }

  // ---- the index ----

  void Index(const xml_node& book) {
    for (const xml_node& record : book.children()) {
      if (record.type() != pugi::node_element) continue;
      record_ = record;
      const std::string_view kind = LocalName(record);
      const std::string id(Id(record));
      if (kind != "StationRecord" && kind != "BackBearingRecord" && kind != "TargetRecord" &&
          kind != "AtmosphereRecord" && kind != "PointRecord")
        continue;
      if (!id.empty()) {
        const auto [at, added] = byId_.emplace(id, record);
        if (!added)
          Fault(record, "", "the ID " + Quoted(Text(id)) + " is given again (first on line " +
                                std::to_string(Line(at->second)) + ")");
      }
      if (IsDeleted(record)) continue;
      if (kind == "BackBearingRecord") {
        if (const auto station = Value(record, "StationRecordID"))
          backBearings_[std::string(*station)].push_back(record);
      } else if (kind == "PointRecord") {
        const xml_node circle = Child(record, "Circle");
        const auto station = Value(record, "StationID");
        if (circle && station && Trim(Child(circle, "Face").child_value()) == "Face2")
          faceTwo_[std::string(*station)] = true;
      }
    }
  }

  // ---- records ----

  void DisplayUnits() {
    const auto units = Value(record_, "AngleUnits");
    if (!units || job_.book.firstUnit) return;
    if (*units == "DMSDegrees") job_.book.firstUnit = AngleUnit::Dms;
    else if (*units == "Gons") job_.book.firstUnit = AngleUnit::Gon;
    else if (*units == "DecimalDegrees") job_.book.firstUnit = AngleUnit::Degree;
  }

  void Station() {
    const std::string station = Name(record_, "StationName");
    const int line = Line(record_);
    const std::optional<double> hi = Number(record_, "TheodoliteHeight");
    setups_.Start(station, hi, line);
    open_ = record_;
    noted_.clear();
    const std::string id(Id(record_));
    single_ = !faceTwo_.count(id);
    const auto backs = backBearings_.find(id);
    if (id.empty() || backs == backBearings_.end()) return;
    const xml_node back = backs->second.front();
    for (std::size_t k = 1; k < backs->second.size(); ++k)
      setups_.Note("the BackBearingRecord on line " + std::to_string(Line(backs->second[k])) +
                   " orients the setup on '" + station + "' (line " + std::to_string(line) +
                   ") again: the first, on line " + std::to_string(Line(back)) + ", is used");
    BackBearing(back, station);
  }

  void BackBearing(const xml_node& node, const std::string& station) {
    const xml_node saved = record_;
    record_ = node;
    if (const auto named = Value(node, "Station"); named && Text(*named) != station)
      Fault(Child(node, "Station"), "Station",
            Quoted(Text(*named)) + " is not the station of its StationRecord ('" + station + "')");
    const auto point = Value(node, "BackSight");
    if (!point) {
      setups_.Note("the BackBearingRecord on line " + std::to_string(Line(node)) +
                   " names no back point: the setup on '" + station + "' is oriented by its pointings");
      record_ = saved;
      return;
    }
    Backsight back;
    back.point = Text(*point);
    back.line = Line(node);
    if (back.point == station) Fault(Child(node, "BackSight"), "BackSight", "the back point is the station itself");
    if (const auto one = Angle(node, "Face1HorizontalCircle"))
      back.circle = WithinTurn(*one);
    else if (const auto two = Angle(node, "Face2HorizontalCircle"))
      back.circle = WithinTurn(*two - 200);
    else
      Fault(node, "Face1HorizontalCircle", "expected the circle reading on the back point, found none");
    if (const auto correction = Angle(node, "OrientationCorrection"))
      back.azimuth = WithinTurn(back.circle + *correction);
    setups_.SetBacksight(std::move(back));
    record_ = saved;
  }

  void Point() {
    const std::string name = Name(record_, "Name");
    const std::string_view method = Value(record_, "Method").value_or("");
    const std::string_view classification = Value(record_, "Classification").value_or("");
    if (Child(record_, "MTA") || method == "MeanTurnedAngle" || classification == "MTA") {
      if (means_.first++ == 0) means_.second = Line(record_);
      return;
    }
    if (const xml_node circle = Child(record_, "Circle")) {
      Observation(name, circle, classification);
    } else if (const xml_node grid = Child(record_, "Grid")) {
      Control(name, grid, classification);
    } else if (const xml_node computed = Child(record_, "ComputedGrid");
               computed && (StartsWith(method, "Gps") || method == "FromBase" || Child(record_, "WGS84") ||
                            Child(record_, "ECEF") || Child(record_, "ECEFDeltas"))) {
      if (satellite_.first++ == 0) satellite_.second = Line(record_);
      Control(name, computed, classification);
    } else {
      if (unused_.first++ == 0) unused_.second = Line(record_);
    }
  }

  // North, East and Elevation of a Grid or ComputedGrid element.
  std::pair<GridPoint, std::optional<double>> Coordinates(const xml_node& grid) const {
    const auto north = Number(grid, "North"), east = Number(grid, "East");
    if (!north || !east)
      Fault(grid, north ? "East" : "North", "expected a coordinate, found none");
    return {GridPoint{*north, *east}, Number(grid, "Elevation")};
  }

  void Control(const std::string& name, const xml_node& grid, std::string_view classification) {
    NamedPoint point;
    point.name = name;
    std::tie(point.xy, point.z) = Coordinates(grid);
    point.line = Line(record_);
    if (const auto code = Value(record_, "Code")) point.description = Text(*code);
    if (classification == "Check") {
      setups_.Note("'" + name + "' on line " + std::to_string(point.line) +
                   " is classified as a check: its coordinates are not control");
      return;
    }
    setups_.AddControl(std::move(point));
  }

  void Observation(const std::string& name, const xml_node& circle, std::string_view classification) {
    const int line = Line(record_);
    const xml_node station = Referenced(record_, "StationID", "StationRecord");
    if (!station) Fault(record_, "StationID", "an observation without the StationRecord it is read from");
    if (IsDeleted(station)) {
      if (deleted_.first++ == 0) deleted_.second = line;
      return;
    }
    if (station != open_)
      Fault(Child(record_, "StationID"), "StationID",
            "the StationRecord on line " + std::to_string(Line(station)) + " is not the setup open" +
                (open_ ? " (since line " + std::to_string(Line(open_)) + ")" : std::string()));
    Referenced(record_, "BackBearingID", "BackBearingRecord");
    if (classification == "Check") {
      setups_.Note("the PointRecord '" + name + "' on line " + std::to_string(line) +
                   " is classified as a check: the collector's check, passed over");
      return;
    }
    const std::string& from = setups_.Current().station;
    SetupReading reading;
    reading.target = name;
    reading.line = line;
    if (name == from) Fault(Child(record_, "Name"), "Name", "the target is the station itself");
    const auto hz = Angle(circle, "HorizontalCircle");
    if (!hz) Fault(circle, "HorizontalCircle", "expected the horizontal circle reading, found none");
    reading.hz = WithinTurn(*hz);
    reading.zenith = Angle(circle, "VerticalCircle");
    if (reading.zenith && !(*reading.zenith > 0 && *reading.zenith < 400))
      Fault(Child(circle, "VerticalCircle"), "VerticalCircle",
            "expected a zenith angle between 0 and a full turn");
    const std::string_view face = Value(circle, "Face").value_or("FaceNull");
    if (face == "Face1") reading.face = 1;
    else if (face == "Face2") reading.face = 2;
    else if (face == "FaceNull") reading.face = reading.zenith && *reading.zenith > 200 ? 2 : 1;
    else Fault(Child(circle, "Face"), "Face", "expected Face1, Face2 or FaceNull, found " + Quoted(Text(face)));
    if (reading.zenith && (*reading.zenith > 200) != (reading.face == 2))
      Fault(Child(circle, "VerticalCircle"), "VerticalCircle",
            "a face " + std::to_string(reading.face) + " pointing read in the other face");
    std::optional<double> edm = Number(circle, "EDMDistance");
    if (edm && *edm == 0) edm.reset();  // an angle-only pointing
    if (edm && !(*edm > 0)) Fault(Child(circle, "EDMDistance"), "EDMDistance", "expected a positive distance");
    if (edm && !reading.zenith)
      Fault(Child(circle, "EDMDistance"), "EDMDistance", "a slope distance needs its VerticalCircle");
    Corrections corrections;
    if (const xml_node target = Referenced(record_, "TargetID", "TargetRecord")) {
      corrections.constant = Number(target, "PrismConstant").value_or(0);
      corrections.targetLine = Line(target);
      reading.ht = Number(target, "TargetHeight");
    }
    xml_node atmosphere = Referenced(record_, "AtmosphereID", "AtmosphereRecord");
    if (!atmosphere) {
      const xml_node saved = record_;
      record_ = station;
      atmosphere = Referenced(station, "AtmosphereID", "AtmosphereRecord");
      record_ = saved;
    }
    if (atmosphere) {
      // The raw distances are still to take the ppm unless the file says the
      // instrument applied it.
      corrections.ppm = Number(atmosphere, "PPM");
      corrections.ppmApplied =
          corrections.ppm && Flag(atmosphere, "ApplyPPMToRawDistances").value_or(true);
      corrections.atmosphereLine = Line(atmosphere);
    }
    if (edm) {
      const double ppm = corrections.ppmApplied ? *corrections.ppm : 0;
      reading.slope = *edm * (1 + ppm * 1e-6) + corrections.constant;
      if (!(*reading.slope > 0) || !std::isfinite(*reading.slope))
        Fault(Child(circle, "EDMDistance"), "EDMDistance",
              "the distance corrected for the prism constant and the ppm is not positive");
      NoteCorrections(corrections);
    }
    if (const auto code = Value(record_, "Code")) reading.description = Text(*code);
    setups_.Add(std::move(reading), single_, "PointRecord '" + name + "'", line);
    if (const xml_node computed = Child(record_, "ComputedGrid")) {
      const auto north = Number(computed, "North"), east = Number(computed, "East");
      if (north && east)
        setups_.CollectorPoint(name, GridPoint{*north, *east}, Number(computed, "Elevation"),
                               Line(computed));
    }
  }

  // Said once per setup for each prism constant and ppm its distances take.
  void NoteCorrections(const Corrections& corrections) {
    if (std::find(noted_.begin(), noted_.end(), corrections) != noted_.end()) return;
    noted_.push_back(corrections);
    const BookSetup& setup = setups_.Current();
    std::string note = "The setup on '" + setup.station + "' (line " + std::to_string(setup.line) +
                       "): prism constant " + Signed(corrections.constant * 1000, 1) + " mm";
    note += corrections.targetLine ? " (TargetRecord, line " + std::to_string(corrections.targetLine) + ")"
                                   : " (no TargetRecord)";
    const std::string atmosphere =
        " (AtmosphereRecord, line " + std::to_string(corrections.atmosphereLine) + ")";
    if (corrections.ppmApplied) note += " and ppm " + Signed(*corrections.ppm, 1) + atmosphere;
    note += " applied to its raw EDM distances";
    if (corrections.ppm && !corrections.ppmApplied)
      note += "; the ppm " + Signed(*corrections.ppm, 1) + atmosphere +
              " taken as applied by the instrument (ApplyPPMToRawDistances false)";
    note += ".";
    setups_.Note(std::move(note));
  }

  // ---- the end ----

  static std::string Counted(std::pair<int, int> seen, const std::string& what) {
    return std::to_string(seen.first) + " " + what + (seen.first == 1 ? "" : "s") +
           " (the first on line " + std::to_string(seen.second) + ")";
  }

  void Finish() {
    setups_.Finish("BackBearingRecord, OrientationCorrection", AngleUnit::Degree);
    if (deleted_.first) setups_.Note(Counted(deleted_, "record") + " marked deleted, passed over");
    if (means_.first)
      setups_.Note(Counted(means_, "mean-of-rounds (MTA) record") +
                   " passed over: the raw pointings they mean are read");
    if (satellite_.first)
      setups_.Note(Counted(satellite_, "point") +
                   " measured by satellite positioning, taken as control at the grid coordinates "
                   "the collector computed (ComputedGrid)");
    if (unused_.first)
      setups_.Note(Counted(unused_, "PointRecord") +
                   " without grid coordinates or a Circle observation, passed over");
    if (job_.book.setups.empty())
      setups_.Note("The file holds no total-station setups: its " +
                   std::to_string(job_.book.known.size()) + " point" +
                   (job_.book.known.size() == 1 ? " is" : "s are") +
                   " read as control, and there is nothing to adjust.");
  }

  std::string_view text_;
  LineOf lineOf_;
  const RawOptions& options_;
  RawJob job_;
  SetupBuilder setups_;
  xml_node record_, open_;  // the record being read, the open setup's StationRecord
  bool single_ = true;      // the open setup is read in face one only
  std::vector<Corrections> noted_;  // of the open setup
  std::unordered_map<std::string, xml_node> byId_;
  std::unordered_map<std::string, std::vector<xml_node>> backBearings_;  // by StationRecordID
  std::unordered_map<std::string, bool> faceTwo_;                        // StationIDs read in face two
  std::pair<int, int> deleted_, means_, satellite_, unused_;             // count, first line
};

}  // namespace

RawJob ReadJobXmlJob(std::string_view text, const std::string& source, const RawOptions& options) {
  try {
    return Reader(text, source, options).Read();
  } catch (const JobError& error) {
    throw JobError(error.line(), ToUtf8(error.what(), options.encoding));
  }
}

Book ReadJobXml(std::string_view text, const std::string& source, const RawOptions& options) {
  return ToBook(ReadJobXmlJob(text, source, options));
}

}  // namespace traverse
