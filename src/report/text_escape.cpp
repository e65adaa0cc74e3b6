#include "report/text_escape.hpp"

#include <cstdint>

namespace traverse {
namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at text[at], or 0. Overlong
// forms, surrogates and values above U+10FFFF are not well-formed.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

// Whether text is ASCII throughout, so valid as it is (the common case).
bool Ascii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  if (Ascii(text)) return std::string(text);
  std::string valid;
  valid.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      valid += ReplacementCharacter;
      ++at;
    } else {
      valid += text.substr(at, length);
      at += length;
    }
  }
  return valid;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    // Every byte but a continuation byte starts a character.
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string JsonString(std::string_view text) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string literal = "\"";
  for (const char c : ValidUtf8(text)) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      literal += '\\';
      literal += c;
    } else if (c == '\n') {
      literal += "\\n";
    } else if (c == '\t') {
      literal += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      literal += "\\u00";
      literal += Hex[byte >> 4];
      literal += Hex[byte & 0xF];
    } else {
      literal += c;
    }
  }
  literal += '"';
  return literal;
}

std::string XmlText(std::string_view text) {
  std::string escaped;
  AppendXmlText(escaped, text);
  return escaped;
}

void AppendXmlText(std::string& out, std::string_view text) {
  const auto plain = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x80 && c != '&' && c != '<' && c != '>' && c != '"' &&
           c != '\'';
  };
  bool allPlain = true;
  for (const char c : text) allPlain = allPlain && plain(c);
  if (allPlain) {
    out += text;
    return;
  }
  for (const char c : ValidUtf8(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += ReplacementCharacter;
        } else {
          out += c;
        }
    }
  }
}

std::string DxfText(std::string_view text) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string out;
  const auto unit = [&](std::uint32_t code) {
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += Hex[(code >> shift) & 0xF];
  };
  const std::string valid = ValidUtf8(text);
  for (std::size_t at = 0; at < valid.size();) {
    const auto lead = static_cast<unsigned char>(valid[at]);
    if (lead >= 0x20 && lead < 0x7F) {
      out += valid[at++];
      continue;
    }
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k)
      code = (code << 6) | (static_cast<unsigned char>(valid[at + k]) & 0x3Fu);
    at += length;
    if (code > 0xFFFF) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
  }
  return out;
}

std::string DxfLayerName(std::string_view text) {
  std::string name;
  for (const char c : text) {
    if (name.size() == 31) break;
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) == 0x80) continue;  // a character beyond ASCII is one '_'
    if (byte >= 'a' && byte <= 'z') {
      name += static_cast<char>(byte - 'a' + 'A');
    } else if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '$' ||
               c == '-' || c == '_') {
      name += c;
    } else {
      name += '_';
    }
  }
  return name;
}

}  // namespace traverse
