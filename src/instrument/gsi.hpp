// Leica GSI-8 and GSI-16: a block of words per line, each word a word index
// (WI), four information characters (the last the units of its value), a
// sign and 8 or 16 characters of data. Setups start at a code block (41)
// whose 42 names the station and 43 gives the instrument height, or at a
// line holding station coordinates (84-86) or the instrument height (88);
// the lines after it with a circle reading (21) are its pointings.
#pragma once

#include <string>
#include <string_view>

#include "adjustment/survey.hpp"
#include "instrument/raw_formats.hpp"

namespace traverse {

// Whether the text's first record (blanks before it passed over) is a GSI
// word: an optional '*', two digits, four information characters, a sign.
bool OpensGsi(std::string_view firstRecord);

// The GSI file's control (coordinate lines with no observation) and setups.
// Coordinates the instrument computed are checks, said in the book's notes
// with their difference from the radial computation; so are the ppm and
// prism constant each setup records. Throws JobError naming the line, the
// word and its WI at fault.
Book ReadGsi(std::string_view text, const std::string& source, const RawOptions& options);

}  // namespace traverse
