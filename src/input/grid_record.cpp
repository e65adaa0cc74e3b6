#include "input/grid_record.hpp"

#include <cmath>
#include <string>

#include "input/tokens.hpp"

namespace traverse {
namespace {

std::string Ellipsoids() {
  std::string names;
  for (const geodesy::Ellipsoid& e : geodesy::Ellipsoids()) {
    if (!names.empty()) names += ", ";
    names += e.key;
  }
  return names;
}

geodesy::Ellipsoid EllipsoidOf(std::span<const std::string_view> words, std::size_t at, int line) {
  if (words.size() <= at) return *geodesy::EllipsoidNamed("grs80");
  const geodesy::Ellipsoid* e = geodesy::EllipsoidNamed(words[at]);
  if (!e) throw JobError(line, "grid: expected an ellipsoid (" + Ellipsoids() + "), found " + Quoted(words[at]));
  return *e;
}

const char* const forms =
    "'utm ZONE[n|s]', 'tm LAT0 LON0 K0 FALSE_E FALSE_N [ELLIPSOID]', "
    "'lcc LAT0 LON0 LAT1 LAT2 FALSE_E FALSE_N [ELLIPSOID]' or 'epsg:CODE'";

}  // namespace

double ParseDegrees(std::string_view token, const std::string& what, double limit, int line) {
  // A '-' after the first byte makes it D-M-S; else decimal degrees.
  const bool dms = token.find('-', 1) != std::string_view::npos;
  const double degrees = dms ? ParseDms(token, what, line) * 0.9 : ParseNumber(token, what, line);
  if (!(std::abs(degrees) <= limit))
    throw JobError(line, what + ": expected at most " + std::to_string(static_cast<int>(limit)) +
                             " degrees either way, found " + Quoted(token));
  return degrees;
}

geodesy::GridDefinition ParseGrid(std::span<const std::string_view> words, int line) {
  if (words.empty()) throw JobError(line, std::string("grid: expected ") + forms + ", found nothing");
  geodesy::GridDefinition g;
  const std::string_view kind = words[0];
  if (IsWord(kind.substr(0, 5), "epsg:") && words.size() == 1) {
    const NumberScan code = ScanNumber(kind.substr(5));
    std::optional<geodesy::GridDefinition> found;
    if (code.fault == NumberFault::None && code.value == std::floor(code.value) && code.value > 0 &&
        code.value < 1e6)
      found = geodesy::GridOfEpsg(static_cast<int>(code.value));
    if (!found)
      throw JobError(line, "grid: " + Quoted(kind) +
                               " is not in the table of projected systems (UTM, MGA, Gauss-Kruger, "
                               "the British National Grid, NAD83 State Plane; see the README to extend it)");
    return *found;
  }
  if (IsWord(kind, "utm") && words.size() == 2) {
    std::string_view zone = words[1];
    const char hemisphere = zone.empty() ? ' ' : static_cast<char>(zone.back() | 0x20);
    if (hemisphere == 'n' || hemisphere == 's') zone.remove_suffix(1);
    const NumberScan number = ScanNumber(zone);
    if (number.fault != NumberFault::None || number.value != std::floor(number.value) ||
        number.value < 1 || number.value > 60)
      throw JobError(line, "grid utm: expected a zone from 1 to 60 with n or s, found " + Quoted(words[1]));
    const int z = static_cast<int>(number.value);
    const bool south = hemisphere == 's';
    g.name = "UTM zone " + std::to_string(z) + (south ? "S" : "N") + " (WGS 84)";
    g.epsg = (south ? 32700 : 32600) + z;
    g.projection = geodesy::Projection::Utm;
    g.ellipsoid = *geodesy::EllipsoidNamed("wgs84");
    g.lon0 = 6.0 * z - 183;
    g.k0 = 0.9996;
    g.falseEasting = 500000;
    g.falseNorthing = south ? 10000000 : 0;
    return g;
  }
  const bool tm = IsWord(kind, "tm"), lcc = IsWord(kind, "lcc");
  const std::size_t numbers = tm ? 5 : 6;
  if ((tm || lcc) && (words.size() == numbers + 1 || words.size() == numbers + 2)) {
    g.lat0 = ParseDegrees(words[1], "grid: LAT0", 90, line);
    g.lon0 = ParseDegrees(words[2], "grid: LON0", 180, line);
    std::size_t at = 3;
    if (tm) {
      g.k0 = ParseNumber(words[at++], "grid: K0", line);
      if (!(g.k0 > 0.5 && g.k0 < 2))
        throw JobError(line, "grid: K0 must lie between 0.5 and 2, found " + Quoted(words[3]));
    } else {
      g.lat1 = ParseDegrees(words[at++], "grid: LAT1", 90, line);
      g.lat2 = ParseDegrees(words[at++], "grid: LAT2", 90, line);
      g.twoParallels = true;
      if (std::abs(g.lat1) >= 90 || std::abs(g.lat2) >= 90 || (g.lat1 == -g.lat2))
        throw JobError(line, "grid lcc: the standard parallels must lie off the poles and not "
                             "mirror each other about the equator");
    }
    g.falseEasting = ParseNumber(words[at++], "grid: FALSE_E", line);
    g.falseNorthing = ParseNumber(words[at++], "grid: FALSE_N", line);
    g.ellipsoid = EllipsoidOf(words, at, line);
    g.projection = tm ? geodesy::Projection::TransverseMercator : geodesy::Projection::LambertConformal;
    std::string text;
    for (const std::string_view w : words) {
      if (!text.empty()) text += ' ';
      text += w;
    }
    g.name = text + (words.size() == numbers + 1 ? " (" + std::string(g.ellipsoid.name) + ")" : "");
    return g;
  }
  std::string found;
  for (const std::string_view w : words) {
    if (!found.empty()) found += ' ';
    found += w;
  }
  throw JobError(line, std::string("grid: expected ") + forms + ", found " + Quoted(found));
}

}  // namespace traverse
