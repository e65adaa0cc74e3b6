#include "instrument/gsi.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <numbers>
#include <optional>
#include <vector>

#include "adjustment/job_error.hpp"
#include "adjustment/name_index.hpp"
#include "input/tokens.hpp"
#include "instrument/raw_job.hpp"
#include "instrument/raw_text.hpp"
#include "numbers/shortest_text.hpp"

namespace traverse {
namespace {

constexpr long double footInMetres = 0.3048L;

// One word of a line as written: positions 1-2 the WI, 3-6 information
// (the last the units), 7 the sign, then the data.
struct Word {
  int wi = 0;
  char units = '.';
  char sign = '+';
  std::string_view data;
  std::string_view text;  // the whole word, for messages
  int position = 0;       // from 1 in the line
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The words of interest of one line, by WI: one block is cut line after
// line, its storage kept, and a word is found by its WI in one step.
class Block {
 public:
  // Cuts `line` into its words; throws JobError for a word that is no GSI word.
  void Cut(std::string_view line, int number) {
    for (const Word& word : words_) slot_[static_cast<std::size_t>(word.wi)] = 0;
    words_.clear();
    number_ = number;
    if (!line.empty() && line.front() == '*') line.remove_prefix(1);
    std::size_t at = 0;
    int position = 0;
    while (at < line.size()) {
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at == line.size()) break;
      const std::size_t start = at;
      while (at < line.size() && !IsBlank(line[at])) ++at;
      Add(line.substr(start, at - start), ++position);
    }
  }

  const Word* Find(int wi) const {
    const std::size_t slot = wi >= 0 && wi < 100 ? slot_[static_cast<std::size_t>(wi)] : 0;
    return slot == 0 ? nullptr : &words_[slot - 1];
  }
  bool Has(int wi) const { return Find(wi) != nullptr; }
  bool Empty() const { return words_.empty(); }
  int Number() const { return number_; }

  // A fault of `word`, naming the line, the word and its WI.
  JobError Fault(const Word& word, const std::string& message) const {
    return JobError(number_, "word " + std::to_string(word.position) + " (WI " +
                                 std::to_string(word.wi) + ", " + Quoted(word.text) + "): " + message);
  }

 private:
  void Add(std::string_view text, int position) {
    if ((text.size() != 15 && text.size() != 23) || !IsDigit(text[0]) || !IsDigit(text[1]) ||
        (text[6] != '+' && text[6] != '-'))
      throw JobError(number_, "word " + std::to_string(position) + ": expected a GSI word (WI, four "
                              "information characters, a sign and 8 or 16 characters of data), "
                              "found " + Quoted(text));
    Word word;
    word.wi = (text[0] - '0') * 10 + (text[1] - '0');
    word.units = text[5];
    word.sign = text[6];
    word.data = text.substr(7);
    word.text = text;
    word.position = position;
    if (Has(word.wi))
      throw JobError(number_, "word " + std::to_string(position) + ": WI " + std::to_string(word.wi) +
                                  " appears twice on the line");
    words_.push_back(word);
    slot_[static_cast<std::size_t>(word.wi)] = words_.size();
  }

  std::vector<Word> words_;
  std::array<std::size_t, 100> slot_{};  // by WI: its word's place in words_ plus one, 0 for none
  int number_ = 0;
};

// A word's data as a whole number, or none where it is written as dashes.
// One walk over the data: digits, dashes among them, anything else.
std::optional<std::int64_t> Whole(const Block& block, const Word& word) {
  std::int64_t value = 0;
  bool dash = false, other = false;
  for (const char c : word.data) {
    if (IsDigit(c))
      value = value * 10 + (c - '0');  // 16 digits at most: no overflow
    else if (c == '-')
      dash = true;
    else
      other = true;
  }
  if (other) throw block.Fault(word, "expected digits, found " + Quoted(word.data));
  if (dash) return std::nullopt;
  return word.sign == '-' ? -value : value;
}

// A circle or zenith reading in gon, by the word's units digit.
std::optional<double> Angle(const Block& block, const Word& word) {
  const std::optional<std::int64_t> whole = Whole(block, word);
  if (!whole) return std::nullopt;
  const auto value = static_cast<long double>(*whole);
  switch (word.units) {
    case '2':
      return static_cast<double>(value / 100000);
    case '3':
      return static_cast<double>(value / 100000 * 400 / 360);
    case '4': {
      // DDDMMSSs, the last digit tenths of a second.
      const std::int64_t magnitude = *whole < 0 ? -*whole : *whole;
      const std::int64_t minutes = magnitude / 1000 % 100, tenths = magnitude % 1000;
      if (minutes >= 60 || tenths >= 600)
        throw block.Fault(word, "expected DDDMMSSs (degrees, minutes, seconds and tenths), found " +
                                    Quoted(word.data));
      const long double degrees = static_cast<long double>(magnitude / 100000) +
                                  static_cast<long double>(minutes) / 60 +
                                  static_cast<long double>(tenths) / 36000;
      return static_cast<double>((*whole < 0 ? -degrees : degrees) * 400 / 360);
    }
    case '5':
      return static_cast<double>(value / 10000 * 400 / 6400);
    default:
      throw block.Fault(word, std::string("the units digit '") + word.units +
                                  "' is no angle unit (2 gon, 3 degrees, 4 DMS, 5 mil)");
  }
}

// A length in metres by the word's units digit; `feet` is set where the
// file gives it in feet.
std::optional<double> Length(const Block& block, const Word& word, bool& feet) {
  const std::optional<std::int64_t> whole = Whole(block, word);
  if (!whole) return std::nullopt;
  const auto value = static_cast<long double>(*whole);
  switch (word.units) {
    case '0':
    case '.':  // no units given: the instrument's default, mm
      return static_cast<double>(value / 1000);
    case '6':
      return static_cast<double>(value / 10000);
    case '8':
      return static_cast<double>(value / 100000);
    case '1':
      feet = true;
      return static_cast<double>(value * footInMetres / 1000);
    case '7':
      feet = true;
      return static_cast<double>(value * footInMetres / 10000);
    default:
      throw block.Fault(word, std::string("the units digit '") + word.units +
                                  "' is no length unit (0, 6, 8 metres; 1, 7 feet)");
  }
}

// A point id or code: its padding zeros dropped, as the instrument shows it;
// none where it is written as dashes.
std::optional<std::string> Text(const Word& word, TextEncoding encoding) {
  std::string_view data = word.data;
  while (data.size() > 1 && data.front() == '0') data.remove_prefix(1);
  if (std::all_of(data.begin(), data.end(), [](char c) { return c == '-'; })) return std::nullopt;
  return ToUtf8(data, encoding);
}

// A setup's recorded station coordinates, for the collector's checks.
struct StationRecord {
  std::optional<double> east, north, height;
};

// A pointing whose line also holds the coordinates the instrument computed.
struct Computed {
  std::string target;
  int line = 0;
  std::size_t setup = 0;
  double dEast = 0, dNorth = 0;
  std::optional<double> dHeight;
};

// The ppm and prism constant in force, and where they were recorded.
struct Corrections {
  std::optional<double> ppm, constant;  // ppm; metres
  int line = 0;
  bool operator==(const Corrections& other) const {
    return ppm == other.ppm && constant == other.constant;
  }
};

class GsiReader {
 public:
  GsiReader(std::string_view text, const std::string& source, const RawOptions& options)
      : text_(text), options_(options) {
    book_.source = source;
  }

  Book Read() {
    TextLines lines(text_, true);
    Block block;
    for (std::string_view line; lines.Next(line);) {
      block.Cut(line, lines.Number());
      if (block.Empty()) continue;
      ReadCorrections(block);
      if (block.Has(41)) {
        ReadCodeBlock(block);
      } else if (IsObservation(block)) {
        ReadObservation(block);
      } else if (block.Has(84) || block.Has(85) || block.Has(86) || block.Has(88)) {
        ReadStationLine(block);
      } else if (block.Has(81) || block.Has(82)) {
        ReadControl(block);
      }
    }
    CloseSetup();
    if (book_.setups.empty() && book_.known.empty())
      throw JobError(0, "the GSI file holds no observation and no coordinates");
    if (feet_) book_.notes.insert(book_.notes.begin(), "The file's lengths in feet are taken as international feet (0.3048 m).");
    NoteComputed();
    // Read in metres, a file in feet is given back in international feet.
    if (feet_) {
      ConvertLengths(book_, LengthUnit::Foot);
      book_.lengthStated = true;
    }
    return std::move(book_);
  }

 private:
  static bool IsObservation(const Block& block) {
    return block.Has(21) || block.Has(22) || block.Has(31) || block.Has(32) || block.Has(33);
  }

  std::optional<double> LengthOf(const Block& block, int wi) {
    const Word* word = block.Find(wi);
    return word ? Length(block, *word, feet_) : std::nullopt;
  }

  std::optional<std::string> TextOf(const Block& block, int wi) const {
    const Word* word = block.Find(wi);
    return word ? Text(*word, options_.encoding) : std::nullopt;
  }

  // The point id of WI 11, which the line must hold.
  std::string PointId(const Block& block, const char* what) const {
    std::optional<std::string> id = TextOf(block, 11);
    if (!id) throw JobError(block.Number(), std::string(what) + " has no point id (WI 11)");
    return std::move(*id);
  }

  // A code block: 42 the station and 43 the instrument height start a
  // setup; other code blocks carry codes and are passed over.
  void ReadCodeBlock(const Block& block) {
    const std::optional<std::string> station = TextOf(block, 42);
    if (!station) return;
    std::optional<double> hi;
    if (const Word* word = block.Find(43)) hi = InfoLength(block, *word);
    std::optional<double> ht;
    if (const Word* word = block.Find(44)) ht = InfoLength(block, *word);
    StartSetup(*station, block.Number(), hi, {});
    if (ht) ht_ = ht;
  }

  // A code block's information word that holds a length: a decimal number
  // in metres, or digits read by its units digit.
  std::optional<double> InfoLength(const Block& block, const Word& word) {
    const std::optional<std::string> text = Text(word, TextEncoding::Latin1);
    if (!text) return std::nullopt;
    if (text->find('.') == std::string::npos) return Length(block, word, feet_);
    const NumberScan scan = ScanDecimal(*text);
    if (scan.fault != NumberFault::None) throw block.Fault(word, "expected a height in metres");
    return word.sign == '-' ? -scan.value : scan.value;
  }

  void ReadStationLine(const Block& block) {
    StationRecord station;
    station.east = LengthOf(block, 84);
    station.north = LengthOf(block, 85);
    station.height = LengthOf(block, 86);
    StartSetup(PointId(block, "the station line"), block.Number(), LengthOf(block, 88), station);
    if (const std::optional<double> ht = LengthOf(block, 87)) ht_ = ht;
  }

  void StartSetup(const std::string& station, int line, std::optional<double> hi,
                  const StationRecord& record) {
    CloseSetup();
    setup_ = BookSetup{};
    setup_->station = station;
    setup_->line = line;
    setup_->hi = hi;
    station_ = record;
    ht_.reset();
    noted_.reset();
  }

  // The setup read so far joins the book; one without pointings is said.
  void CloseSetup() {
    if (!setup_) return;
    if (setup_->readings.empty()) {
      book_.notes.push_back("The setup on '" + setup_->station + "' (line " +
                            std::to_string(setup_->line) + ") has no observation and is left out.");
    } else {
      book_.setups.push_back(std::move(*setup_));
    }
    setup_.reset();
  }

  void ReadCorrections(const Block& block) {
    Corrections next = corrections_;
    if (const Word* word = block.Find(51)) {
      // Two signed values in one word: ppm, then the prism constant in mm.
      const std::string_view data = word->data;
      const std::size_t inner = data.find_first_of("+-");
      const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), IsDigit);
      };
      if (std::all_of(data.begin(), data.end(), [](char c) { return c == '-'; })) return;
      if (inner == std::string_view::npos || !digits(data.substr(0, inner)) ||
          !digits(data.substr(inner + 1)))
        throw block.Fault(*word, "expected the ppm and the prism constant as +PPPP+MMM, found " +
                                     Quoted(data));
      const double ppm = std::stod(std::string(data.substr(0, inner)));
      const double mm = std::stod(std::string(data.substr(inner + 1)));
      next.ppm = word->sign == '-' ? -ppm : ppm;
      next.constant = (data[inner] == '-' ? -mm : mm) / 1000;
    }
    if (const Word* word = block.Find(58)) {
      if (const std::optional<double> constant = Length(block, *word, feet_)) next.constant = constant;
    }
    if (const Word* word = block.Find(59)) {
      // Whole ppm; a units digit of 6 or 8 puts the last digit at tenths or
      // hundredths, as it does for lengths.
      if (const std::optional<std::int64_t> whole = Whole(block, *word)) {
        const double scale = word->units == '6' ? 10 : word->units == '8' ? 100 : 1;
        next.ppm = static_cast<double>(*whole) / scale;
      }
    }
    if (!(next == corrections_)) {
      next.line = block.Number();
      corrections_ = next;
    }
  }

  // Said once per setup, and again where the values change within it.
  void NoteCorrections() {
    if (!corrections_.ppm && !corrections_.constant) return;
    if (noted_ && *noted_ == corrections_) return;
    noted_ = corrections_;
    book_.notes.push_back(
        "The setup on '" + setup_->station + "' (line " + std::to_string(setup_->line) + "): ppm " +
        Signed(corrections_.ppm.value_or(0), 1) + " and prism constant " +
        Signed(corrections_.constant.value_or(0) * 1000, 1) + " mm recorded on line " +
        std::to_string(corrections_.line) +
        (options_.applyRecordedCorrections ? ", applied to its distances."
                                           : ", taken as applied by the instrument."));
  }

  // The distance of word `wi` with the corrections applied where asked; a
  // prism constant that leaves no distance is a fault of that word.
  double Corrected(const Block& block, int wi, double distance) const {
    if (!options_.applyRecordedCorrections) return distance;
    const double corrected =
        distance * (1 + corrections_.ppm.value_or(0) * 1e-6) + corrections_.constant.value_or(0);
    if (!(corrected > 0))
      throw block.Fault(*block.Find(wi), "the ppm and prism constant recorded on line " +
                                             std::to_string(corrections_.line) +
                                             " leave no positive distance");
    return corrected;
  }

  void ReadObservation(const Block& block) {
    if (!setup_)
      throw JobError(block.Number(), "an observation before any setup: the file has no station "
                                     "line (84-86 or 88) or code block (41 with 42) above it");
    SetupReading reading;
    reading.line = block.Number();
    reading.target = PointId(block, "the observation");
    if (reading.target == setup_->station)
      throw JobError(block.Number(), "the target '" + reading.target + "' is the setup's own station");
    const Word* hz = block.Find(21);
    const std::optional<double> circle = hz ? Angle(block, *hz) : std::nullopt;
    if (!circle)
      throw JobError(block.Number(), "the observation of '" + reading.target +
                                         "' has no horizontal circle reading (WI 21)");
    reading.hz = *circle;
    if (const Word* v = block.Find(22)) {
      reading.zenith = Angle(block, *v);
      if (reading.zenith && !(*reading.zenith > 0 && *reading.zenith < 400))
        throw block.Fault(*v, "expected a zenith angle between 0 and a full turn");
    }
    std::optional<double> slope = LengthOf(block, 31), horizontal = LengthOf(block, 32);
    for (const auto& [wi, value] : {std::pair{31, slope}, std::pair{32, horizontal}})
      if (value && *value < 0) throw block.Fault(*block.Find(wi), "expected a distance, not a negative one");
    // A distance of 0 is an angle alone.
    if (slope && *slope == 0) slope.reset();
    if (horizontal && *horizontal == 0) horizontal.reset();
    if (slope && reading.zenith) {
      reading.slope = Corrected(block, 31, *slope);
    } else if (horizontal) {
      reading.horizontal = Corrected(block, 32, *horizontal);
    } else if (slope) {
      throw block.Fault(*block.Find(31), "a slope distance without its zenith angle (WI 22)");
    }
    if (reading.slope || reading.horizontal) NoteCorrections();
    if (const std::optional<double> ht = LengthOf(block, 87)) ht_ = ht;
    reading.ht = ht_;
    if (const std::optional<double> hi = LengthOf(block, 88)) {
      if (!setup_->hi) {
        setup_->hi = hi;
      } else if (*setup_->hi != *hi) {
        throw block.Fault(*block.Find(88), "the instrument height " + ShortestText(*hi) +
                                               " differs from the setup's " + ShortestText(*setup_->hi) +
                                               " (a new setup needs its own station line)");
      }
    }
    reading.face = reading.zenith && *reading.zenith > 200 ? 2 : 1;
    if (std::optional<std::string> code = TextOf(block, 71)) reading.code = *code;
    for (int wi = 72; wi <= 79; ++wi) {
      if (const std::optional<std::string> remark = TextOf(block, wi)) {
        if (!reading.description.empty()) reading.description += ' ';
        reading.description += *remark;
      }
    }
    CheckComputed(block, reading);
    setup_->readings.push_back(std::move(reading));
  }

  // The instrument's own coordinates of the target, where the line has
  // them: against the radial computation from the station's recorded
  // coordinates and the circle as read (the instrument computes with its
  // circle oriented).
  void CheckComputed(const Block& block, const SetupReading& reading) {
    const std::optional<double> east = LengthOf(block, 81), north = LengthOf(block, 82),
                                height = LengthOf(block, 83);
    if (!east || !north || !station_.east || !station_.north) return;
    double horizontal = 0;
    std::optional<double> rise;
    if (reading.slope) {
      const double zenith = *reading.zenith * std::numbers::pi / 200;
      horizontal = *reading.slope * std::sin(zenith);
      rise = *reading.slope * std::cos(zenith);
    } else if (reading.horizontal) {
      // In face two the circle reads half a turn off the target.
      horizontal = reading.face == 2 ? -*reading.horizontal : *reading.horizontal;
    } else {
      return;
    }
    const double hz = reading.hz * std::numbers::pi / 200;
    Computed computed{reading.target, reading.line, book_.setups.size(),
                      *east - (*station_.east + horizontal * std::sin(hz)),
                      *north - (*station_.north + horizontal * std::cos(hz)), std::nullopt};
    if (height && rise && station_.height)
      computed.dHeight = *height - (*station_.height + setup_->hi.value_or(0) + *rise - ht_.value_or(0));
    computed_.push_back(std::move(computed));
  }

  // The collector's coordinates against the radial computation: every
  // point in a short file, the largest and those off by a centimetre in a
  // long one.
  void NoteComputed() {
    if (computed_.empty()) return;
    const auto size = [](const Computed& c) {
      return std::max({std::abs(c.dEast), std::abs(c.dNorth), std::abs(c.dHeight.value_or(0))});
    };
    const auto note = [&](const Computed& c) {
      return "'" + c.target + "' (line " + std::to_string(c.line) + "): E " + Signed(c.dEast, 4) +
             " m, N " + Signed(c.dNorth, 4) + " m" +
             (c.dHeight ? ", H " + Signed(*c.dHeight, 4) + " m" : std::string()) + ".";
    };
    const std::string head = "The instrument's coordinates less the radial computation from its "
                             "station's recorded coordinates and circle (a check, not control): ";
    constexpr std::size_t listed = 20;
    if (computed_.size() <= listed) {
      for (const Computed& c : computed_) book_.notes.push_back(head + note(c));
      return;
    }
    const auto largest = std::max_element(computed_.begin(), computed_.end(),
                                          [&](const Computed& a, const Computed& b) { return size(a) < size(b); });
    book_.notes.push_back(std::to_string(computed_.size()) +
                          " pointings hold the instrument's coordinates; the largest difference "
                          "from the radial computation is at " + note(*largest));
    std::size_t shown = 0;
    for (const Computed& c : computed_)
      if (size(c) > 0.01 && shown++ < listed) book_.notes.push_back(head + note(c));
  }

  // A line of coordinates with no observation: a known point.
  void ReadControl(const Block& block) {
    NamedPoint point;
    point.name = PointId(block, "the coordinate line");
    point.line = block.Number();
    const std::optional<double> east = LengthOf(block, 81), north = LengthOf(block, 82);
    if (!east || !north)
      throw JobError(block.Number(), "the coordinates of '" + point.name + "' lack their " +
                                         (east ? "northing (WI 82)" : "easting (WI 81)"));
    point.xy.x = *north;
    point.xy.y = *east;
    point.z = LengthOf(block, 83);
    if (const std::size_t* at = control_.Find(point.name)) {
      const NamedPoint& before = book_.known[*at];
      if (before.xy.x == point.xy.x && before.xy.y == point.xy.y && before.z == point.z) return;
      throw JobError(block.Number(), "the point '" + point.name + "' has other coordinates on line " +
                                         std::to_string(before.line));
    }
    names_.push_back(point.name);
    control_.Set(names_.back(), book_.known.size());
    book_.known.push_back(std::move(point));
  }

  std::string_view text_;
  const RawOptions& options_;
  Book book_;
  std::optional<BookSetup> setup_;
  StationRecord station_;
  std::optional<double> ht_;  // the target height in force, from 87 (or a code block's 44)
  Corrections corrections_;
  std::optional<Corrections> noted_;  // what the setup's notes said last
  std::vector<Computed> computed_;
  bool feet_ = false;
  NameIndex<std::size_t> control_;
  std::deque<std::string> names_;  // the control names the index views
};

}  // namespace

bool OpensGsi(std::string_view first) {
  if (!first.empty() && first.front() == '*') first.remove_prefix(1);
  if (first.size() < 8 || !IsDigit(first[0]) || !IsDigit(first[1])) return false;
  for (std::size_t at = 2; at < 6; ++at)
    if (!IsDigit(first[at]) && first[at] != '.') return false;
  return first[6] == '+' || first[6] == '-';
}

Book ReadGsi(std::string_view text, const std::string& source, const RawOptions& options) {
  return GsiReader(text, source, options).Read();
}

}  // namespace traverse
