#include "input/control_points.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "adjustment/job_error.hpp"
#include "input/grid_record.hpp"
#include "input/tokens.hpp"

namespace traverse {
namespace {

std::vector<std::string_view> SplitFields(std::string_view row) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = row.find(',', start);
    fields.push_back(
        Trim(row.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

// Whether `text` reads as a number; one beyond the range is a number all the
// same (the row's reading then says it is out of range), not a header.
bool IsNumber(std::string_view text) {
  const NumberFault fault = ScanNumber(text).fault;
  if (fault == NumberFault::None || fault == NumberFault::OutOfRange) return true;
  // A latitude in D-M-S is a number too: a row that starts with one is data.
  try {
    ParseDegrees(text, "", 1e9, 0);
    return true;
  } catch (const JobError&) {
    return false;
  }
}

enum Column { Point, North, East, Height, Description, Latitude, Longitude };

// The field each column is in (-1: none), from the header's names.
using Layout = std::array<int, 7>;
constexpr std::string_view columnLetters = "PNEZDBL";

std::optional<Column> ColumnNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, Column> names[] = {
      {"p", Point},        {"pn", Point},         {"point", Point},
      {"name", Point},     {"id", Point},         {"n", North},
      {"northing", North}, {"north", North},      {"x", North},
      {"e", East},         {"easting", East},     {"east", East},
      {"y", East},         {"z", Height},         {"elev", Height},
      {"elevation", Height}, {"h", Height},       {"height", Height},
      {"d", Description},  {"desc", Description}, {"description", Description},
      {"code", Description}, {"b", Latitude},       {"lat", Latitude},
      {"latitude", Latitude}, {"l", Longitude},     {"lon", Longitude},
      {"long", Longitude},  {"longitude", Longitude}};
  for (const auto& [word, column] : names)
    if (IsWord(name, word)) return column;
  return std::nullopt;
}

Layout LayoutOfHeader(const std::vector<std::string_view>& fields, const std::string& file,
                      int line) {
  Layout at;
  at.fill(-1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::optional<Column> column = ColumnNamed(fields[i]);
    if (!column)
      throw JobError(file, line, "the header's column " + Quoted(fields[i]) +
                                     " is none of point (P, PN, Point, Name, ID), north (N, "
                                     "Northing, X), east (E, Easting, Y), height (Z, Elev, "
                                     "Elevation, H, Height), description (D, Desc, Code), latitude (B, "
                                     "Lat, Latitude) or longitude (L, Lon, Long, Longitude)");
    if (at[*column] >= 0)
      throw JobError(file, line, "the header's column " + Quoted(fields[i]) + " is the same as " +
                                     Quoted(fields[static_cast<std::size_t>(at[*column])]));
    at[*column] = static_cast<int>(i);
  }
  const bool geographic = at[Latitude] >= 0 || at[Longitude] >= 0;
  if (geographic && (at[North] >= 0 || at[East] >= 0))
    throw JobError(file, line, "the header has both grid (north, east) and geographic (latitude, "
                               "longitude) columns: give one or the other");
  if (geographic) {
    if (at[Latitude] < 0 || at[Longitude] < 0)
      throw JobError(file, line, std::string("the header has no column ") +
                                     (at[Latitude] < 0 ? "B (latitude)" : "L (longitude)"));
    if (at[Point] < 0) throw JobError(file, line, "the header has no column P (point)");
    return at;
  }
  for (Column needed : {Point, North, East})
    if (at[needed] < 0)
      throw JobError(file, line, std::string("the header has no column ") +
                                     columnLetters[needed] + " (" +
                                     (needed == Point ? "point" : needed == North ? "north" : "east") +
                                     ")");
  return at;
}

Layout LayoutOfLetters(std::string_view letters) {
  Layout at;
  at.fill(-1);
  for (std::size_t i = 0; i < letters.size(); ++i)
    at[columnLetters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letters[i]))))] =
        static_cast<int>(i);
  return at;
}

// A row's fault, named in the control file rather than the book.
[[noreturn]] void FailInFile(const std::string& file, const JobError& error) {
  throw JobError(file, error.line(), error.what());
}

}  // namespace

bool AreColumns(std::string_view letters) {
  std::string seen;
  for (char letter : letters) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (columnLetters.find(letter) == std::string_view::npos || seen.find(letter) != std::string::npos)
      return false;
    seen += letter;
  }
  const auto has = [&seen](char letter) { return seen.find(letter) != std::string::npos; };
  const bool grid = has('N') || has('E'), geographic = has('B') || has('L');
  return has('P') && grid != geographic && (grid ? has('N') && has('E') : has('B') && has('L'));
}

std::vector<NamedPoint> ReadControlPoints(std::string_view text, const std::string& file,
                                          std::string_view letters) {
  TextLines lines(text);
  std::vector<NamedPoint> points;
  bool first = true;
  Layout at = LayoutOfLetters(letters.empty() ? std::string_view("PNEZD") : letters);
  const auto field = [&at](const std::vector<std::string_view>& fields, Column column) {
    const int i = at[column];
    return i >= 0 && static_cast<std::size_t>(i) < fields.size() ? fields[static_cast<std::size_t>(i)]
                                                                  : std::string_view();
  };
  for (std::string_view row; lines.Next(row);) {
    row = Trim(row);
    const int number = lines.Number();
    if (row.empty() || row.front() == '#') continue;
    const std::vector<std::string_view> fields = SplitFields(row);
    if (first && fields.size() >= 2 && !IsNumber(fields[1])) {
      first = false;  // a header row
      if (letters.empty()) at = LayoutOfHeader(fields, file, number);
      continue;
    }
    first = false;
    const bool geographic = at[Latitude] >= 0;
    if (static_cast<int>(fields.size()) <=
        std::max({at[Point], at[North], at[East], at[Latitude], at[Longitude]}))
      throw JobError(file, number, std::string("expected ") +
                                       (geographic ? "NAME,LAT,LON" : "NAME,X,Y") +
                                       "[,Z[,DESCRIPTION]], found " + Quoted(row));
    const std::string_view name = field(fields, Point);
    NamedPoint point;
    if (name.empty())
      throw JobError(file, number, std::string("expected a point name in ") +
                                       (at[Point] == 0 ? "the first field" : "its column") +
                                       ", found none");
    if (IsWord(name, "end") || IsWord(name, "bearing") || name.front() == '#')
      throw JobError(file, number, "expected a point name, found " + Quoted(name));
    for (char byte : name)
      if (byte == ' ' || byte == '\t')
        throw JobError(file, number, "expected a point name without blanks, found " + Quoted(name));
    point.name = std::string(name);
    point.description = std::string(field(fields, Description));
    try {
      if (geographic) {
        // Projected to the job's grid before the adjustment, as a
        // `point NAME lat= lon=` record is.
        point.geographic = geodesy::Geographic{
            ParseDegrees(field(fields, Latitude), "the latitude of '" + point.name + "'", 90, number),
            ParseDegrees(field(fields, Longitude), "the longitude of '" + point.name + "'", 180,
                         number)};
      } else {
        point.xy.x = ParseNumber(field(fields, North), "the X coordinate of '" + point.name + "'", number);
        point.xy.y = ParseNumber(field(fields, East), "the Y coordinate of '" + point.name + "'", number);
      }
      if (const std::string_view z = field(fields, Height); !z.empty())
        point.z = ParseNumber(z, "the height of '" + point.name + "'", number);
    } catch (const JobError& error) {
      FailInFile(file, error);
    }
    point.line = number;
    points.push_back(std::move(point));
  }
  return points;
}

}  // namespace traverse
