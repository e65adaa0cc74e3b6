// The shortest decimal text of a double that reads back to the same double,
// written fast: the numbers of the JSON report and the scale in the text
// report. The dialogue's own number writing is in console/.
#pragma once

#include <cstddef>
#include <string>

namespace traverse {

// The shortest decimal text that reads back to exactly x (x finite).
std::string ShortestText(double x);

// Room WriteShortest needs: the longest shortest text has 24 characters
// ("-2.2250738585072014e-308"), and the writing moves its digits in blocks
// that may run past the end of the text.
inline constexpr std::size_t ShortestTextCapacity = 48;

// Writes ShortestText(x) at `text` (room for ShortestTextCapacity characters;
// what lies past the text's end is left undefined) and returns the end of the
// text: fixed notation where that is no longer than scientific (d.ddde+XX),
// the digits the closest to x of the fewest that read back to it.
char* WriteShortest(double x, char* text);

}  // namespace traverse
