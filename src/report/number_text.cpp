#include "report/number_text.hpp"

#include <cmath>
#include <cstdint>

#include "console/number_writing.hpp"

namespace traverse {

std::string FixedText(double x, int decimals) {
  char text[FixedTextCapacity];
  std::size_t length = FormatFixed(x, 0, static_cast<std::int32_t>(decimals), text);
  // FormatFixed keeps the sign of -0 and of tiny negatives, which a surveyor
  // reads as a correction that is not there.
  if (length > 1 && text[0] == '-') {
    bool allZero = true;
    for (std::size_t i = 1; i < length; ++i) {
      if (text[i] != '0' && text[i] != '.') allZero = false;
    }
    if (allZero) return std::string(text + 1, length - 1);
  }
  return std::string(text, length);
}

std::string IntegerText(int value) {
  char text[IntegerTextCapacity];
  return std::string(text, FormatInteger(static_cast<std::int32_t>(value), text));
}

const char* UnitName(AngleUnit unit) {
  return unit == AngleUnit::Gon ? "gon" : "deg";
}

const char* SmallUnitName(AngleUnit unit) {
  return unit == AngleUnit::Gon ? "cc" : "arcsec";
}

std::string AngleText(double gon, AngleUnit unit) {
  // 0.1 cc is 0.00001 gon; 0.000001 deg is 0.0036 arcsec, the nearest
  // decimal place that does not hide a tenth of a second.
  return FixedText(GonToUnit(gon, unit), unit == AngleUnit::Gon ? 5 : 6);
}

std::string SmallAngleText(double gon, AngleUnit unit, int decimals) {
  return FixedText(GonToSmallUnit(gon, unit), decimals);
}

std::string DmsText(double gon, int decimals) {
  const double degrees = GonToUnit(gon, AngleUnit::Degree);
  if (!std::isfinite(degrees)) return FixedText(degrees, decimals);
  // In the last decimal of the seconds, rounded once, so that 59.999" carries
  // into the minute instead of printing as 60.00".
  const long double perSecond = std::pow(10.0L, decimals);
  const long double perMinute = 60 * perSecond, perDegree = 3600 * perSecond;
  const long double units = std::round(std::fabs(static_cast<long double>(degrees)) * perDegree);
  const long double whole = std::floor(units / perDegree);
  const long double rest = units - whole * perDegree;
  const int minutes = static_cast<int>(rest / perMinute);
  const double seconds = static_cast<double>((rest - minutes * perMinute) / perSecond);
  std::string text = (degrees < 0 && units > 0 ? "-" : "") + FixedText(static_cast<double>(whole), 0);
  text += minutes < 10 ? "-0" : "-";
  text += IntegerText(minutes);
  text += seconds < 10 ? "-0" : "-";
  return text + FixedText(seconds, decimals);
}

}  // namespace traverse
