// Known points from a LandXML file's CgPoints, as a CAD program or this
// program writes them: `points FILE.xml` in a book.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "adjustment/survey.hpp"

namespace traverse {

// Whether `text` opens as XML: a '<' first, after a byte-order mark and blanks.
bool IsXml(std::string_view text);

// Every CgPoint of a LandXML document that has coordinates ("N E [Z]"), as
// a known point with its name, description (desc, else code) and line; a
// CgPoint that only refers to another (pntRef) is passed over. Throws
// JobError naming `file` and the line of text that is no well-formed XML,
// no LandXML, or a CgPoint without name or with bad coordinates.
std::vector<NamedPoint> ReadLandXmlPoints(std::string_view text, const std::string& file);

}  // namespace traverse
