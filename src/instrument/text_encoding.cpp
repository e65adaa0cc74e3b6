// Single-byte text to UTF-8; the CP1251 upper half from the Windows code
// page's published table.
#include "instrument/text_encoding.hpp"

#include <array>
#include <cstdint>

#include "input/tokens.hpp"

namespace traverse {
namespace {

// CP1251 0x80-0xBF; 0xC0-0xFF are U+0410-U+044F in order. 0x98 is unassigned.
constexpr std::array<std::uint16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

void Append(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

RawLines::RawLines(std::string_view text) : text_(WithoutByteOrderMark(text)) {}

bool RawLines::Next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  ++number_;
  std::size_t end = at_;
  while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
  line = text_.substr(at_, end - at_);
  at_ = end + 1;
  if (end < text_.size() && text_[end] == '\r') {
    std::size_t crs = end;
    while (crs < text_.size() && text_[crs] == '\r') ++crs;
    if (crs < text_.size() && text_[crs] == '\n') at_ = crs + 1;
  }
  return true;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if ((b & 0xE0) == 0xC0) {
      length = 2, code = b & 0x1Fu, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      length = 3, code = b & 0x0Fu, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      length = 4, code = b & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string ToUtf8(std::string_view bytes, TextEncoding encoding) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80 || encoding == TextEncoding::Latin1)
      Append(out, b);
    else if (b >= 0xC0)
      Append(out, 0x0410u + (b - 0xC0u));
    else
      Append(out, kCp1251High[b - 0x80u]);
  }
  return out;
}

}  // namespace traverse
