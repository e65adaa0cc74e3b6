#include "input/field_book_writer.hpp"

#include <algorithm>

#include "adjustment/job_error.hpp"
#include "input/tokens.hpp"
#include "numbers/shortest_text.hpp"

namespace traverse {
namespace {

// Words a name may not be: the book would read a record or the end of a block.
constexpr std::string_view reserved[] = {"unit", "point", "points", "traverse", "angle", "distance",
                                         "bearing", "sigma", "title", "setup", "raw", "end"};

// `word` as one word of the book; throws where the book would read it otherwise.
std::string_view Word(std::string_view word, const char* what, int line) {
  const bool blank = std::any_of(word.begin(), word.end(), [](char c) { return IsBlank(c) || c == '"'; });
  const bool keyword = std::any_of(std::begin(reserved), std::end(reserved),
                                   [&](std::string_view k) { return IsWord(word, k); });
  if (word.empty() || blank || word.front() == '#' || keyword)
    throw JobError(line, std::string(what) + " " + Quoted(word) +
                             " cannot be written in a field book (a blank, '#' or '\"' in it, or a "
                             "keyword)");
  return word;
}

std::string Number(double value) {
  return ShortestText(value);
}

// A comment line for each line of `text`.
void Comment(std::string& out, std::string_view text) {
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    out += "# ";
    out += text.substr(start, end - start);
    out += '\n';
    start = end + 1;
  }
}

}  // namespace

std::string WriteFieldBook(const Book& book, const std::string& header) {
  std::string out;
  Comment(out, header);
  for (const std::string& note : book.notes) Comment(out, note);
  out += "unit gon\n";
  // A file in feet keeps its lengths as it gives them, in its unit.
  if (book.length != LengthUnit::Metre) out += std::string("length ") + LengthUnitName(book.length) + "\n";
  for (const NamedPoint& point : book.known) {
    out += "point ";
    out += Word(point.name, "the point name", point.line);
    out += ' ' + Number(point.xy.x) + ' ' + Number(point.xy.y);
    if (point.z) out += ' ' + Number(*point.z);
    out += '\n';
  }
  for (const BookSetup& setup : book.setups) {
    out += "\nsetup ";
    out += Word(setup.station, "the station name", setup.line);
    if (setup.hi) out += " hi=" + Number(*setup.hi);
    out += '\n';
    std::optional<double> carried;  // the ht= a book reading the setup carries on
    for (const SetupReading& reading : setup.readings) {
      out += "  ";
      out += Word(reading.target, "the target name", reading.line);
      out += ' ' + Number(reading.hz);
      if (reading.zenith) out += " za=" + Number(*reading.zenith);
      if (reading.slope) out += " sd=" + Number(*reading.slope);
      if (reading.horizontal) out += " hd=" + Number(*reading.horizontal);
      if (reading.ht) out += " ht=" + Number(*reading.ht);
      else if (carried) out += " ht=none";
      carried = reading.ht;
      if (!reading.zenith && reading.face == 2) out += " face=2";
      if (!reading.code.empty()) {
        out += " code=";
        out += Word(reading.code, "the code", reading.line);
      }
      if (!reading.description.empty()) {
        std::string description = reading.description;
        std::replace(description.begin(), description.end(), '"', '\'');
        std::replace_if(description.begin(), description.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        out += " \"" + description + "\"";
      }
      out += '\n';
    }
    out += "end\n";
  }
  // Bearings held fixed: a back azimuth to a point without coordinates.
  for (const FreeObservation& free : book.free) {
    if (free.kind != ObservationKind::Bearing || free.angle.readings.count != 1) continue;
    out += "bearing ";
    out += Word(free.from, "the station name", free.line);
    out += ' ';
    out += Word(free.to, "the point name", free.line);
    out += ' ' + Number(book.Of(free.angle.readings)[0]) + '\n';
  }
  return out;
}

}  // namespace traverse
