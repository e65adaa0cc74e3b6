// The texts of numbers and angles that every writer shares, so that a figure
// reads the same in the text report, the CSV, the JSON and the plan.
#pragma once

#include <cstddef>
#include <string>

#include "adjustment/job.hpp"

namespace traverse {

// x with `decimals` decimals by our own fixed-point writer; a value that
// rounds to zero has no minus sign.
std::string FixedText(double x, int decimals);

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

// The decimal text of an integer.
std::string IntegerText(int value);

// The name of the unit angles are reported in: "gon" or "deg".
const char* UnitName(AngleUnit unit);

// The name of the small unit: "cc" or "arcsec".
const char* SmallUnitName(AngleUnit unit);

// A value in gon as text in the report's unit, to about 0.1 cc or 0.04 arcsec.
std::string AngleText(double gon, AngleUnit unit);

// A value in gon as text in the small unit (cc or arc seconds).
std::string SmallAngleText(double gon, AngleUnit unit, int decimals = 1);

}  // namespace traverse
