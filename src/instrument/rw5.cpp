// The RW5 reader. Each record is a type and fields of a two-letter code
// glued to its value (`N ` and `E ` take a blank); a `--` field is a note to
// the end of the line, commas and all, and a line starting `--` is a comment
// (the collector writes its set means and check results that way: they are
// not counted again beside the raw pointings).
#include "instrument/rw5.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <unordered_map>

#include "input/tokens.hpp"
#include "instrument/raw_text.hpp"
#include "instrument/setup_builder.hpp"

namespace traverse {

namespace {

struct Field {
  std::string_view code, value;
};

struct Record {
  std::string_view type;
  std::vector<Field> fields;
  std::optional<std::string_view> note;
};

bool StartsNumber(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == ' ';
}

// A field's code and value: two letters, or `N`/`E` before a number.
Field FieldOf(std::string_view field) {
  if ((field[0] == 'N' || field[0] == 'E') && (field.size() == 1 || StartsNumber(field[1])))
    return {field.substr(0, 1), Trim(field.substr(1))};
  if (field.size() < 2) return {field, {}};
  return {field.substr(0, 2), Trim(field.substr(2))};
}

// The record on `line`; false for a blank line or a comment.
bool Split(std::string_view line, Record& record) {
  record.fields.clear();
  record.note.reset();
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.substr(0, 2) == "--") return false;
  std::size_t at = 0;
  for (bool first = true;; first = false) {
    const std::size_t comma = line.find(',', at);
    const std::string_view field =
        Trim(line.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (!first && field.substr(0, 2) == "--") {
      record.note = Trim(line.substr(line.find("--", at) + 2));
      break;
    }
    if (first)
      record.type = field;
    else if (!field.empty())
      record.fields.push_back(FieldOf(field));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return true;
}

bool IsAny(std::string_view type, std::initializer_list<std::string_view> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// Records of satellite positioning and others a total-station job does not
// use: passed over with a note.
bool IsGnss(std::string_view type) {
  return IsAny(type, {"GPS", "BP", "GS", "GT", "EB", "RE", "CS"});
}

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const RawOptions& options)
      : lines_(text, true), options_(options), setups_(job_) {
    job_.book.source = source;
  }

  RawJob Read() {
    std::string_view line;
    Record record;
    while (lines_.Next(line)) {
      line_ = lines_.Number();
      if (!Split(line, record)) continue;
      record_ = &record;
      const std::string_view type = record.type;
      if (type == "JB") {
        if (const auto name = Get("NM")) job_.book.title = Text(*name);
      } else if (type == "MO") {
        Mode();
      } else if (type == "SP") {
        StorePoint();
      } else if (type == "OC") {
        Occupy();
      } else if (type == "BK") {
        Back();
      } else if (type == "LS") {
        Heights();
      } else if (IsAny(type, {"SS", "TR", "BD", "BR", "FD", "FR"})) {
        Shot();
      } else {
        Ignored(type);
      }
    }
    Finish();
    return std::move(job_);
  }

 private:
  // ---- fields ----

  [[noreturn]] void Fault(std::string_view code, const std::string& message) const {
    throw JobError(line_, Text(record_->type) + (code.empty() ? "" : ", field " + Text(code)) +
                              ": " + message);
  }

  std::string Text(std::string_view bytes) const { return ToUtf8(bytes, options_.encoding); }

  // The value of field `code`, where the record has it with a value.
  std::optional<std::string_view> Get(std::string_view code) const {
    std::optional<std::string_view> found;
    for (const Field& field : record_->fields) {
      if (field.code != code) continue;
      if (found) Fault(code, "given twice");
      found = field.value;
    }
    if (found && found->empty()) return std::nullopt;  // a blank field is no value
    return found;
  }

  std::string Name(std::string_view code) const {
    const auto value = Get(code);
    if (!value) Fault(code, "expected a point name, found none");
    return Text(*value);
  }

  double Number(std::string_view code, std::string_view value) const {
    const NumberScan scan = ScanDecimal(value);
    if (scan.fault != NumberFault::None) Fault(code, NumberMessage("the value", value, scan.fault));
    return scan.value;
  }

  std::optional<double> Length(std::string_view code) {
    const auto value = Get(code);
    if (!value) return std::nullopt;
    const double number = Number(code, *value);
    if (!lengthUnit_) {
      if (!options_.lengthUnit)
        Fault(code, "the file gives no length unit (no MO record with UN): give --length-unit");
      lengthUnit_ = options_.lengthUnit;
      job_.lengthUnit = lengthUnit_;
    }
    return number;  // in the file's unit, which ToBook states
  }

  // An angle in the file's unit, in gon: DDD.MMSS (AU0), gon (AU1).
  std::optional<double> Angle(std::string_view code) {
    const auto value = Get(code);
    if (!value) return std::nullopt;
    if (!angleUnit_) {
      if (!options_.angleUnit)
        Fault(code, "the file gives no angle unit (no MO record with AU): give --unit");
      angleUnit_ = options_.angleUnit;
    }
    const std::string what = Text(record_->type) + ", field " + Text(code);
    if (*angleUnit_ != AngleUnit::Dms) return ParseAngle(*value, *angleUnit_, what, line_);
    // DDD.MMSSss as D-MM-SS.ss, read by the book's own D-M-S parse.
    std::string_view digits = *value;
    std::string dms;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
      dms += digits.front();
      digits.remove_prefix(1);
    }
    const std::size_t point = digits.find('.');
    const std::string_view whole = digits.substr(0, point);
    std::string fraction(point == std::string_view::npos ? "" : digits.substr(point + 1));
    const auto allDigits = [](std::string_view s) {
      return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) || whole.size() > 4)
      Fault(code, "expected an angle DDD.MMSS, found " + Quoted(*value));
    if (fraction.size() < 4) fraction.resize(4, '0');
    dms += std::string(whole) + "-" + fraction.substr(0, 2) + "-" + fraction.substr(2, 2);
    if (fraction.size() > 4) dms += "." + fraction.substr(4);
    return ParseDms(dms, what, line_);
  }

  // ---- records ----

  void Mode() {
    if (const auto un = Get("UN")) {
      if (*un == "0") lengthUnit_ = LengthUnit::Foot;
      else if (*un == "1") lengthUnit_ = LengthUnit::Metre;
      else if (*un == "2") lengthUnit_ = LengthUnit::UsSurveyFoot;
      else Fault("UN", "expected 0 (feet), 1 (metres) or 2 (US survey feet), found " + Quoted(*un));
      if (!job_.lengthUnit) job_.lengthUnit = lengthUnit_;
    }
    if (const auto au = Get("AU")) {
      if (*au == "0") angleUnit_ = AngleUnit::Dms;
      else if (*au == "1") angleUnit_ = AngleUnit::Gon;
      else Fault("AU", "expected 0 (degrees DDD.MMSS) or 1 (gon), found " + Quoted(*au));
      if (!job_.book.firstUnit) job_.book.firstUnit = angleUnit_;
    }
    if (const auto ad = Get("AD")) {
      if (*ad != "0" && *ad != "1")
        Fault("AD", "expected 0 (azimuths from north) or 1 (from south), found " + Quoted(*ad));
      south_ = *ad == "1";
    }
    if (const auto sf = Get("SF"); sf && Number("SF", *sf) != 1)
      Note("the MO record on line " + std::to_string(line_) + " gives a scale factor SF" +
           std::string(*sf) + ", which is not applied: give --scale");
    if (const auto eo = Get("EO"); eo && Number("EO", *eo) != 0)
      Note("the MO record on line " + std::to_string(line_) + " gives an EDM offset EO" +
           std::string(*eo) + ", which is not applied");
  }

  // N, E and EL of the record.
  std::pair<GridPoint, std::optional<double>> Coordinates(bool required) {
    const auto n = Length("N"), e = Length("E");
    if (required && (!n || !e)) Fault(n ? "E" : "N", "expected a coordinate, found none");
    return {GridPoint{n.value_or(0), e.value_or(0)}, Length("EL")};
  }

  void StorePoint() {
    NamedPoint point;
    point.name = Name("PN");
    std::tie(point.xy, point.z) = Coordinates(true);
    point.line = line_;
    if (record_->note) point.description = Text(*record_->note);
    setups_.AddControl(std::move(point));
  }

  void Occupy() {
    const std::string station = Name("OP");
    const auto [xy, z] = Coordinates(false);
    if (Get("N") && Get("E")) setups_.CollectorPoint(station, xy, z, line_);
    setups_.Start(station, hi_, line_);
  }

  void Back() {
    const std::string station = Name("OP");
    Backsight back;
    back.point = Name("BP");
    back.line = line_;
    if (back.point == station) Fault("BP", "the back point is the station itself");
    if (const auto bs = Angle("BS")) back.azimuth = WithinTurn(*bs + (south_ ? 200 : 0));
    back.circle = WithinTurn(Angle("BC").value_or(0));
    // A backsight taken again (a new round, a new back point) is a new
    // orientation of the circle: a setup of its own.
    if (!setups_.Open() || setups_.Current().station != station || setups_.Back() ||
        setups_.Shot())
      setups_.Start(station, hi_, line_);
    setups_.SetBacksight(std::move(back));
  }

  void Heights() {
    if (const auto hi = Length("HI")) {
      if (setups_.Shot() && setups_.Current().hi && *setups_.Current().hi != *hi)
        Fault("HI", "the instrument height changes within the setup of line " +
                        std::to_string(setups_.Current().line) + ": start a new OC");
      hi_ = hi;
      if (setups_.Open() && (!setups_.Shot() || !setups_.Current().hi)) setups_.Current().hi = hi;
    }
    if (const auto hr = Length("HR")) hr_ = hr;
  }

  void Shot() {
    const std::string_view type = record_->type;
    const std::string station = Name("OP");
    if (!setups_.Open()) Fault("OP", "a shot before any OC or BK record sets up the instrument");
    const BookSetup& setup = setups_.Current();
    if (station != setup.station)
      Fault("OP", "'" + station + "' is not the station of the setup on line " +
                      std::to_string(setup.line) + " ('" + setup.station + "')");
    SetupReading reading;
    reading.target = Name("FP");
    reading.line = line_;
    if (reading.target == station) Fault("FP", "the target is the station itself");
    const std::optional<Backsight>& back = setups_.Back();
    if (const auto ar = Angle("AR")) {
      reading.hz = *ar;
    } else if (const auto al = Angle("AL")) {
      reading.hz = -*al;
    } else if (const auto az = Angle("AZ")) {
      if (!back || !back->azimuth)
        Fault("AZ", "an azimuth needs the backsight's azimuth BS of a BK record before it");
      reading.hz = *az + (south_ ? 200 : 0) - *back->azimuth + back->circle;
    } else if (const auto dr = Angle("DR")) {
      if (!back) Fault("DR", "a deflection needs the BK record of the setup");
      reading.hz = back->circle + 200 + *dr;
    } else if (const auto dl = Angle("DL")) {
      if (!back) Fault("DL", "a deflection needs the BK record of the setup");
      reading.hz = back->circle + 200 - *dl;
    } else {
      Fault("", "expected a horizontal angle AR, AL, AZ, DR or DL, found none");
    }
    reading.hz = WithinTurn(reading.hz);
    reading.slope = Length("SD");
    reading.horizontal = Length("HD");
    if (reading.slope && reading.horizontal) reading.horizontal.reset();
    for (auto* distance : {&reading.slope, &reading.horizontal}) {
      if (*distance && **distance == 0) distance->reset();  // an angle-only shot
      if (*distance && !(**distance > 0))
        Fault(distance == &reading.slope ? "SD" : "HD", "expected a positive distance");
    }
    if (const auto ze = Angle("ZE")) {
      reading.zenith = ze;
    } else if (const auto va = Angle("VA")) {
      reading.zenith = 100 - *va;
    } else if (const auto ce = Length("CE")) {
      // The change in elevation, instrument to target, gives the zenith angle.
      if (reading.slope) {
        if (std::abs(*ce) >= *reading.slope)
          Fault("CE", "a change in elevation as long as the slope distance or longer");
        reading.zenith = std::acos(*ce / *reading.slope) * 200 / std::numbers::pi;
      } else if (reading.horizontal) {
        reading.zenith = std::atan2(*reading.horizontal, *ce) * 200 / std::numbers::pi;
        reading.slope = std::hypot(*reading.horizontal, *ce);
        reading.horizontal.reset();
      }
    }
    if (reading.zenith && !(*reading.zenith > 0 && *reading.zenith < 400))
      Fault("ZE", "expected a zenith angle between 0 and a full turn");
    if (reading.slope && !reading.zenith)
      Fault("SD", "a slope distance needs its zenith angle ZE, VA or CE");
    const bool reverse = type == "BR" || type == "FR";
    reading.face = reverse ? 2 : 1;
    if (reading.zenith && (*reading.zenith > 200) != reverse)
      Fault("ZE", std::string("a ") + (reverse ? "reverse" : "direct") +
                      " pointing with a zenith angle of the other face");
    reading.ht = hr_;
    if (record_->note) reading.description = Text(*record_->note);
    setups_.Add(std::move(reading), type == "SS" || type == "TR", Text(type), line_);
  }

  // ---- the end ----

  void Ignored(std::string_view type) {
    auto& [count, first] = ignored_[Text(type.substr(0, 16))];
    if (count++ == 0) first = line_;
  }

  void Note(std::string note) { job_.notes.push_back(std::move(note)); }

  void Finish() {
    setups_.Finish("BK, field BS", angleUnit_);
    for (const auto& [type, seen] : ignored_)
      Note(std::to_string(seen.first) + " " + type + " record" + (seen.first == 1 ? "" : "s") +
           " (the first on line " + std::to_string(seen.second) + ") " +
           (IsGnss(type) ? "of satellite positioning, not used: only total-station setups are read"
                         : "of a kind this reader does not use, passed over"));
  }

  TextLines lines_;
  const RawOptions& options_;
  RawJob job_;
  int line_ = 0;
  const Record* record_ = nullptr;
  std::optional<AngleUnit> angleUnit_;
  std::optional<LengthUnit> lengthUnit_;
  bool south_ = false;
  std::optional<double> hi_, hr_;
  SetupBuilder setups_;
  std::map<std::string, std::pair<int, int>> ignored_;     // type -> count, first line
};

}  // namespace

RawJob ReadRw5Job(std::string_view text, const std::string& source, const RawOptions& options) {
  try {
    return Reader(text, source, options).Read();
  } catch (const JobError& error) {
    // A value quoted as found may hold bytes that are not UTF-8.
    throw JobError(error.line(), ToUtf8(error.what(), options.encoding));
  }
}

Book ReadRw5(std::string_view text, const std::string& source, const RawOptions& options) {
  return ToBook(ReadRw5Job(text, source, options));
}

}  // namespace traverse
