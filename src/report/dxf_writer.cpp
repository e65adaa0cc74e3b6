// The adjusted points and traverses as an AutoCAD R12 ASCII drawing
// (AC1009), the oldest DXF that every CAD program still reads. Drawing x is
// east (Y) and drawing y north (X), as a plan is drawn; z is the height, or 0.
// Coordinates are written in full (the shortest text that reads back to the
// same double), and names outside ASCII as \U+XXXX, as R12 spells Unicode.
#include <algorithm>
#include <cmath>
#include <set>

#include "report/number_text.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// Group code and value pairs, one per line each.
class DxfText {
 public:
  DxfText& operator()(int code, const std::string& value) {
    text_ += IntegerText(code);
    text_ += '\n';
    text_ += value;
    text_ += '\n';
    return *this;
  }
  DxfText& operator()(int code, double value) { return (*this)(code, ShortestText(value)); }
  DxfText& Integer(int code, int value) { return (*this)(code, IntegerText(value)); }
  std::string Finish() { return std::move(text_); }

 private:
  std::string text_;
};

// A name with every byte outside printable ASCII spelled \U+XXXX (the code
// point of a UTF-8 sequence, U+FFFD for a byte that belongs to none).
std::string DxfName(const std::string& name) {
  std::string out;
  const auto hex = [&](std::uint32_t code) {
    const char* digits = "0123456789ABCDEF";
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(code >> shift) & 0xF];
  };
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += name[i++];
      continue;
    }
    std::size_t length = byte >= 0xF0 && byte < 0xF5 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    if (byte >= 0x80 && byte < 0xC2) length = 0;
    std::uint32_t code = length == 4 ? byte & 0x07u : length == 3 ? byte & 0x0Fu : byte & 0x1Fu;
    bool valid = length > 0 && i + length <= name.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(name[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (byte < 0x20 || byte == 0x7F) {
      hex(byte);
      ++i;
    } else if (!valid || (length == 3 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) ||
               (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      hex(0xFFFD);
      ++i;
    } else if (code > 0xFFFF) {
      // R12 has four hex digits: a code point beyond the first plane is
      // written as its UTF-16 pair.
      hex(0xD800 + ((code - 0x10000) >> 10));
      hex(0xDC00 + ((code - 0x10000) & 0x3FF));
      i += length;
    } else {
      hex(code);
      i += length;
    }
  }
  return out;
}

struct DrawnPoint {
  std::string name;
  GridPoint xy;
  std::optional<double> z;
  const char* layer;
};

void Tables(DxfText& dxf) {
  dxf(0, "SECTION")(2, "TABLES");
  dxf(0, "TABLE")(2, "LTYPE").Integer(70, 1);
  dxf(0, "LTYPE")(2, "CONTINUOUS").Integer(70, 0)(3, "Solid line").Integer(72, 65).Integer(73, 0)(
      40, 0.0);
  dxf(0, "ENDTAB");
  // Layer 0 is every drawing's own; then ours, each with a colour of its
  // own (AutoCAD colour index: blue, red, white, green).
  const std::pair<const char*, int> layers[] = {
      {"0", 7}, {"KNOWN", 5}, {"NEW", 1}, {"NAMES", 7}, {"TRAVERSE", 3}};
  dxf(0, "TABLE")(2, "LAYER").Integer(70, static_cast<int>(std::size(layers)));
  for (const auto& [name, colour] : layers)
    dxf(0, "LAYER")(2, name).Integer(70, 0).Integer(62, colour)(6, "CONTINUOUS");
  dxf(0, "ENDTAB");
  dxf(0, "TABLE")(2, "STYLE").Integer(70, 1);
  dxf(0, "STYLE")(2, "STANDARD").Integer(70, 0)(40, 0.0)(41, 1.0)(50, 0.0).Integer(71, 0)(42, 2.5)(
      3, "txt")(4, "");
  dxf(0, "ENDTAB");
  dxf(0, "ENDSEC");
}

}  // namespace

std::string FormatDxf(const BookResult& book, const ReportOptions&) {
  std::vector<DrawnPoint> points;
  for (const NamedPoint& known : book.known) points.push_back({known.name, known.xy, known.z, "KNOWN"});
  for (const NewPoint& point : book.points)
    points.push_back({point.point.name, point.point.xy, point.point.z, "NEW"});

  // The drawing's extent, and a text height of about a two-hundredth of it.
  double minE = 0, minN = 0, maxE = 0, maxN = 0, minZ = 0, maxZ = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const DrawnPoint& p = points[i];
    const double z = p.z.value_or(0);
    minE = i == 0 ? p.xy.y : std::min(minE, p.xy.y);
    maxE = i == 0 ? p.xy.y : std::max(maxE, p.xy.y);
    minN = i == 0 ? p.xy.x : std::min(minN, p.xy.x);
    maxN = i == 0 ? p.xy.x : std::max(maxN, p.xy.x);
    minZ = i == 0 ? z : std::min(minZ, z);
    maxZ = i == 0 ? z : std::max(maxZ, z);
  }
  const double extent = std::max(maxE - minE, maxN - minN);
  double textHeight = 0.1;
  while (textHeight * 200 < extent && textHeight < 1e6) textHeight *= 10;

  DxfText dxf;
  dxf(999, "traverse: " + DxfName(book.source));
  dxf(0, "SECTION")(2, "HEADER");
  dxf(9, "$ACADVER")(1, "AC1009");
  dxf(9, "$EXTMIN")(10, minE)(20, minN)(30, minZ);
  dxf(9, "$EXTMAX")(10, maxE)(20, maxN)(30, maxZ);
  dxf(0, "ENDSEC");
  Tables(dxf);
  dxf(0, "SECTION")(2, "ENTITIES");
  for (const DrawnPoint& p : points) {
    const double z = p.z.value_or(0);
    dxf(0, "POINT")(8, p.layer)(10, p.xy.y)(20, p.xy.x)(30, z);
    dxf(0, "TEXT")(8, "NAMES")(10, p.xy.y + textHeight / 2)(20, p.xy.x + textHeight / 2)(30, z)(
        40, textHeight)(1, DxfName(p.name));
  }
  for (const BookTraverseResult& traverse : book.traverses) {
    const Job& job = traverse.job;
    const Adjustment& result = traverse.result;
    const bool loop = result.kind == TraverseKind::Loop;
    const std::optional<HeightResult>& heights = result.heights;
    // The stations: B, the new points, and C unless the traverse is open or
    // a loop, whose closing flag brings it back to B.
    std::vector<std::pair<GridPoint, double>> vertices;
    const double startZ = heights ? heights->firstZ : 0;
    vertices.push_back({job.b, startZ});
    for (std::size_t i = 0; i < result.points.size(); ++i)
      vertices.push_back({result.points[i], heights && i < heights->z.size() ? heights->z[i] : 0});
    if (result.kind != TraverseKind::Open && !loop)
      vertices.push_back({job.c, heights ? heights->lastZ : 0});
    const int flags = (loop ? 1 : 0) | (heights ? 8 : 0);
    dxf(0, "POLYLINE")(8, "TRAVERSE").Integer(66, 1)(10, 0.0)(20, 0.0)(30, 0.0).Integer(70, flags);
    for (const auto& [xy, z] : vertices) {
      dxf(0, "VERTEX")(8, "TRAVERSE")(10, xy.y)(20, xy.x)(30, heights ? z : 0.0);
      if (heights) dxf.Integer(70, 32);
    }
    dxf(0, "SEQEND")(8, "TRAVERSE");
  }
  dxf(0, "ENDSEC")(0, "EOF");
  return dxf.Finish();
}

}  // namespace traverse
