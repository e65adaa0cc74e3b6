#include "geodesy/grid.hpp"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/LambertConformalConic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <GeographicLib/TransverseMercatorExact.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <numbers>
#include <optional>
#include <stdexcept>

namespace traverse::geodesy {
namespace {

constexpr Ellipsoid ellipsoids[] = {
    {"wgs84", "WGS 84", 6378137.0, 298.257223563},
    {"grs80", "GRS 1980", 6378137.0, 298.257222101},
    {"bessel", "Bessel 1841", 6377397.155, 299.1528128},
    {"airy", "Airy 1830", 6377563.396, 299.3249646},
    {"clarke1866", "Clarke 1866", 6378206.4, 294.978698213898},
    {"intl", "International 1924", 6378388.0, 297.0},
};

bool SameWords(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

constexpr double degree = std::numbers::pi / 180;

// `degrees` moved by whole turns into (-180, 180]. A difference of two
// bearings is within one turn of it, and one turn off it is exact.
double WithinHalfTurn(double degrees) {
  double r = degrees;
  if (std::fabs(r) > 540)
    r = std::remainder(r, 360.0);
  else if (r > 180)
    r -= 360;
  else if (r < -180)
    r += 360;
  return r == -180 ? 180 : r;
}

// A row of the EPSG table.
struct EpsgRow {
  int code;
  const char *name, *method, *ellipsoid;
  double lat0, lon0, lat1, lat2, k0, falseEasting, falseNorthing, unit;
};
constexpr EpsgRow epsgTable[] = {
#include "geodesy/epsg_table.inc"
};

}  // namespace

std::optional<GridDefinition> GridOfEpsg(int code) {
  const auto row = std::lower_bound(std::begin(epsgTable), std::end(epsgTable), code,
                                    [](const EpsgRow& r, int c) { return r.code < c; });
  if (row == std::end(epsgTable) || row->code != code) return std::nullopt;
  GridDefinition g;
  g.name = row->name;
  g.epsg = code;
  const std::string_view method = row->method;
  // The UTM zones, as their name says (MGA is UTM on GDA), take GeographicLib's
  // UTM projection (the Krüger series, as its UTMUPS); other Transverse
  // Mercator grids the exact one.
  const std::string_view name = row->name;
  const bool utm = name.find("UTM zone") != std::string_view::npos ||
                   name.find("MGA zone") != std::string_view::npos;
  g.projection = method != "tm" ? Projection::LambertConformal
                 : utm          ? Projection::Utm
                                : Projection::TransverseMercator;
  g.twoParallels = method == "lcc2";
  g.ellipsoid = *EllipsoidNamed(row->ellipsoid);
  g.lat0 = row->lat0;
  g.lon0 = row->lon0;
  g.lat1 = row->lat1;
  g.lat2 = row->lat2;
  g.k0 = row->k0;
  g.falseEasting = row->falseEasting;
  g.falseNorthing = row->falseNorthing;
  g.unit = row->unit;
  return g;
}

std::span<const Ellipsoid> Ellipsoids() { return ellipsoids; }

const Ellipsoid* EllipsoidNamed(std::string_view name) {
  for (const Ellipsoid& e : ellipsoids)
    if (SameWords(name, e.key) || SameWords(name, e.name)) return &e;
  return nullptr;
}

// The projection and the geodesics of one grid's ellipsoid, in metres from
// the projection's own origin (the central meridian and the equator, or the
// Lambert grid's origin).
struct Grid::Engine {
  GeographicLib::Geodesic geodesic;
  std::optional<GeographicLib::TransverseMercator> utm;
  std::optional<GeographicLib::TransverseMercatorExact> tm;
  std::optional<GeographicLib::LambertConformalConic> lcc;
  double northOfOrigin = 0;  // the projection's own northing of lat0
  double e2 = 0;             // first eccentricity squared

  Engine(const GridDefinition& g)
      : geodesic(g.ellipsoid.a, 1 / g.ellipsoid.inverseFlattening) {
    const double f = 1 / g.ellipsoid.inverseFlattening;
    e2 = f * (2 - f);
    if (g.projection == Projection::Utm) {
      utm.emplace(g.ellipsoid.a, f, g.k0);
    } else if (g.projection == Projection::TransverseMercator) {
      tm.emplace(g.ellipsoid.a, f, g.k0);
    } else if (g.twoParallels) {
      lcc.emplace(g.ellipsoid.a, f, g.lat1, g.lat2, 1.0);
    } else {
      lcc.emplace(g.ellipsoid.a, f, g.lat0, g.k0);
    }
    double x = 0, gamma = 0, k = 0;
    Forward(g.lon0, g.lat0, g.lon0, x, northOfOrigin, gamma, k);
  }

  // `call` on the grid's projection: the three share the calls' form.
  template <typename Call>
  void On(const Call& call) const {
    if (utm)
      call(*utm);
    else if (tm)
      call(*tm);
    else
      call(*lcc);
  }
  void Forward(double lon0, double lat, double lon, double& x, double& y, double& gamma,
               double& k) const {
    On([&](const auto& p) { p.Forward(lon0, lat, lon, x, y, gamma, k); });
  }
  void Reverse(double lon0, double x, double y, double& lat, double& lon, double& gamma,
               double& k) const {
    On([&](const auto& p) { p.Reverse(lon0, x, y, lat, lon, gamma, k); });
  }
};

Grid::Grid(const GridDefinition& definition)
    : definition_(definition), engine_(std::make_unique<Engine>(definition)) {}

Grid::~Grid() = default;

PointFactors Grid::At(double north, double east) const {
  const GridDefinition& g = definition_;
  PointFactors p;
  engine_->Reverse(g.lon0, (east - g.falseEasting) * g.unit,
                   (north - g.falseNorthing) * g.unit + engine_->northOfOrigin, p.at.lat, p.at.lon,
                   p.convergence, p.k);
  if (!std::isfinite(p.at.lat) || !std::isfinite(p.at.lon) || !std::isfinite(p.k))
    throw std::domain_error("lies outside the grid's projection");
  return p;
}

PointFactors Grid::ToGrid(const Geographic& at, double& north, double& east) const {
  const GridDefinition& g = definition_;
  PointFactors p;
  p.at = at;
  double x = 0, y = 0;
  engine_->Forward(g.lon0, at.lat, at.lon, x, y, p.convergence, p.k);
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(p.k))
    throw std::domain_error("lies outside the grid's projection");
  east = g.falseEasting + x / g.unit;
  north = g.falseNorthing + (y - engine_->northOfOrigin) / g.unit;
  return p;
}

namespace {

// 1 / R = cos²α / M + sin²α / N, Euler's radius in azimuth α (degrees) at
// latitude lat.
double EulerRadius(double a, double e2, double lat, double azimuth) {
  const double s = std::sin(lat * degree);
  const double w2 = 1 - e2 * s * s;
  const double n = a / std::sqrt(w2), m = a * (1 - e2) / (w2 * std::sqrt(w2));
  const double ca = std::cos(azimuth * degree), sa = std::sin(azimuth * degree);
  return 1 / (ca * ca / m + sa * sa / n);
}

// The inverse problem of a short line by its normal section: the chord
// between the two points on the ellipsoid, its azimuth at each end in the
// plane of that end's horizon, and its length as the arc of radius R over
// it. The normal section and the geodesic part by e²s²cos²φ sin 2α / 12N²,
// 6e-11 rad at 2 km, and the arc's length is the geodesic's to the chord's
// fifth power over R⁴. Azimuths in degrees as the geodesic's: azi2 the
// direction on at the far end.
void NormalSection(double a, double e2, const Geographic& from, const Geographic& to,
                   double& s12, double& azi1, double& azi2) {
  const double s1 = std::sin(from.lat * degree), c1 = std::cos(from.lat * degree);
  const double s2 = std::sin(to.lat * degree), c2 = std::cos(to.lat * degree);
  const double dl = (to.lon - from.lon) * degree;
  const double sl = std::sin(dl), cl = std::cos(dl);
  const double n1 = a / std::sqrt(1 - e2 * s1 * s1), n2 = a / std::sqrt(1 - e2 * s2 * s2);
  // Geocentric, the first point's meridian as the x-z plane.
  const double dx = n2 * c2 * cl - n1 * c1, dy = n2 * c2 * sl, dz = (1 - e2) * (n2 * s2 - n1 * s1);
  const double chord = std::sqrt(dx * dx + dy * dy + dz * dz);
  const double e1 = dy, nn1 = -s1 * dx + c1 * dz;  // east and north at the first point
  const double e2h = -(-sl * dx + cl * dy);        // at the second, towards the first
  const double nn2 = -(-s2 * cl * dx - s2 * sl * dy + c2 * dz);
  azi1 = std::atan2(e1, nn1) / degree;
  azi2 = WithinHalfTurn(std::atan2(e2h, nn2) / degree + 180);
  const double r = EulerRadius(a, e2, (from.lat + to.lat) / 2, azi1);
  s12 = chord * (1 + chord * chord / (24 * r * r));
}

}  // namespace

Grid::LineFactors Grid::Line(const PointFactors& from, const PointFactors& to,
                             double chordBearing, double chordLength, double meanHeight) const {
  LineFactors back;
  return Line(from, to, chordBearing, chordLength, meanHeight, chordBearing, back);
}

Grid::LineFactors Grid::Line(const PointFactors& from, const PointFactors& to,
                             double chordBearing, double chordLength, double meanHeight,
                             double backBearing, LineFactors& back) const {
  LineFactors line;
  back = LineFactors{};
  double s12 = 0, azi1 = 0, azi2 = 0;
  if (from.at.lat == to.at.lat && from.at.lon == to.at.lon)
    ;  // one place
  else if (chordLength * definition_.unit < 2000)
    NormalSection(definition_.ellipsoid.a, engine_->e2, from.at, to.at, s12, azi1, azi2);
  else
    engine_->geodesic.Inverse(from.at.lat, from.at.lon, to.at.lat, to.at.lon, s12, azi1, azi2);
  if (!(s12 > 0)) {  // one place: the point's own scale, no direction
    line.scale = from.k;
    back.scale = to.k;
    return line;
  }
  // The projected geodesic leaves `from` on the grid bearing azi1 - gamma,
  // and `to` (back towards `from`) on azi2 + 180 - gamma there.
  line.arcToChordFrom = WithinHalfTurn(chordBearing - (azi1 - from.convergence));
  line.arcToChordTo = WithinHalfTurn(chordBearing - (azi2 - to.convergence));
  line.scale = chordLength * definition_.unit / s12;
  back.arcToChordFrom = WithinHalfTurn(backBearing - (azi2 + 180 - to.convergence));
  back.arcToChordTo = WithinHalfTurn(backBearing - (azi1 + 180 - from.convergence));
  back.scale = line.scale;

  // Euler's radius in the line's azimuth at its mean latitude; the line
  // back leaves on azi2 + 180, whose radius is azi2's.
  const double a = definition_.ellipsoid.a, e2 = engine_->e2;
  const double lat = (from.at.lat + to.at.lat) / 2;
  const double r = EulerRadius(a, e2, lat, azi1), rBack = EulerRadius(a, e2, lat, azi2);
  line.height = r / (r + meanHeight * definition_.unit);
  back.height = rBack / (rBack + meanHeight * definition_.unit);
  return line;
}

}  // namespace traverse::geodesy
