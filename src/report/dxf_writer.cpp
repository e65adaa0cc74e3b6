// The adjusted points and traverses as an AutoCAD R12 ASCII drawing
// (AC1009), the oldest DXF that every CAD program still reads. Drawing x is
// east (Y) and drawing y north (X), as a plan is drawn; z is the height, or 0.
// Coordinates are written in full (the shortest text that reads back to the
// same double), and names outside ASCII as \U+XXXX, as R12 spells Unicode.
// Text is sized for the plot scale: 2.5 mm on paper.
//
// Each point is drawn twice over: a POINT on layer KNOWN or NEW with its
// name, height and description as TEXT on layers NAMES, ELEV and DESC, and
// an INSERT of the block POINT whose attributes NAME, ELEV and DESC (kept
// hidden, as the texts show them) let a CAD program list the points.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "console/number_writing.hpp"
#include "numbers/shortest_text.hpp"
#include "report/number_text.hpp"
#include "report/report_figures.hpp"
#include "report/plan_model.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// Group code and value pairs, one per line each.
// Numbers are written straight into the text: a drawing of 100,000
// sideshots has some six million groups.
class Groups {
 public:
  Groups& operator()(int code, std::string_view value) {
    Code(code);
    text_ += value;
    text_ += '\n';
    return *this;
  }
  Groups& operator()(int code, const char* value) { return (*this)(code, std::string_view(value)); }
  Groups& operator()(int code, const std::string& value) { return (*this)(code, std::string_view(value)); }
  Groups& operator()(int code, double value) {
    Code(code);
    char text[ShortestTextCapacity];
    text_.append(text, WriteShortest(value, text));
    text_ += '\n';
    return *this;
  }
  Groups& Integer(int code, int value) {
    Code(code);
    Append(value);
    text_ += '\n';
    return *this;
  }
  std::string Finish() { return std::move(text_); }

 private:
  void Code(int code) {
    Append(code);
    text_ += '\n';
  }
  void Append(int value) {
    char text[IntegerTextCapacity];
    text_.append(text, FormatInteger(static_cast<std::int32_t>(value), text));
  }
  std::string text_;
};

// Layer 0 is every drawing's own; then ours, each with a colour of its
// own (AutoCAD colour index: blue, red, white, green, grey, cyan).
constexpr std::pair<const char*, int> Layers[] = {{"0", 7},     {"KNOWN", 5}, {"NEW", 1},
                                                  {"NAMES", 7}, {"ELEV", 8},  {"DESC", 4},
                                                  {"TRAVERSE", 3}};

// `extra` are layers beyond ours: sideshots' (colour magenta), in order.
void Tables(Groups& dxf, const std::vector<std::string>& extra) {
  dxf(0, "SECTION")(2, "TABLES");
  dxf(0, "TABLE")(2, "LTYPE").Integer(70, 1);
  dxf(0, "LTYPE")(2, "CONTINUOUS").Integer(70, 0)(3, "Solid line").Integer(72, 65).Integer(73, 0)(
      40, 0.0);
  dxf(0, "ENDTAB");
  dxf(0, "TABLE")(2, "LAYER").Integer(70, static_cast<int>(std::size(Layers) + extra.size()));
  for (const auto& [name, colour] : Layers)
    dxf(0, "LAYER")(2, name).Integer(70, 0).Integer(62, colour)(6, "CONTINUOUS");
  for (const std::string& name : extra)
    dxf(0, "LAYER")(2, name).Integer(70, 0).Integer(62, 6)(6, "CONTINUOUS");
  dxf(0, "ENDTAB");
  dxf(0, "TABLE")(2, "STYLE").Integer(70, 1);
  dxf(0, "STYLE")(2, "STANDARD").Integer(70, 0)(40, 0.0)(41, 1.0)(50, 0.0).Integer(71, 0)(42, 2.5)(
      3, "txt")(4, "");
  dxf(0, "ENDTAB");
  dxf(0, "ENDSEC");
}

// The attributes of a point: its tag, prompt and value.
struct Attribute {
  const char* tag;
  const char* prompt;
  std::string value;
};

// An attribute's text, hidden (flag 1), `height` high at the point's
// offset (x, y, z) from its insertion.
void AttributeText(Groups& dxf, const char* entity, const std::string& layer, double x, double y, double z,
                   double height, const Attribute& attribute) {
  dxf(0, entity)(8, layer)(10, x)(20, y)(30, z)(40, height)(1, attribute.value);
  if (entity == std::string("ATTDEF")) dxf(3, attribute.prompt);
  dxf(2, attribute.tag).Integer(70, 1);
}

// The block POINT: no drawing of its own, the attributes of a point.
void Blocks(Groups& dxf, double textHeight) {
  dxf(0, "SECTION")(2, "BLOCKS");
  dxf(0, "BLOCK")(8, "0")(2, "POINT").Integer(70, 2)(10, 0.0)(20, 0.0)(30, 0.0)(3, "POINT");
  double y = 0;
  for (const char* tag : {"NAME", "ELEV", "DESC"}) {
    AttributeText(dxf, "ATTDEF", "0", 0, y, 0, textHeight, {tag, tag, ""});
    y -= 1.5 * textHeight;
  }
  dxf(0, "ENDBLK")(8, "0");
  dxf(0, "ENDSEC");
}

// One point: a POINT on `layer`, its name, height and description as TEXT
// on layers NAMES, ELEV and DESC, and an INSERT of block POINT with them as
// attributes.
void DrawPoint(Groups& dxf, const std::string& name, const GridPoint& xy, const std::optional<double>& zOf,
               const std::string& description, const std::string& layer, double textHeight) {
  const double z = zOf.value_or(0);
  const Attribute attributes[] = {{"NAME", "", DxfText(name)},
                                  {"ELEV", "", zOf ? FixedText(*zOf, 3) : ""},
                                  {"DESC", "", DxfText(description)}};
  dxf(0, "POINT")(8, layer)(10, xy.y)(20, xy.x)(30, z);
  const char* layers[] = {"NAMES", "ELEV", "DESC"};
  for (std::size_t i = 0; i < 3; ++i) {
    if (attributes[i].value.empty()) continue;
    dxf(0, "TEXT")(8, layers[i])(10, xy.y + textHeight / 2)(
        20, xy.x + textHeight / 2 - 1.5 * textHeight * static_cast<double>(i))(30, z)(
        40, textHeight)(1, attributes[i].value);
  }
  dxf(0, "INSERT")(8, layer).Integer(66, 1)(2, "POINT")(10, xy.y)(20, xy.x)(30, z);
  for (std::size_t i = 0; i < 3; ++i)
    AttributeText(dxf, "ATTRIB", layer, xy.y, xy.x - 1.5 * textHeight * static_cast<double>(i),
                  z, textHeight, attributes[i]);
  dxf(0, "SEQEND")(8, layer);
}

// The layer of each sideshot: SIDESHOTS, or its code's where asked and it
// has one; and the layers beyond ours, each once, in the order first met.
std::vector<std::string> SideshotLayers(const BookResult& book, bool byCode,
                                        std::vector<std::string>& extra) {
  std::vector<std::string> layers;
  if (book.sideshots.empty()) return layers;
  extra.push_back("SIDESHOTS");
  std::unordered_set<std::string> known(extra.begin(), extra.end());
  for (const auto& [name, colour] : Layers) known.insert(name);
  layers.reserve(book.sideshots.size());
  for (const Sideshot& shot : book.sideshots) {
    std::string layer = byCode && !shot.code.empty() ? DxfLayerName(shot.code) : "SIDESHOTS";
    if (known.insert(layer).second) extra.push_back(layer);
    layers.push_back(std::move(layer));
  }
  return layers;
}

}  // namespace

std::string FormatDxf(const BookResult& book, const ReportOptions& options) {
  const PlanModel plan = PlanBuilder(book).Whole();
  // The extent of the finite points (0 where none), and of the heights.
  GridPoint low, high;
  double minZ = 0, maxZ = 0;
  bool any = false;
  for (std::size_t i = 0; i < plan.points.size(); ++i) {
    const GridPoint& p = plan.points[i].xy;
    const double z = plan.points[i].z.value_or(0);
    minZ = i == 0 ? z : std::min(minZ, z);
    maxZ = i == 0 ? z : std::max(maxZ, z);
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    low = any ? GridPoint{std::min(low.x, p.x), std::min(low.y, p.y)} : p;
    high = any ? GridPoint{std::max(high.x, p.x), std::max(high.y, p.y)} : p;
    any = true;
  }
  const bool anyBefore = !plan.points.empty();
  for (std::size_t i = 0; i < book.sideshots.size(); ++i) {
    const Sideshot& shot = book.sideshots[i];
    const double z = shot.z.value_or(0);
    minZ = i == 0 && !anyBefore ? z : std::min(minZ, z);
    maxZ = i == 0 && !anyBefore ? z : std::max(maxZ, z);
    if (!std::isfinite(shot.xy.x) || !std::isfinite(shot.xy.y)) continue;
    low = any ? GridPoint{std::min(low.x, shot.xy.x), std::min(low.y, shot.xy.y)} : shot.xy;
    high = any ? GridPoint{std::max(high.x, shot.xy.x), std::max(high.y, shot.xy.y)} : shot.xy;
    any = true;
  }
  std::vector<std::string> extraLayers;
  const std::vector<std::string> shotLayers = SideshotLayers(book, options.codeLayers, extraLayers);
  // 2.5 mm on paper, in the drawing's unit (the job's).
  const double textHeight = 0.0025 * options.plotScale / MetresPer(book.settings.length);

  Groups dxf;
  dxf(999, "traverse: " + DxfText(book.source));
  dxf(0, "SECTION")(2, "HEADER");
  dxf(9, "$ACADVER")(1, "AC1009");
  dxf(9, "$EXTMIN")(10, low.y)(20, low.x)(30, minZ);
  dxf(9, "$EXTMAX")(10, high.y)(20, high.x)(30, maxZ);
  dxf(0, "ENDSEC");
  Tables(dxf, extraLayers);
  Blocks(dxf, textHeight);
  dxf(0, "SECTION")(2, "ENTITIES");
  // The book gives its points no description yet.
  for (const PlanPoint& p : plan.points)
    DrawPoint(dxf, p.name, p.xy, p.z, "", p.role == PlanRole::New ? "NEW" : "KNOWN", textHeight);
  for (std::size_t i = 0; i < book.sideshots.size(); ++i) {
    const Sideshot& shot = book.sideshots[i];
    DrawPoint(dxf, shot.name, shot.xy, shot.z, SideshotDescription(shot), shotLayers[i], textHeight);
  }
  for (const PlanTraverse& traverse : plan.traverses) {
    // A loop's closing flag brings it back to its first station.
    const std::size_t count = traverse.route.size() - (traverse.loop ? 1 : 0);
    const bool heights = std::any_of(traverse.z.begin(), traverse.z.end(),
                                     [](const std::optional<double>& z) { return z.has_value(); });
    const int flags = (traverse.loop ? 1 : 0) | (heights ? 8 : 0);
    dxf(0, "POLYLINE")(8, "TRAVERSE").Integer(66, 1)(10, 0.0)(20, 0.0)(30, 0.0).Integer(70, flags);
    for (std::size_t i = 0; i < count; ++i) {
      dxf(0, "VERTEX")(8, "TRAVERSE")(10, traverse.route[i].y)(20, traverse.route[i].x)(
          30, traverse.z[i].value_or(0));
      if (heights) dxf.Integer(70, 32);
    }
    dxf(0, "SEQEND")(8, "TRAVERSE");
  }
  dxf(0, "ENDSEC")(0, "EOF");
  return dxf.Finish();
}

}  // namespace traverse
