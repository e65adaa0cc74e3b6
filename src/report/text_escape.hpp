// Text from the input (the source name, notes) made safe for each output: the
// name may be in any encoding the file system gave us, but JSON and SVG must
// be valid UTF-8 and the text report's columns are counted in characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace traverse {

// text with every byte that does not belong to a well-formed UTF-8 sequence
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// The number of code points in UTF-8 text (what a terminal shows as columns
// for the characters we print).
std::size_t CodePointCount(std::string_view text);

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// text escaped for XML character data and attribute values; control
// characters, which XML 1.0 cannot hold at all, become U+FFFD.
std::string XmlText(std::string_view text);
// XmlText(text) appended to `out`.
void AppendXmlText(std::string& out, std::string_view text);

// text for a DXF drawing: printable ASCII as it is, every other character
// as \U+XXXX (R12's spelling; beyond U+FFFF its UTF-16 pair), a byte of no
// well-formed sequence as U+FFFD.
std::string DxfText(std::string_view text);

// text as an R12 layer name: letters upper-cased, digits, '$', '-' and '_'
// as they are, any other character '_', at most 31 characters.
std::string DxfLayerName(std::string_view text);

}  // namespace traverse
