// Writing a Book of known points and setups as the field book that reads
// back to it: what `traverse convert` gives for an instrument file, for the
// surveyor to review and edit.
#pragma once

#include <string>

#include "adjustment/survey.hpp"

namespace traverse {

// The book's text: `header` and its notes as comments, `unit gon`, a `point`
// record per known point and a `setup` block per setup with every reading,
// each number the shortest text that reads back to the same double. Throws
// JobError for a name or code that no field book can hold (a blank, '#' or
// '"' in it, or a keyword), naming its line.
std::string WriteFieldBook(const Book& book, const std::string& header);

}  // namespace traverse
