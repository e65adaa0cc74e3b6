// The texts of numbers and angles that every writer shares, so that a figure
// reads the same in the text report, the CSV, the JSON and the plan.
#pragma once

#include <cstddef>
#include <string>

#include "adjustment/job.hpp"
#include "numbers/shortest_text.hpp"

namespace traverse {

// x with `decimals` decimals by our own fixed-point writer; a value that
// rounds to zero has no minus sign.
std::string FixedText(double x, int decimals);

// The decimal text of an integer.
std::string IntegerText(int value);

// The name of the unit angles are reported in: "gon" or "deg".
const char* UnitName(AngleUnit unit);

// The name of the small unit: "cc" or "arcsec".
const char* SmallUnitName(AngleUnit unit);

// A value in gon as text in the report's unit, to about 0.1 cc or 0.04 arcsec.
std::string AngleText(double gon, AngleUnit unit);

// A value in gon as degrees, minutes and seconds to 0.01" (or `decimals`
// of a second), as a D-M-S reading is typed: "123-04-05.60", "-0-00-01.50".
std::string DmsText(double gon, int decimals = 2);

// A value in gon as text in the small unit (cc or arc seconds).
std::string SmallAngleText(double gon, AngleUnit unit, int decimals = 1);

}  // namespace traverse
