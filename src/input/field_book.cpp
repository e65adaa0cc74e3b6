#include "input/field_book.hpp"

#include <algorithm>
#include <cctype>
#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "adjustment/closure.hpp"
#include "adjustment/job_error.hpp"
#include "adjustment/name_index.hpp"
#include "adjustment/reduction.hpp"
#include "input/control_points.hpp"
#include "input/landxml_points.hpp"
#include "input/grid_record.hpp"
#include "input/tokens.hpp"
#include "traverse/traverse.hpp"

namespace traverse {
namespace {

// The records, by the first word of their line in any case.
constexpr std::array<std::string_view, 17> keywords = {
    "unit", "point", "points", "traverse", "angle", "distance", "bearing", "sigma", "title", "setup",
    "raw", "relative", "grid", "geoid", "level", "benchmark", "length"};

// The keyword one edit away from `word` (a letter added, left out, changed,
// or two side by side swapped), or none.
std::optional<std::string_view> NearKeyword(std::string_view word) {
  for (std::string_view keyword : keywords)
    if (OneEditApart(word, keyword)) return keyword;
  return std::nullopt;
}

// Which side a `traverse` record's word gives, or none for a word that is
// no side: clockwise angles are left ones.
std::optional<bool> LeftSide(std::string_view word) {
  if (IsWord(word, "left") || IsWord(word, "clockwise")) return true;
  if (IsWord(word, "right") || IsWord(word, "counterclockwise")) return false;
  return std::nullopt;
}
// The computations' tables hold this many; the dialogue's 255 is its own.
constexpr int mostAngles = static_cast<int>(TableCapacity) - 1;

// One line of the book cut into words: blanks and tabs separate them, and a
// word starting with '#' starts a comment that runs to the end of the line.
struct BookLine {
  int number = 0;
  std::string_view text;  // without its line end, the comment cut off
  std::string_view whole;  // without its line end, the comment kept
  std::vector<std::string_view> words;
};

class BookLines {
 public:
  explicit BookLines(std::string_view text) : lines_(text) {}

  // The next line with words on it; false at the end of the book.
  bool Next(BookLine& line) {
    for (std::string_view text; lines_.Next(text);) {
      Split(text, line);
      if (!line.words.empty()) {
        line.number = lines_.Number();
        return true;
      }
    }
    return false;
  }

  int LastLine() const { return lines_.Number(); }

 private:
  static bool Separates(char byte) { return byte == ' ' || byte == '\t'; }

 public:
  static void Split(std::string_view text, BookLine& line) {
    line.whole = text;
    line.words.clear();
    std::size_t at = 0;
    while (at < text.size()) {
      while (at < text.size() && Separates(text[at])) ++at;
      if (at == text.size()) break;
      if (text[at] == '#') {
        text = text.substr(0, at);
        break;
      }
      const std::size_t start = at;
      while (at < text.size() && !Separates(text[at])) ++at;
      line.words.push_back(text.substr(start, at - start));
    }
    line.text = text;
  }

 private:
  TextLines lines_;
};

std::string Text(std::string_view view) {
  return std::string(view);
}

// Where a name is defined: its `point` record (or the `points` record of its
// control file), or the station of the traverse that computes it.
struct Definition {
  int line = 0;
  int traverse = 0;  // the line of that traverse's header; 0 for a known point
  // A known point of an instrument file (`raw`), which the book's own
  // definition replaces: its place in the book's known points.
  std::optional<std::size_t> raw;
};

// The name of a value for a message, where the message is built only when a
// reading is refused: the book's values are read by the hundred thousand.
struct Named {
  const char* text;
  std::string operator()() const { return text; }
};

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const FileAccess& files)
      : lines_(text), files_(files) {
    book_.source = source;
    // Room for the readings of a usual book at once (a reading and its blank
    // take some eight bytes or more): pages reserved and never read cost nothing.
    book_.readings.reserve(text.size() / 8);
  }

  Book Read() {
    BookLine line;
    while (lines_.Next(line)) {
      const std::string_view keyword = line.words[0];
      if (IsWord(keyword, "unit")) {
        ReadUnit(line);
      } else if (IsWord(keyword, "length")) {
        ReadLengthUnit(line);
      } else if (IsWord(keyword, "point")) {
        ReadPoint(line);
      } else if (IsWord(keyword, "points")) {
        ReadPointsFile(line);
      } else if (IsWord(keyword, "traverse")) {
        ReadTraverse(line);
      } else if (IsWord(keyword, "angle") || IsWord(keyword, "distance") ||
                 IsWord(keyword, "bearing")) {
        ReadFree(line);
      } else if (IsWord(keyword, "sigma")) {
        ReadSigma(line);
      } else if (IsWord(keyword, "setup")) {
        ReadSetup(line);
      } else if (IsWord(keyword, "raw")) {
        ReadRaw(line);
      } else if (IsWord(keyword, "level")) {
        ReadLevel(line);
      } else if (IsWord(keyword, "benchmark")) {
        ReadBenchmark(line);
      } else if (IsWord(keyword, "relative")) {
        if (line.words.size() != 3 || line.words[1] == line.words[2])
          throw JobError(line.number, "expected 'relative A B' with two different points, found " +
                                          Quoted(Trim(line.text)));
        book_.relative.push_back(
            {Name(line.words[1], line.number), Name(line.words[2], line.number), line.number});
      } else if (IsWord(keyword, "grid")) {
        if (book_.grid)
          throw JobError(line.number, "the book has a second grid (the first on line " +
                                          std::to_string(book_.gridLine) + ")");
        book_.grid = ParseGrid(std::span(line.words).subspan(1), line.number);
        book_.gridLine = line.number;
      } else if (IsWord(keyword, "geoid")) {
        if (line.words.size() != 2)
          throw JobError(line.number, "expected 'geoid N' (metres), found " + Quoted(Trim(line.text)));
        if (book_.geoid) throw JobError(line.number, "the book has a second geoid record");
        book_.geoid = ParseNumber(line.words[1], "the geoid separation N", line.number);
      } else if (IsWord(keyword, "title")) {
        if (book_.title) throw JobError(line.number, "the book has a second title");
        book_.title = Text(Trim(Trim(line.text).substr(keyword.size())));
      } else {
        const std::optional<std::string_view> near = NearKeyword(keyword);
        throw JobError(line.number,
                       "expected a record (unit, length, point, points, benchmark, traverse, "
                       "setup, raw, angle, distance, bearing, level, relative, sigma, title, grid "
                       "or geoid), found " +
                           Quoted(keyword) +
                           (near ? ": did you mean '" + Text(*near) + "'?" : std::string()));
      }
    }
    SettleLengthUnit();
    return std::move(book_);
  }

 private:
  // ---- records outside traverses ----

  // `length m|ft|usft`: the unit of every length of the book, once.
  void ReadLengthUnit(const BookLine& line) {
    if (line.words.size() != 2)
      throw JobError(line.number, "expected 'length m', 'length ft' or 'length usft', found " +
                                      Quoted(Trim(line.text)));
    if (book_.lengthStated)
      throw JobError(line.number, "the book has a second length record (the first on line " +
                                      std::to_string(book_.lengthLine) + ")");
    const std::string_view name = line.words[1];
    if (IsWord(name, "m")) {
      book_.length = LengthUnit::Metre;
    } else if (IsWord(name, "ft")) {
      book_.length = LengthUnit::Foot;
    } else if (IsWord(name, "usft")) {
      book_.length = LengthUnit::UsSurveyFoot;
    } else {
      throw JobError(line.number, "expected the length unit m (metres), ft (international feet) "
                                  "or usft (US survey feet), found " + Quoted(name));
    }
    book_.lengthStated = true;
    book_.lengthLine = line.number;
  }

  // The book's length unit once it is read whole: its `length` record's,
  // else its grid's where that is in feet, else the one the reader is told
  // (--length-unit), else metres; the instrument files it reads converted
  // into it from their own.
  void SettleLengthUnit() {
    if (!book_.lengthStated) {
      const std::optional<LengthUnit> grid =
          book_.grid ? LengthUnitOfGrid(book_.grid->unit) : std::nullopt;
      book_.length = grid && IsFoot(*grid) ? *grid : files_.length.value_or(LengthUnit::Metre);
    }
    const double to = MetresPer(book_.length);
    for (const auto& [at, unit] : rawPoints_)
      if (unit != book_.length) ScaleLengths(book_.known[at], MetresPer(unit) / to);
    for (const RawPart& part : rawParts_)
      if (part.unit != book_.length) {
        for (std::size_t s = part.firstSetup; s < part.endSetup; ++s)
          ScaleLengths(book_.setups[s], MetresPer(part.unit) / to);
        book_.notes.push_back(part.path + ": its lengths in " + LengthUnitWords(part.unit) +
                              " are converted into the book's " + LengthUnitWords(book_.length) +
                              ".");
      }
  }

  void ReadUnit(const BookLine& line) {
    if (line.words.size() != 2)
      throw JobError(line.number, "expected 'unit gon', 'unit deg' or 'unit dms', found " +
                                      Quoted(Trim(line.text)));
    const std::string_view name = line.words[1];
    if (IsWord(name, "gon")) {
      unit_ = AngleUnit::Gon;
    } else if (IsWord(name, "deg")) {
      unit_ = AngleUnit::Degree;
    } else if (IsWord(name, "dms")) {
      unit_ = AngleUnit::Dms;
    } else {
      throw JobError(line.number, "expected the unit gon, deg or dms, found " + Quoted(name));
    }
    if (!book_.firstUnit) book_.firstUnit = unit_;
  }

  // `point NAME X Y [Z] [n=N]`, or geographic control
  // `point NAME lat=LAT lon=LON [h=H] [n=N]` for the book's grid.
  void ReadPoint(const BookLine& line) {
    std::vector<std::string_view> words = line.words;
    NamedPoint point;
    point.name = line.words.size() > 1 ? Name(line.words[1], line.number) : std::string();
    const auto of = [&point](const char* what) {
      return [what, &point] { return what + point.name + "'"; };
    };
    std::optional<double> lat, lon;
    for (std::size_t i = 2; i < words.size();) {
      const std::string_view w = words[i];
      if (IsWord(w.substr(0, 2), "n=")) {
        point.geoid = ParseNumberNamed(w.substr(2), of("the geoid separation of '"), line.number);
      } else if (IsWord(w.substr(0, 4), "lat=")) {
        lat = ParseDegrees(w.substr(4), "the latitude of '" + point.name + "'", 90, line.number);
      } else if (IsWord(w.substr(0, 4), "lon=")) {
        lon = ParseDegrees(w.substr(4), "the longitude of '" + point.name + "'", 180, line.number);
      } else if (IsWord(w.substr(0, 2), "h=")) {
        point.h = ParseNumberNamed(w.substr(2), of("the ellipsoidal height of '"), line.number);
      } else {
        ++i;
        continue;
      }
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const bool geographic = lat || lon || point.h;
    if (geographic ? (!lat || !lon || words.size() != 2) : (words.size() < 4 || words.size() > 5))
      throw JobError(line.number, "expected 'point NAME X Y [Z] [n=N]' or 'point NAME lat=LAT "
                                  "lon=LON [h=H] [n=N]', found " +
                                      Quoted(Trim(line.text)));
    if (geographic) {
      point.geographic = geodesy::Geographic{*lat, *lon};
    } else {
      point.xy.x = ParseNumberNamed(words[2], of("the X coordinate of '"), line.number);
      point.xy.y = ParseNumberNamed(words[3], of("the Y coordinate of '"), line.number);
      if (words.size() == 5) point.z = ParseNumberNamed(words[4], of("the height of '"), line.number);
    }
    point.line = line.number;
    DefineKnown(std::move(point), line.words[1], "");
  }

  void ReadPointsFile(const BookLine& line) {
    // The path is the rest of the line: it may hold blanks.
    std::string_view rest = Trim(line.text);
    rest = Trim(rest.substr(line.words[0].size()));
    // A last word columns=LETTERS names the file's columns.
    std::string_view columns;
    if (const std::size_t blank = rest.find_last_of(" \t");
        line.words.size() > 2 && IsWord(line.words.back().substr(0, 8), "columns=")) {
      columns = line.words.back().substr(8);
      rest = Trim(rest.substr(0, blank));
      if (!AreColumns(columns))
        throw JobError(line.number, "columns=: expected the letters P, N, E, Z, D, B and L in the "
                                    "file's order, each at most once, with P and N and E (or B "
                                    "and L, latitude and longitude); found " +
                                        Quoted(columns));
    }
    if (rest.empty()) throw JobError(line.number, "expected 'points FILE', found no file name");
    const std::string written = Text(rest);
    const std::string path = files_.resolve ? files_.resolve(written) : written;
    std::string text;
    const std::string reason = files_.read ? files_.read(path, text) : "cannot be opened";
    if (!reason.empty())
      throw JobError(line.number, "cannot read '" + written + "': " + reason);
    pointsLine_ = line.number;
    const bool landXml = IsXml(text);
    if (landXml && !columns.empty())
      throw JobError(line.number, "columns=: '" + written + "' is a LandXML file, whose CgPoints are "
                                  "N E Z in that order");
    for (NamedPoint& point : landXml ? ReadLandXmlPoints(text, path)
                                     : ReadControlPoints(text, path, columns)) {
      // The file's text goes; the names stay for the table.
      controlNames_.push_back(point.name);
      DefineKnown(std::move(point), controlNames_.back(), path);
    }
  }

  // A known point joins the book, its name `key` in text that stays. A second
  // definition is reported where it stands: its line in the book, or in the
  // control file `file`.
  void DefineKnown(NamedPoint point, std::string_view key, const std::string& file) {
    if (const Definition* found = defined_.Find(key); found && found->raw) {
      const std::size_t at = *found->raw;
      defined_.Set(key, {file.empty() ? point.line : pointsLine_, 0, std::nullopt});
      book_.known[at] = std::move(point);
      rawPoints_.erase(at);  // the book's own, in its unit
      return;
    }
    if (const Definition* found = defined_.Find(key)) {
      const bool known = found->traverse == 0;
      const std::string where = known ? "defined" : "computed by the traverse";
      throw JobError(file, point.line,
                     "the point '" + point.name + "' is defined twice (" + where + " on line " +
                         std::to_string(known ? found->line : found->traverse) + " of " +
                         book_.source + ")");
    }
    // A control file's points are known from the book's `points` record on.
    defined_.Set(key, {file.empty() ? point.line : pointsLine_, 0, std::nullopt});
    book_.known.push_back(std::move(point));
  }

  // `raw FILE`: an instrument file's setups in place, with the sigmas in
  // force here; its control joins the known points where the book does not
  // define them (the book's `point` and `points` records win, above or below).
  void ReadRaw(const BookLine& line) {
    const std::string_view rest = Trim(Trim(line.text).substr(line.words[0].size()));
    if (rest.empty()) throw JobError(line.number, "expected 'raw FILE', found no file name");
    const std::string written = Text(rest);
    const std::string path = files_.resolve ? files_.resolve(written) : written;
    std::string text;
    const std::string reason = files_.read ? files_.read(path, text) : "cannot be opened";
    if (!reason.empty()) throw JobError(line.number, "cannot read '" + written + "': " + reason);
    if (!files_.raw) throw JobError(line.number, "raw files are not read here");
    Book raw = files_.raw(path, text);
    for (NamedPoint& point : raw.known) {
      if (defined_.Find(point.name)) continue;
      controlNames_.push_back(point.name);
      defined_.Set(controlNames_.back(), {line.number, 0, book_.known.size()});
      rawPoints_[book_.known.size()] = raw.length;
      book_.known.push_back(std::move(point));
    }
    rawParts_.push_back({path, raw.length, book_.setups.size(), book_.setups.size() + raw.setups.size()});
    for (BookSetup& setup : raw.setups) {
      setup.inForce = sigmas_;
      setup.file = path;
      book_.setups.push_back(std::move(setup));
    }
    // Its held bearings (a back point without coordinates), their readings
    // moved to this book's list.
    for (FreeObservation& free : raw.free) {
      const std::span<const double> readings = raw.Of(free.angle.readings);
      free.angle.readings.first = static_cast<std::uint32_t>(book_.readings.size());
      book_.readings.insert(book_.readings.end(), readings.begin(), readings.end());
      free.inForce = sigmas_;
      book_.free.push_back(std::move(free));
    }
    for (std::string& note : raw.notes) book_.notes.push_back(path + ": " + note);
  }

  // ---- sigmas and free observations ----

  // `sigma angle S` (cc for gon, arc seconds for degrees) or `sigma length A
  // [B]` (mm and ppm).
  void ReadSigma(const BookLine& line) {
    book_.sigmaRecords.emplace_back(Trim(line.text), line.number);
    const std::size_t count = line.words.size();
    const std::string_view kind = count > 1 ? line.words[1] : std::string_view();
    if ((IsWord(kind, "angle") || IsWord(kind, "direction")) && count == 3) {
      const bool angle = IsWord(kind, "angle");
      const char* what = angle ? "the sigma of an angle" : "the sigma of a direction";
      const double value = ParseNumber(line.words[2], what, line.number);
      if (!(value > 0))
        throw JobError(line.number, std::string(what) + ": expected a positive number, found " +
                                        Quoted(line.words[2]));
      (angle ? sigmas_.angleGon : sigmas_.directionGon) = SmallUnitToGon(value, unit_);
      return;
    }
    if (IsWord(kind, "length") && (count == 3 || count == 4)) {
      const double a = ParseNumber(line.words[2], "the sigma of a length", line.number);
      const double b = count == 4 ? ParseNumber(line.words[3], "the ppm of a length", line.number) : 0;
      if (!(a >= 0 && b >= 0 && a + b > 0))
        throw JobError(line.number, "the sigma of a length: expected A mm and B ppm, not negative "
                                    "and not both 0, found " + Quoted(Trim(line.text)));
      sigmas_.lengthMetres = a / 1000;
      sigmas_.lengthPpm = b;
      return;
    }
    if (IsWord(kind, "level") && count == 3) {
      const double value = ParseNumber(line.words[2], "the sigma of levelling", line.number);
      if (!(value > 0))
        throw JobError(line.number, "the sigma of levelling: expected a positive number of mm "
                                    "per square root of a km, found " + Quoted(line.words[2]));
      sigmas_.levelMetres = value / 1000;
      return;
    }
    throw JobError(line.number,
                   "expected 'sigma angle S', 'sigma direction S', 'sigma length A [B]' or "
                   "'sigma level MM', found " +
                       Quoted(Trim(line.text)));
  }

  // `benchmark NAME Z`: a mark of known height without coordinates.
  void ReadBenchmark(const BookLine& line) {
    if (line.words.size() != 3)
      throw JobError(line.number, "expected 'benchmark NAME Z', found " + Quoted(Trim(line.text)));
    Benchmark mark;
    mark.name = Name(line.words[1], line.number);
    mark.z = ParseNumber(line.words[2], "the height of '" + mark.name + "'", line.number);
    mark.line = line.number;
    // A benchmark is a known point to the book: never defined twice.
    if (const Definition* found = defined_.Find(line.words[1]))
      throw JobError(line.number, "the point '" + mark.name + "' is defined twice (" +
                                      (found->traverse == 0 ? "defined" : "computed by the traverse") +
                                      " on line " +
                                      std::to_string(found->traverse == 0 ? found->line
                                                                          : found->traverse) + ")");
    defined_.Set(line.words[1], {line.number, 0});
    book_.benchmarks.push_back(std::move(mark));
  }

  // `level FROM TO DH [dist=KM] [sigma=MM]`: a levelling line.
  void ReadLevel(const BookLine& line) {
    constexpr const char* form = "level FROM TO DH [dist=KM] [sigma=MM]";
    if (line.words.size() < 4 || line.words.size() > 6)
      throw JobError(line.number, std::string("expected '") + form + "', found " +
                                      Quoted(Trim(line.text)));
    LevelRecord level;
    level.from = Name(line.words[1], line.number);
    level.to = Name(line.words[2], line.number);
    if (level.from == level.to)
      throw JobError(line.number, "the levelling line runs from '" + level.from + "' to itself");
    level.dh = ParseNumber(line.words[3], "the height difference", line.number);
    for (std::size_t i = 4; i < line.words.size(); ++i) {
      const std::string_view word = line.words[i];
      const bool dist = IsWord(word.substr(0, 5), "dist=");
      const bool sigma = IsWord(word.substr(0, 6), "sigma=");
      if (!dist && !sigma)
        throw JobError(line.number, std::string("expected '") + form + "', found " + Quoted(word));
      std::optional<double>& into = dist ? level.km : level.sigma;
      if (into)
        throw JobError(line.number, std::string("the key ") + (dist ? "dist=" : "sigma=") +
                                        " is given twice");
      const std::string_view text = word.substr(dist ? 5 : 6);
      const double value = ParseNumber(text, dist ? "dist=" : "sigma=", line.number);
      if (!(value > 0))
        throw JobError(line.number, std::string(dist ? "dist=" : "sigma=") +
                                        ": expected a positive number, found " + Quoted(text));
      into = dist ? value : value / 1000;
    }
    level.perRootKm = sigmas_.levelMetres;
    level.line = line.number;
    book_.levels.push_back(std::move(level));
  }

  // `angle AT FROM TO VALUE`, `distance FROM TO DISTANCE` (or sd= za= ...)
  // and `bearing FROM TO VALUE`, each with an optional sigma=.
  void ReadFree(const BookLine& line) {
    FreeObservation free;
    free.line = line.number;
    free.inForce = sigmas_;
    const std::string_view keyword = line.words[0];
    free.kind = IsWord(keyword, "angle")      ? ObservationKind::Angle
                : IsWord(keyword, "distance") ? ObservationKind::Distance
                                        : ObservationKind::Bearing;
    const std::size_t names = free.kind == ObservationKind::Angle ? 3 : 2;
    std::vector<std::string_view> rest(line.words.begin() + 1, line.words.end());
    std::optional<std::string_view> sigma;
    for (auto word = rest.begin(); word != rest.end();) {
      if (IsWord(word->substr(0, 6), "sigma=")) {
        if (sigma) throw JobError(line.number, "the key sigma= is given twice");
        sigma = word->substr(6);
        word = rest.erase(word);
      } else {
        ++word;
      }
    }
    const char* form = free.kind == ObservationKind::Angle      ? "angle AT FROM TO VALUE [sigma=S]"
                       : free.kind == ObservationKind::Distance ? "distance FROM TO DISTANCE [sigma=MM]"
                                                         : "bearing FROM TO VALUE [sigma=S]";
    std::string quadrant;  // N 45-30-00 E typed in three words, as one
    if (free.kind == ObservationKind::Bearing && JoinQuadrant(rest, names, quadrant)) rest.push_back(quadrant);
    if (rest.size() < names + 1 || (free.kind != ObservationKind::Distance && rest.size() != names + 1))
      throw JobError(line.number, std::string("expected '") + form + "', found " +
                                      Quoted(Trim(line.text)));
    if (free.kind == ObservationKind::Angle) free.at = Name(rest[0], line.number);
    free.from = Name(rest[names - 2], line.number);
    free.to = Name(rest[names - 1], line.number);
    if (free.from == free.to || free.at == free.from || free.at == free.to)
      throw JobError(line.number, std::string("expected ") + (names == 3 ? "three" : "two") +
                                      " different points, found " + Quoted(Trim(line.text)));
    if (free.kind == ObservationKind::Distance) {
      BookLine leg = line;
      leg.words.assign(rest.begin() + 2, rest.end());
      leg.words.insert(leg.words.begin(), {"", ""});
      free.distance = ReadLeg(leg, 2);
    } else {
      free.angle = free.kind == ObservationKind::Angle
                       ? AngleReadings(rest[names], Named{"the angle"}, line.number)
                       : BearingReadings(rest[names], line.number);
    }
    if (sigma) {
      const double value = ParseNumber(*sigma, "sigma=", line.number);
      if (!(value > 0))
        throw JobError(line.number, "sigma=: expected a positive number, found " + Quoted(*sigma));
      free.sigma = free.kind == ObservationKind::Distance ? value / 1000 : SmallUnitToGon(value, unit_);
    }
    free.fixed = free.kind == ObservationKind::Bearing && !sigma;
    book_.free.push_back(std::move(free));
  }

  // ---- setups ----

  // `setup STATION [hi=H]`, a pointing per line, `end`.
  void ReadSetup(const BookLine& header) {
    BookSetup setup;
    setup.line = header.number;
    setup.inForce = sigmas_;
    const std::size_t words = header.words.size();
    if (words < 2 || words > 3 || (words == 3 && !IsWord(header.words[2].substr(0, 3), "hi=")))
      throw JobError(header.number,
                     "expected 'setup STATION [hi=H]', found " + Quoted(Trim(header.text)));
    setup.station = Name(header.words[1], header.number);
    if (words == 3)
      setup.hi = ParseNumberNamed(header.words[2].substr(3), Named{"the instrument height"},
                                  header.number);
    std::optional<double> ht;  // carried from one pointing to the next, as on the instrument
    BookLine line;
    for (;;) {
      if (!lines_.Next(line))
        throw JobError(header.number, "the setup that starts here has no 'end' (the book ends on line " +
                                          std::to_string(lines_.LastLine()) + ")");
      if (std::any_of(keywords.begin(), keywords.end(),
                      [&](std::string_view k) { return IsWord(line.words[0], k); }))
        throw JobError(line.number, "expected a pointing or 'end' of the setup on line " +
                                        std::to_string(header.number) + ", found the record " +
                                        Quoted(line.words[0]));
      if (IsWord(line.words[0], "end")) {
        if (line.words.size() != 1)
          throw JobError(line.number, "expected 'end' alone, found " + Quoted(Trim(line.text)));
        break;
      }
      setup.readings.push_back(ReadPointing(line, setup.station, ht));
    }
    if (setup.readings.empty())
      throw JobError(header.number, "the setup on '" + setup.station + "' has no pointing");
    book_.setups.push_back(std::move(setup));
  }

  // `TARGET HZ [za=V] [sd=S | hd=D] [ht=H] [face=1|2] [code=WORD] ["description"]`.
  SetupReading ReadPointing(const BookLine& line, const std::string& station,
                            std::optional<double>& ht) {
    SetupReading reading;
    reading.line = line.number;
    // The description may hold blanks and '#': it is taken from the whole
    // line, and the words are those before it (a comment may follow it).
    const std::vector<std::string_view>* words = &line.words;
    BookLine before;
    // A quote within the comment is the comment's.
    if (const std::size_t open = line.whole.find('"'); open < line.text.size()) {
      const std::size_t close = line.whole.find('"', open + 1);
      if (close == std::string_view::npos)
        throw JobError(line.number, "the description has no closing '\"'");
      reading.description = Text(line.whole.substr(open + 1, close - open - 1));
      const std::string_view after = Trim(line.whole.substr(close + 1));
      if (!after.empty() && after.front() != '#')
        throw JobError(line.number, "unexpected " + Quoted(after) +
                                        " after the description (it comes last)");
      BookLines::Split(line.whole.substr(0, open), before);
      words = &before.words;
    }
    ReadPointingWords(line, *words, station, ht, reading);
    return reading;
  }

  // The pointing's words before its description, into `reading`.
  void ReadPointingWords(const BookLine& line, const std::vector<std::string_view>& words,
                                 const std::string& station, std::optional<double>& ht,
                                 SetupReading& reading) {
    if (words.size() < 2)
      throw JobError(line.number, "expected 'TARGET HZ [za=V] [sd=S | hd=D] [ht=H] [face=2] "
                                  "[code=WORD] [\"description\"]' or 'end', found " +
                                      Quoted(Trim(line.whole)));
    reading.target = Name(words[0], line.number);
    if (reading.target == station)
      throw JobError(line.number, "the target '" + reading.target + "' is the setup's own station");
    reading.hz = Angle(words[1], Named{"the horizontal circle reading"}, line.number);
    std::optional<int> face;
    bool noHeight = false;  // ht=none
    for (std::size_t i = 2; i < words.size(); ++i) {
      const std::string_view word = words[i];
      const std::size_t equals = word.find('=');
      const std::string_view key = word.substr(0, equals);
      const std::string_view value = equals == std::string_view::npos ? "" : word.substr(equals + 1);
      const auto once = [&](bool given) {
        if (given) throw JobError(line.number, "the key " + Text(key) + "= is given twice");
      };
      if (equals == std::string_view::npos) {
        throw JobError(line.number, "unexpected word " + Quoted(word) +
                                        " (keys za=, sd=, hd=, ht=, face=, code=, then a "
                                        "\"description\")");
      } else if (IsWord(key, "za")) {
        once(reading.zenith.has_value());
        reading.zenith = Angle(value, Named{"the zenith angle"}, line.number);
        if (!(*reading.zenith > 0 && *reading.zenith < 400))
          throw JobError(line.number, "the zenith angle: expected a reading between 0 and a full "
                                      "turn, found " + Quoted(value));
      } else if (IsWord(key, "sd") || IsWord(key, "hd")) {
        std::optional<double>& slot = IsWord(key, "sd") ? reading.slope : reading.horizontal;
        once(slot.has_value());
        slot = ParseNumberNamed(value, Named{"the distance"}, line.number);
        if (!(*slot > 0))
          throw JobError(line.number, "the distance: expected a positive distance, found " +
                                          Quoted(value));
      } else if (IsWord(key, "ht")) {
        once(reading.ht.has_value() || noHeight);
        // ht=none: no target height from this pointing on (a collector's empty one).
        if (IsWord(value, "none"))
          noHeight = true;
        else
          reading.ht = ParseNumberNamed(value, Named{"the target height"}, line.number);
      } else if (IsWord(key, "face")) {
        once(face.has_value());
        if (value != "1" && value != "2")
          throw JobError(line.number, "face=: expected 1 or 2, found " + Quoted(value));
        face = value == "1" ? 1 : 2;
      } else if (IsWord(key, "code")) {
        once(!reading.code.empty());
        if (value.empty()) throw JobError(line.number, "code=: expected a word, found none");
        reading.code = Text(value);
      } else {
        throw JobError(line.number, "expected a key za=, sd=, hd=, ht=, face= or code=, found " +
                                        Quoted(word));
      }
    }
    if (reading.slope && reading.horizontal)
      throw JobError(line.number, "expected a slope distance sd= or a horizontal one hd=, not both");
    if (reading.slope && !reading.zenith)
      throw JobError(line.number, "the slope distance sd= needs its zenith angle za=");
    if (reading.zenith) {
      reading.face = *reading.zenith > 200 ? 2 : 1;
      if (face && *face != reading.face)
        throw JobError(line.number, "face=" + std::to_string(*face) + " disagrees with the zenith "
                                    "angle, which reads face " + std::to_string(reading.face));
    } else {
      reading.face = face.value_or(1);
    }
    if (reading.ht || noHeight) ht = reading.ht;
    reading.ht = ht;
  }

  // ---- traverses ----

  void ReadTraverse(const BookLine& header) {
    // Read into the reader's own lists, which keep their room from one
    // traverse to the next.
    BookTraverse& traverse = traverse_;
    traverse.leftAngles = true;
    traverse.kind = TraverseKind::Connecting;
    traverse.end.reset();
    traverse.stations.clear();
    traverse.angles.clear();
    traverse.legs.clear();
    traverse.line = header.number;
    traverse.sigmas = sigmas_;
    traverse.name = std::to_string(book_.traverses.size() + 1);
    const std::size_t words = header.words.size();
    if (words > 3)
      throw JobError(header.number, "expected 'traverse [NAME] [SIDE]', found " +
                                        Quoted(Trim(header.text)));
    if (words == 2) {
      const std::string_view word = header.words[1];
      if (const std::optional<bool> left = LeftSide(word)) {
        traverse.leftAngles = *left;
      } else {
        traverse.name = Name(word, header.number);
      }
    } else if (words == 3) {
      traverse.name = Name(header.words[1], header.number);
      const std::optional<bool> left = LeftSide(header.words[2]);
      if (!left)
        throw JobError(header.number, "expected the side 'left', 'right', 'clockwise' or "
                                      "'counterclockwise', found " + Quoted(header.words[2]));
      traverse.leftAngles = *left;
    }

    BookLine line;
    if (!NextInside(line, header)) throw MissingEnd(header);
    traverse.start = ReadOrientation(line, "the start orientation");

    // The stations, each with its angle and the leg to the next, until one is
    // written without a leg: the last.
    // Its new points join the index as they come, marked as this traverse's
    // own: a name met twice within it is the same point written twice.
    bool ended = false;
    while (!ended) {
      if (!NextInside(line, header)) throw MissingEnd(header);
      if (IsWord(line.words[0], "end"))
        throw JobError(line.number, "expected the last station (NAME ANGLE, or NAME alone), "
                                    "found 'end'");
      const std::string name = Name(line.words[0], line.number);
      const bool first = traverse.stations.empty();
      const Definition* found = defined_.Find(line.words[0]);
      const bool isDefined = found != nullptr && found->traverse != header.number;
      const int twice = found != nullptr && found->traverse == header.number ? found->line : 0;
      const std::size_t count = line.words.size();
      if (first) {
        if (!isDefined)
          throw JobError(line.number, "the first station '" + name +
                                          "' is not a known point (define it above the traverse)");
        if (count < 3)
          throw JobError(line.number, "expected the first station as NAME ANGLE DISTANCE, found " +
                                          Quoted(Trim(line.text)));
      }
      if (count >= 3 || first) {
        // A station with its leg: the first, or a new point.
        if (!first) {
          if (isDefined)
            throw JobError(line.number, "the station '" + name + "' is " + Defined(*found) +
                                            ": a traverse meets known points only at its ends "
                                            "(split it into two traverses there)");
          if (twice != 0) throw AppearsTwice(name, line.number, twice);
          defined_.Set(line.words[0], {line.number, header.number, std::nullopt});
        }
        traverse.stations.push_back(name);
        AddAngle(traverse, line.words[1], line.number);
        traverse.legs.push_back(ReadLeg(line, 2));
        continue;
      }

      // The last station: with an angle and an end orientation, or alone.
      // Back on the first with no new point between, the one leg would run
      // from a point to itself.
      if (count <= 2 && traverse.stations.size() == 1 && name == traverse.stations.front())
        throw JobError(line.number, "the traverse returns to '" + name +
                                        "' with no new point: its one leg would run from the "
                                        "point to itself");
      if (twice != 0) throw AppearsTwice(name, line.number, twice);
      traverse.stations.push_back(name);
      if (count == 2) {
        if (!isDefined)
          throw JobError(line.number, "the last station '" + name +
                                          "' has an angle and an end orientation, so it must be "
                                          "a known point; it is not");
        AddAngle(traverse, line.words[1], line.number);
        if (!NextInside(line, header)) throw MissingEnd(header);
        if (IsWord(line.words[0], "end"))
          throw JobError(line.number, "expected the end orientation after the last station's "
                                      "angle, found 'end'");
        traverse.end = ReadOrientation(line, "the end orientation");
        const bool sameMark = traverse.end->point == traverse.start.point &&
                              traverse.end->bearing == traverse.start.bearing;
        traverse.kind = name == traverse.stations.front() && sameMark ? TraverseKind::Loop
                                                                      : TraverseKind::Connecting;
      } else {
        traverse.kind = isDefined ? TraverseKind::NoEndOrientation : TraverseKind::Open;
        if (!isDefined) defined_.Set(line.words[0], {line.number, header.number, std::nullopt});
      }
      ended = true;
    }
    if (!NextInside(line, header)) throw MissingEnd(header);
    if (!IsWord(line.words[0], "end") || line.words.size() != 1)
      throw JobError(line.number, "expected 'end' after the last station of traverse " +
                                      traverse.name + ", found " + Quoted(Trim(line.text)));
    if (static_cast<int>(traverse.angles.size()) > mostAngles)
      throw JobError(header.number, "traverse " + traverse.name + " has " +
                                        std::to_string(traverse.angles.size()) +
                                        " angles; at most " + std::to_string(mostAngles) +
                                        " fit (split it into two traverses)");
    // A copy, its lists as long as they are.
    book_.traverses.push_back(traverse);
  }

  // Where a point met again was defined, for a message.
  static std::string Defined(const Definition& found) {
    if (found.traverse == 0) return "a known point (defined on line " + std::to_string(found.line) + ")";
    return "a point of the traverse on line " + std::to_string(found.traverse) + " (its station on line " +
           std::to_string(found.line) + ")";
  }

  static JobError AppearsTwice(const std::string& name, int line, int first) {
    return JobError(line, "the new point '" + name + "' appears twice in the traverse (first on line " +
                              std::to_string(first) + ")");
  }

  // The next line of a traverse block; false at the end of the book.
  bool NextInside(BookLine& line, const BookLine&) { return lines_.Next(line); }

  JobError MissingEnd(const BookLine& header) const {
    return JobError(header.number, "the traverse that starts here has no 'end' (the book ends "
                                   "on line " + std::to_string(lines_.LastLine()) + ")");
  }

  Orientation ReadOrientation(const BookLine& line, const char* what) {
    Orientation orientation;
    orientation.line = line.number;
    if (IsWord(line.words[0], "bearing")) {
      std::vector<std::string_view> words(line.words.begin(), line.words.end());
      std::string quadrant;
      if (JoinQuadrant(words, 1, quadrant)) words.push_back(quadrant);
      if (words.size() != 2)
        throw JobError(line.number, std::string(what) + ": expected 'bearing ANGLE', found " +
                                        Quoted(Trim(line.text)));
      // Reduced at once: whether the traverse is a loop depends on it.
      Measured bearing = BearingReadings(words[1], line.number);
      ReduceAngle(bearing, book_.Of(bearing.readings));
      orientation.bearing = bearing.value;
      return orientation;
    }
    if (line.words.size() != 1)
      throw JobError(line.number, std::string(what) +
                                      ": expected the NAME of a known point or "
                                      "'bearing ANGLE', found " +
                                      Quoted(Trim(line.text)));
    orientation.point = Name(line.words[0], line.number);
    if (const Definition* found = defined_.Find(line.words[0]);
        !found || (found->traverse != 0 && found->traverse == traverse_.line))
      throw JobError(line.number, std::string(what) + ": the orientation point '" +
                                      orientation.point +
                                      "' is not known (define it above the traverse)");
    return orientation;
  }

  void AddAngle(BookTraverse& traverse, std::string_view word, int line) {
    const std::string& station = traverse.stations.back();
    traverse.angles.push_back(
        AngleReadings(word, [&station] { return "the angle at '" + station + "'"; }, line));
  }

  // The leg from the words at `from` on: a plain distance, hd=, or sd= and
  // za= with hi= and ht=.
  BookLeg ReadLeg(const BookLine& line, std::size_t from) {
    BookLeg leg;
    leg.line = line.number;
    std::optional<std::string_view> plain, hd, sd, za, hi, ht;
    for (std::size_t i = from; i < line.words.size(); ++i) {
      const std::string_view word = line.words[i];
      const std::size_t equals = word.find('=');
      if (plain || (equals == std::string_view::npos && i != from))
        throw JobError(line.number, "unexpected word " + Quoted(word) + " after the " +
                                        (plain ? "distance" : "keys") +
                                        " (one DISTANCE, or keys hd=, sd=, za=, hi=, ht=)");
      if (equals == std::string_view::npos) {
        plain = word;
        continue;
      }
      const std::string_view key = word.substr(0, equals);
      std::optional<std::string_view>* slot = IsWord(key, "hd")   ? &hd
                                              : IsWord(key, "sd") ? &sd
                                              : IsWord(key, "za") ? &za
                                              : IsWord(key, "hi") ? &hi
                                              : IsWord(key, "ht") ? &ht
                                                                  : nullptr;
      if (!slot)
        throw JobError(line.number, "expected a key hd=, sd=, za=, hi= or ht=, found " +
                                        Quoted(word));
      if (slot->has_value())
        throw JobError(line.number, "the key " + Text(key) + "= is given twice");
      *slot = word.substr(equals + 1);
    }
    if (plain) hd = plain;
    if (hd && (sd || za || hi || ht))
      throw JobError(line.number, "expected a horizontal distance or sd= and za=, not both");
    if (hd) {
      leg.horizontal = DistanceReadings(*hd, Named{"the distance"}, line.number);
      return leg;
    }
    if (!sd || !za)
      throw JobError(line.number, "expected the leg's distance (DISTANCE, hd=, or sd= with za=)"
                                  ", found " + std::string(sd ? "no za=" : za ? "no sd=" : "none"));
    leg.slope = DistanceReadings(*sd, Named{"the slope distance"}, line.number);
    leg.zenith = ZenithReadings(*za, line.number);
    if (hi) leg.hi = ParseNumberNamed(*hi, Named{"the instrument height"}, line.number);
    if (ht) leg.ht = ParseNumberNamed(*ht, Named{"the target height"}, line.number);
    return leg;
  }

  // ---- readings ----

  std::string Name(std::string_view word, int line) const {
    if (IsWord(word, "end") || IsWord(word, "bearing"))
      throw JobError(line, "expected a point name, found the keyword " + Quoted(word));
    return Text(word);
  }

  // An angle as ParseAngle reads it, `what` built only for a message.
  template <typename What>
  double Angle(std::string_view token, const What& what, int line) const {
    if (unit_ == AngleUnit::Dms) return ParseDms(token, what(), line);
    return UnitToGon(ParseNumberNamed(token, what, line), unit_);
  }

  // The readings joined by '/' in `word`, each passed to `each` in turn,
  // after all of them are seen to be there; their count.
  template <typename What, typename Each>
  std::size_t Readings(std::string_view word, const What& what, int line, const Each& each) const {
    if (word.empty() || word.front() == '/' || word.back() == '/' ||
        word.find("//") != std::string_view::npos)
      throw JobError(line, what() + ": expected readings joined by '/', found " + Quoted(word));
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
      const std::size_t slash = word.find('/', start);
      each(word.substr(start, slash == std::string_view::npos ? slash : slash - start), count++);
      if (slash == std::string_view::npos) return count;
      start = slash + 1;
    }
  }

  // The readings of `word`, each read by `read`, onto the book's list.
  template <typename What, typename Read>
  ReadingRun Run(std::string_view word, const What& what, int line, const Read& read) {
    ReadingRun run{static_cast<std::uint32_t>(book_.readings.size()), 0};
    run.count = static_cast<std::uint32_t>(Readings(
        word, what, line, [&](std::string_view text, std::size_t) { book_.readings.push_back(read(text)); }));
    return run;
  }

  // An angle's readings, in gon.
  template <typename What>
  Measured AngleReadings(std::string_view word, const What& what, int line) {
    Measured angle;
    angle.line = line;
    angle.readings = Run(word, what, line, [&](std::string_view text) { return Angle(text, what, line); });
    return angle;
  }

  // A bearing's readings: each an angle, or under degrees a quadrant
  // bearing N 45-30-00 E typed as one word (N45-30-00E).
  Measured BearingReadings(std::string_view word, int line) {
    const Named what{"the bearing"};
    Measured bearing;
    bearing.line = line;
    bearing.readings = Run(word, what, line, [&](std::string_view text) {
      if (text.size() < 3 || !QuadrantLetter(text.front(), "NS") || !QuadrantLetter(text.back(), "EW"))
        return Angle(text, what, line);
      if (unit_ == AngleUnit::Gon)
        throw JobError(line, "the bearing " + Quoted(text) +
                                 ": quadrant bearings are typed under 'unit deg' or 'unit dms'");
      const std::optional<double> gon =
          BearingOfQuadrant(QuadrantLetter(text.front(), "N"), QuadrantLetter(text.back(), "E"),
                            Angle(text.substr(1, text.size() - 2), what, line));
      if (!gon)
        throw JobError(line, "the bearing " + Quoted(text) +
                                 ": a quadrant bearing turns 0 to 90 degrees from north or south");
      return *gon;
    });
    return bearing;
  }

  static bool QuadrantLetter(char c, std::string_view letters) {
    return letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c)))) !=
           std::string_view::npos;
  }

  // Where the words from `at` on are N|S ANGLE E|W, they go into `joined`
  // as one word (N45-30-00E) and leave `words`; the caller appends it.
  static bool JoinQuadrant(std::vector<std::string_view>& words, std::size_t at, std::string& joined) {
    if (words.size() != at + 3 || words[at].size() != 1 || words[at + 2].size() != 1 ||
        !QuadrantLetter(words[at][0], "NS") || !QuadrantLetter(words[at + 2][0], "EW"))
      return false;
    joined = std::string(words[at]) + std::string(words[at + 1]) + std::string(words[at + 2]);
    words.resize(at);
    return true;
  }

  template <typename What>
  ReadingRun DistanceReadings(std::string_view word, const What& what, int line) {
    return Run(word, what, line, [&](std::string_view text) {
      const double reading = ParseNumberNamed(text, what, line);
      if (!(reading > 0))
        throw JobError(line, what() + ": expected a positive distance, found " + Quoted(text));
      return reading;
    });
  }

  // Zenith angles in gon, on either face.
  ReadingRun ZenithReadings(std::string_view word, int line) {
    const Named what{"the zenith angle"};
    return Run(word, what, line, [&](std::string_view text) {
      const double reading = Angle(text, what, line);
      if (!(reading > 0 && reading < 400))
        throw JobError(
            line, what() + ": expected a reading between 0 and a full turn, found " + Quoted(text));
      return reading;
    });
  }

  BookLines lines_;
  const FileAccess& files_;
  Book book_;
  AngleUnit unit_ = AngleUnit::Gon;
  SigmaSettings sigmas_;
  NameIndex<Definition> defined_;
  std::deque<std::string> controlNames_;        // the names of control files, for defined_
  BookTraverse traverse_;                       // the traverse being read
  int pointsLine_ = 0;
  // The setups and control of the instrument files read (`raw`), in their
  // files' units until the book's is settled.
  struct RawPart {
    std::string path;
    LengthUnit unit;
    std::size_t firstSetup, endSetup;
  };
  std::vector<RawPart> rawParts_;
  std::map<std::size_t, LengthUnit> rawPoints_;  // by place in the known points
};

}  // namespace

bool IsFieldBook(std::string_view text) {
  BookLines lines(text);
  BookLine line;
  if (!lines.Next(line)) return false;
  // A near miss of a keyword is a book with a slip, not an answer file.
  return NearKeyword(line.words[0]) ||
         std::any_of(keywords.begin(), keywords.end(),
                     [&](std::string_view keyword) { return IsWord(line.words[0], keyword); });
}

Book ReadFieldBook(std::string_view text, const std::string& source, const FileAccess& files) {
  CheckIsText(text);
  return Reader(text, source, files).Read();
}

}  // namespace traverse
