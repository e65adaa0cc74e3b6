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
#include <string>

#include "report/number_text.hpp"
#include "report/plan_model.hpp"
#include "report/text_escape.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// Group code and value pairs, one per line each.
class Groups {
 public:
  Groups& operator()(int code, const std::string& value) {
    text_ += IntegerText(code);
    text_ += '\n';
    text_ += value;
    text_ += '\n';
    return *this;
  }
  Groups& operator()(int code, double value) { return (*this)(code, ShortestText(value)); }
  Groups& Integer(int code, int value) { return (*this)(code, IntegerText(value)); }
  std::string Finish() { return std::move(text_); }

 private:
  std::string text_;
};

void Tables(Groups& dxf) {
  dxf(0, "SECTION")(2, "TABLES");
  dxf(0, "TABLE")(2, "LTYPE").Integer(70, 1);
  dxf(0, "LTYPE")(2, "CONTINUOUS").Integer(70, 0)(3, "Solid line").Integer(72, 65).Integer(73, 0)(
      40, 0.0);
  dxf(0, "ENDTAB");
  // Layer 0 is every drawing's own; then ours, each with a colour of its
  // own (AutoCAD colour index: blue, red, white, green, grey, cyan).
  const std::pair<const char*, int> layers[] = {{"0", 7},        {"KNOWN", 5}, {"NEW", 1},
                                                {"NAMES", 7},    {"ELEV", 8},  {"DESC", 4},
                                                {"TRAVERSE", 3}};
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

// The attributes of a point: its tag, prompt and value.
struct Attribute {
  const char* tag;
  const char* prompt;
  std::string value;
};

// An attribute's text, hidden (flag 1), `height` high at the point's
// offset (x, y, z) from its insertion.
void AttributeText(Groups& dxf, const char* entity, const char* layer, double x, double y, double z,
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
  const double textHeight = 0.0025 * options.plotScale;

  Groups dxf;
  dxf(999, "traverse: " + DxfText(book.source));
  dxf(0, "SECTION")(2, "HEADER");
  dxf(9, "$ACADVER")(1, "AC1009");
  dxf(9, "$EXTMIN")(10, low.y)(20, low.x)(30, minZ);
  dxf(9, "$EXTMAX")(10, high.y)(20, high.x)(30, maxZ);
  dxf(0, "ENDSEC");
  Tables(dxf);
  Blocks(dxf, textHeight);
  dxf(0, "SECTION")(2, "ENTITIES");
  for (const PlanPoint& p : plan.points) {
    const double z = p.z.value_or(0);
    const char* layer = p.role == PlanRole::New ? "NEW" : "KNOWN";
    const Attribute attributes[] = {{"NAME", "", DxfText(p.name)},
                                    {"ELEV", "", p.z ? FixedText(*p.z, 3) : ""},
                                    {"DESC", "", ""}};  // the book gives points no description yet
    dxf(0, "POINT")(8, layer)(10, p.xy.y)(20, p.xy.x)(30, z);
    const char* layers[] = {"NAMES", "ELEV", "DESC"};
    for (std::size_t i = 0; i < 3; ++i) {
      if (attributes[i].value.empty()) continue;
      dxf(0, "TEXT")(8, layers[i])(10, p.xy.y + textHeight / 2)(
          20, p.xy.x + textHeight / 2 - 1.5 * textHeight * static_cast<double>(i))(30, z)(
          40, textHeight)(1, attributes[i].value);
    }
    dxf(0, "INSERT")(8, layer).Integer(66, 1)(2, "POINT")(10, p.xy.y)(20, p.xy.x)(30, z);
    for (std::size_t i = 0; i < 3; ++i)
      AttributeText(dxf, "ATTRIB", layer, p.xy.y, p.xy.x - 1.5 * textHeight * static_cast<double>(i),
                    z, textHeight, attributes[i]);
    dxf(0, "SEQEND")(8, layer);
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
