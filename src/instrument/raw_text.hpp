// What every instrument reader shares beside the readers' own pieces
// (input/tokens.hpp, whose TextLines takes a bare CR as a line end for
// them): names and notes made valid UTF-8 whatever code page the collector
// wrote them in.
#pragma once

#include <string>
#include <string_view>

#include "instrument/raw_formats.hpp"

namespace traverse {

// `bytes` as they are where they are valid UTF-8, otherwise every byte read
// in `encoding`: always valid UTF-8.
std::string ToUtf8(std::string_view bytes, TextEncoding encoding);

}  // namespace traverse
