#include "input/landxml_points.hpp"

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>

#include "adjustment/job_error.hpp"
#include "input/tokens.hpp"

namespace traverse {
namespace {

// A node's name without its namespace prefix: a file may bind LandXML's
// namespace to any prefix.
std::string_view LocalName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The line of each byte offset of the text, from the offsets of its line ends.
class LineOf {
 public:
  explicit LineOf(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') ends_.push_back(static_cast<std::ptrdiff_t>(i));
  }
  int operator()(std::ptrdiff_t offset) const {
    return 1 + static_cast<int>(std::lower_bound(ends_.begin(), ends_.end(), offset) - ends_.begin());
  }

 private:
  std::vector<std::ptrdiff_t> ends_;
};

void ReadCgPoints(const pugi::xml_node& parent, const std::string& file, const LineOf& lineOf,
                  std::vector<NamedPoint>& points) {
  for (const pugi::xml_node& node : parent.children()) {
    if (node.type() != pugi::node_element) continue;
    if (LocalName(node) != "CgPoint") {
      ReadCgPoints(node, file, lineOf, points);  // CgPoints within CgPoints
      continue;
    }
    const int line = lineOf(node.offset_debug());
    const std::string_view text = Trim(node.child_value());
    if (text.empty() && node.attribute("pntRef")) continue;  // a reference to a point elsewhere
    NamedPoint point;
    point.name = node.attribute("name").value();
    if (point.name.empty()) throw JobError(file, line, "a CgPoint without a name");
    if (point.name.find_first_of(" \t\r\n") != std::string::npos)
      throw JobError(file, line, "expected a point name without blanks, found " + Quoted(point.name));
    point.description = node.attribute("desc").value();
    if (point.description.empty()) point.description = node.attribute("code").value();
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t start = text.find_first_not_of(" \t\r\n", at);
      if (start == std::string_view::npos) break;
      const std::size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
      words.push_back(text.substr(start, end - start));
      at = end;
    }
    if (words.size() < 2 || words.size() > 3)
      throw JobError(file, line, "the CgPoint '" + point.name + "': expected 'N E' or 'N E Z', found " +
                                     Quoted(text));
    try {
      point.xy.x = ParseNumber(words[0], "the north of '" + point.name + "'", line);
      point.xy.y = ParseNumber(words[1], "the east of '" + point.name + "'", line);
      if (words.size() == 3) point.z = ParseNumber(words[2], "the height of '" + point.name + "'", line);
    } catch (const JobError& error) {
      throw JobError(file, line, error.what());
    }
    point.line = line;
    points.push_back(std::move(point));
  }
}

}  // namespace

bool IsXml(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '<';
}

std::vector<NamedPoint> ReadLandXmlPoints(std::string_view text, const std::string& file) {
  const LineOf lineOf(text);
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed)
    throw JobError(file, lineOf(parsed.offset),
                   std::string("is no well-formed XML: ") + parsed.description());
  const pugi::xml_node root = document.document_element();
  if (LocalName(root) != "LandXML")
    throw JobError(file, lineOf(root.offset_debug()),
                   "is no LandXML file: its root element is <" + std::string(root.name()) + ">");
  std::vector<NamedPoint> points;
  for (const pugi::xml_node& node : root.children())
    if (node.type() == pugi::node_element && LocalName(node) == "CgPoints")
      ReadCgPoints(node, file, lineOf, points);
  if (points.empty())
    throw JobError(file, lineOf(root.offset_debug()), "the LandXML file has no CgPoint with coordinates");
  return points;
}

}  // namespace traverse
