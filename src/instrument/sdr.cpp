// The SDR reader: every field is cut from its columns, which differ between
// SDR33 and SDR2x; a field of blanks is no value, and a line cut short by
// trailing blanks trimmed leaves its last fields blank.
#include "instrument/sdr.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "input/tokens.hpp"
#include "instrument/setup_builder.hpp"
#include "instrument/raw_text.hpp"

namespace traverse {
namespace {

// A field's columns (from 1) in SDR33 and in SDR2x, and its name.
struct Columns {
  int start33, width33, start2x, width2x;
  const char* name;
};

constexpr Columns kPoint{5, 16, 5, 4, "point"};
constexpr Columns kStation02{5, 16, 5, 4, "station"};
constexpr Columns kFirst{21, 16, 9, 10, "first coordinate"};
constexpr Columns kSecond{37, 16, 19, 10, "second coordinate"};
constexpr Columns kElevation{53, 16, 29, 10, "elevation"};
constexpr Columns kInstrumentHeight{69, 16, 39, 10, "instrument height"};
constexpr Columns kStationNote{85, 16, 49, 16, "description"};
constexpr Columns kTargetHeight{5, 16, 5, 10, "target height"};
constexpr Columns kFrom{5, 16, 5, 4, "from"};
constexpr Columns kTo{21, 16, 9, 4, "to"};
constexpr Columns kBackAzimuth{37, 16, 13, 10, "azimuth"};
constexpr Columns kBackCircle{53, 16, 23, 10, "horizontal reading"};
constexpr Columns kPointNote{69, 16, 39, 16, "description"};
constexpr Columns kSlope{37, 16, 13, 10, "slope distance"};
constexpr Columns kVertical{53, 16, 23, 10, "vertical reading"};
constexpr Columns kHorizontal{69, 16, 33, 10, "horizontal reading"};
constexpr Columns kShotNote{85, 16, 43, 16, "description"};

// `count` bytes of `text` from `at`, none where it is shorter.
std::string_view Part(std::string_view text, std::size_t at, std::size_t count) {
  return at < text.size() ? text.substr(at, count) : std::string_view{};
}

// The sum of the bytes between the STX line and ETX, modulo 65536, against
// the five digits after ETX: a note where they differ.
std::optional<std::string> FramingFault(std::string_view text) {
  const std::size_t stx = text.find('\x02');
  const std::size_t etx = text.find('\x03');
  if (stx == std::string_view::npos || etx == std::string_view::npos || etx < stx) return {};
  std::size_t from = text.find_first_of("\r\n", stx);
  while (from < etx && (text[from] == '\r' || text[from] == '\n')) ++from;
  if (from > etx) return {};
  unsigned sum = 0;
  for (std::size_t i = from; i < etx; ++i) sum += static_cast<unsigned char>(text[i]);
  std::string_view digits = Part(text, etx + 1, 5);
  if (digits.size() != 5 || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
      }))
    return "the ETX framing has no five-digit checksum";
  if (std::stoul(std::string(digits)) == sum % 65536) return {};
  return "the ETX checksum " + std::string(digits) + " is not the sum of the bytes framed (" +
         std::to_string(sum % 65536) + "): the file may be damaged";
}

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const RawOptions& options)
      : text_(text), lines_(text, true), options_(options), setups_(job_) {
    job_.book.source = source;
    if (options.angleUnit) angle_ = *options.angleUnit;
    if (options.lengthUnit) length_ = *options.lengthUnit;
  }

  RawJob Read() {
    if (const auto fault = FramingFault(text_)) setups_.Note(*fault);
    std::string_view line;
    while (lines_.Next(line)) {
      line_ = lines_.Number();
      if (Trim(line).empty() || line.front() == '\x02' || line.front() == '\x03') continue;
      record_ = line;
      const std::string_view type = line.substr(0, 2);
      derivation_ = line.size() >= 4 ? line.substr(2, 2) : std::string_view{};
      if (type == "00") {
        Header();
      } else if (type == "01") {
        if (line.size() >= 51) vertical_ = line[50] == '2';
      } else if (type == "02") {
        Station();
      } else if (type == "03") {
        ht_ = Length(kTargetHeight);
      } else if (type == "07") {
        Back();
      } else if (type == "08") {
        Point();
      } else if (type == "09") {
        Observation();
      } else if (type == "12") {
        inSet_ = true;
      } else if (type == "13") {
        std::string note(Part(line, 4, std::string_view::npos));
        std::transform(note.begin(), note.end(), note.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        if (note.find("us feet") != std::string::npos && length_ == LengthUnit::Foot)
          length_ = LengthUnit::UsSurveyFoot;
      } else {
        Ignored(std::string(line.substr(0, std::min<std::size_t>(4, line.size()))));
      }
    }
    setups_.Finish(std::string(twoX_ ? "07, columns 13-22" : "07, columns 37-52") + " (azimuth)",
                   angle_);
    for (const auto& [kind, seen] : ignored_)
      setups_.Note(std::to_string(seen.first) + " " + kind + " record" +
                   (seen.first == 1 ? "" : "s") + " (the first on line " +
                   std::to_string(seen.second) + ") passed over" +
                   (kind == "09MC" ? ": the collector's means, whose raw pointings are read" : ""));
    // The unit of every length read: the header's, or a note's US feet.
    if (length_) job_.lengthUnit = length_;
    return std::move(job_);
  }

 private:
  [[noreturn]] void Fault(const Columns& c, const std::string& message) const {
    const int start = twoX_ ? c.start2x : c.start33, width = twoX_ ? c.width2x : c.width33;
    throw JobError(line_, Text(record_.substr(0, std::min<std::size_t>(4, record_.size()))) +
                              ", columns " + std::to_string(start) + "-" +
                              std::to_string(start + width - 1) + " (" + c.name + "): " + message);
  }

  std::string Text(std::string_view bytes) const { return ToUtf8(bytes, options_.encoding); }

  // The field's text without its blanks; empty for a blank or missing field.
  std::string_view Slice(const Columns& c) const {
    const auto start = static_cast<std::size_t>((twoX_ ? c.start2x : c.start33) - 1);
    const auto width = static_cast<std::size_t>(twoX_ ? c.width2x : c.width33);
    if (start >= record_.size()) return {};
    return Trim(record_.substr(start, width));
  }

  std::optional<double> Number(const Columns& c) const {
    const std::string_view field = Slice(c);
    if (field.empty()) return std::nullopt;
    const NumberScan scan = ScanDecimal(field);
    if (scan.fault != NumberFault::None) Fault(c, NumberMessage("the value", field, scan.fault));
    return scan.value;
  }

  std::optional<double> Length(const Columns& c) const {
    const auto value = Number(c);
    if (!value) return std::nullopt;
    if (!length_) Fault(c, "no header (00) gives the length unit: give --length-unit");
    return *value;  // in the file's unit, which ToBook states
  }

  std::optional<double> Angle(const Columns& c) const {
    const auto value = Number(c);
    if (!value) return std::nullopt;
    if (!angle_ && !mils_) Fault(c, "no header (00) gives the angle unit: give --unit");
    return mils_ ? *value / 16 : UnitToGon(*value, *angle_);
  }

  std::string Name(const Columns& c) const {
    const std::string_view field = Slice(c);
    if (field.empty()) Fault(c, "expected a point name, found none");
    return Text(field);
  }

  void Header() {
    twoX_ = Part(record_, 4, 4) == "SDR2";
    if (record_.size() < 46) {
      Fault({41, 6, 41, 6, "units"}, "expected the six unit options, found the line cut short");
    }
    const char angle = record_[40], length = record_[41], order = record_[44],
               direction = record_[45];
    const Columns options{41, 6, 41, 6, "units"};
    mils_ = angle == '3' || angle == '4';
    if (angle == '1') angle_ = AngleUnit::Degree;
    else if (angle == '2') angle_ = AngleUnit::Gon;
    else if (!mils_) Fault(options, "the angle unit (column 41): expected 1, 2, 3 or 4");
    if (length == '1') length_ = LengthUnit::Metre;
    else if (length == '2') length_ = LengthUnit::Foot;
    else Fault(options, "the length unit (column 42): expected 1 (metres) or 2 (feet)");
    if (order != '1' && order != '2')
      Fault(options, "the coordinate order (column 45): expected 1 (N-E) or 2 (E-N)");
    eastFirst_ = order == '2';
    if (direction != '1' && direction != '2')
      Fault(options, "the angle direction (column 46): expected 1 (right) or 2 (left)");
    counterclockwise_ = direction == '2';
    if (!job_.lengthUnit) job_.lengthUnit = length_;
    if (!job_.book.firstUnit && angle_ && !mils_) job_.book.firstUnit = angle_;
  }

  // The coordinates of a 02 or 08 record in the header's order.
  std::optional<std::pair<GridPoint, std::optional<double>>> Coordinates() const {
    const auto first = Length(kFirst), second = Length(kSecond);
    if (!first && !second) return std::nullopt;
    if (!first || !second) Fault(first ? kSecond : kFirst, "expected a coordinate, found none");
    const GridPoint xy = eastFirst_ ? GridPoint{*second, *first} : GridPoint{*first, *second};
    return std::pair{xy, Length(kElevation)};
  }

  bool IsControl() const { return derivation_ == "KI" || derivation_ == "CO"; }

  void Station() {
    const std::string station = Name(kStation02);
    hi_ = Length(kInstrumentHeight);
    if (const auto at = Coordinates()) {
      if (IsControl())
        Control(station, *at, Slice(kStationNote));
      else
        setups_.CollectorPoint(station, at->first, at->second, line_);
    }
    setups_.Start(station, hi_, line_);
    inSet_ = false;
  }

  void Control(const std::string& name, const std::pair<GridPoint, std::optional<double>>& at,
               std::string_view note) {
    NamedPoint point;
    point.name = name;
    point.xy = at.first;
    point.z = at.second;
    point.line = line_;
    point.description = Text(note);
    setups_.AddControl(std::move(point));
  }

  void Point() {
    const std::string name = Name(kPoint);
    const auto at = Coordinates();
    if (!at) return;
    if (IsControl())
      Control(name, *at, Slice(kPointNote));
    else if (derivation_ == "TP")
      setups_.CollectorPoint(name, at->first, at->second, line_);
    else
      Ignored("08" + std::string(derivation_));
  }

  // The circle reading as clockwise, whatever the header's direction.
  double Clockwise(double gon) const { return WithinTurn(counterclockwise_ ? -gon : gon); }

  void CheckStation(const Columns& c, const std::string& from) {
    if (!setups_.Open()) Fault(c, "no station record (02) sets up the instrument before it");
    if (from != setups_.Current().station)
      Fault(c, "'" + from + "' is not the station of the setup on line " +
                   std::to_string(setups_.Current().line) + " ('" + setups_.Current().station +
                   "')");
  }

  void Back() {
    const std::string from = Name(kFrom);
    CheckStation(kFrom, from);
    Backsight back;
    back.point = Name(kTo);
    back.line = line_;
    if (back.point == from) Fault(kTo, "the backsight is the station itself");
    if (const auto az = Angle(kBackAzimuth)) back.azimuth = WithinTurn(*az);
    back.circle = Clockwise(Angle(kBackCircle).value_or(0));
    if (setups_.Back() || setups_.Shot()) setups_.Start(from, hi_, line_);
    setups_.SetBacksight(std::move(back));
  }

  void Observation() {
    if (derivation_ != "F1" && derivation_ != "F2" && derivation_ != "MD") {
      Ignored("09" + std::string(derivation_));
      return;
    }
    const std::string from = Name(kFrom);
    CheckStation(kFrom, from);
    SetupReading reading;
    reading.target = Name(kTo);
    reading.line = line_;
    if (reading.target == from) Fault(kTo, "the target is the station itself");
    const auto h = Angle(kHorizontal);
    if (!h) Fault(kHorizontal, "expected the horizontal circle reading, found none");
    reading.hz = Clockwise(*h);
    if (const auto v = Angle(kVertical)) {
      reading.zenith = vertical_ ? 100 - *v : *v;
      if (!(*reading.zenith > 0 && *reading.zenith < 400))
        Fault(kVertical, "expected a zenith angle between 0 and a full turn");
    }
    reading.slope = Length(kSlope);
    if (reading.slope && *reading.slope == 0) reading.slope.reset();
    if (reading.slope && !(*reading.slope > 0)) Fault(kSlope, "expected a positive distance");
    if (reading.slope && !reading.zenith)
      Fault(kSlope, "a slope distance needs its vertical reading");
    reading.face = derivation_ == "F2" ? 2 : 1;
    if (reading.zenith && (*reading.zenith > 200) != (reading.face == 2))
      Fault(kVertical, "a face " + std::to_string(reading.face) + " pointing read in the other face");
    reading.ht = ht_;
    reading.description = Text(Slice(kShotNote));
    setups_.Add(std::move(reading), !inSet_, "09" + std::string(derivation_), line_);
  }

  void Ignored(const std::string& kind) {
    auto& [count, first] = ignored_[Text(kind)];
    if (count++ == 0) first = line_;
  }

  std::string_view text_;
  TextLines lines_;
  const RawOptions& options_;
  RawJob job_;
  SetupBuilder setups_;
  int line_ = 0;
  std::string_view record_;  // the line being read
  std::string_view derivation_;
  bool twoX_ = false, eastFirst_ = false, counterclockwise_ = false, vertical_ = false,
       mils_ = false, inSet_ = false;
  std::optional<AngleUnit> angle_;
  std::optional<LengthUnit> length_;
  std::optional<double> hi_, ht_;
  std::map<std::string, std::pair<int, int>> ignored_;  // kind -> count, first line
};

}  // namespace

RawJob ReadSdrJob(std::string_view text, const std::string& source, const RawOptions& options) {
  try {
    return Reader(text, source, options).Read();
  } catch (const JobError& error) {
    // A value quoted as found may hold bytes that are not UTF-8.
    throw JobError(error.line(), ToUtf8(error.what(), options.encoding));
  }
}

Book ReadSdr(std::string_view text, const std::string& source, const RawOptions& options) {
  return ToBook(ReadSdrJob(text, source, options));
}

}  // namespace traverse
