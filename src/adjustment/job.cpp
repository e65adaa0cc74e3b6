#include "adjustment/job.hpp"

#include <cmath>

namespace traverse {
namespace {

// 400 gon = 360 degrees; a cc is 0.0001 gon, an arc second 1/3600 degree.
constexpr long double gonPerDegree = 400.0L / 360.0L;
constexpr long double gonPerCc = 0.0001L;
constexpr long double gonPerArcSecond = gonPerDegree / 3600.0L;

bool InDegrees(AngleUnit unit) {
  return unit != AngleUnit::Gon;
}

}  // namespace

double GridLength(double measured, double scale) {
  return measured * scale;
}

double LengthSigma(const Sigmas& sigmas, double length) {
  return sigmas.lengthMetres / sigmas.metresPerUnit + sigmas.lengthPpm * 1e-6 * length;
}

double MetresPer(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Foot:
      return 0.3048;
    case LengthUnit::UsSurveyFoot:
      return 1200.0 / 3937.0;
    case LengthUnit::Metre:
      break;
  }
  return 1;
}

const char* LengthUnitName(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Foot:
      return "ft";
    case LengthUnit::UsSurveyFoot:
      return "usft";
    case LengthUnit::Metre:
      break;
  }
  return "m";
}

const char* LengthUnitWords(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::Foot:
      return "international feet";
    case LengthUnit::UsSurveyFoot:
      return "US survey feet";
    case LengthUnit::Metre:
      break;
  }
  return "metres";
}

void SetLengthUnit(Settings& settings, LengthUnit unit) {
  settings.length = unit;
  settings.sigmas.metresPerUnit = MetresPer(unit);
}

bool ClosesOnD(TraverseKind kind) {
  return kind == TraverseKind::Connecting || kind == TraverseKind::Loop;
}

int LegCount(TraverseKind kind, int angles) {
  return ClosesOnD(kind) ? angles - 1 : angles;
}

int NewPointCount(TraverseKind kind, int angles) {
  return kind == TraverseKind::Open ? angles : LegCount(kind, angles) - 1;
}

GridPoint PointOnBearing(const GridPoint& from, double gon) {
  constexpr long double radiansPerGon = 3.14159265358979323846264338327950288L / 200;
  const long double t = static_cast<long double>(gon) * radiansPerGon;
  return {static_cast<double>(from.x + 1000 * std::cos(t)),
          static_cast<double>(from.y + 1000 * std::sin(t))};
}

double NormalisedGon(long double gon) {
  long double reduced = std::fmod(gon, 400.0L);
  if (reduced < 0) reduced += 400;
  const double stored = static_cast<double>(reduced);
  return stored >= 400 ? 0 : stored;
}

double GonToUnit(double gon, AngleUnit unit) {
  return InDegrees(unit) ? static_cast<double>(gon / gonPerDegree) : gon;
}

double UnitToGon(double value, AngleUnit unit) {
  return InDegrees(unit) ? static_cast<double>(value * gonPerDegree) : value;
}

double SmallUnitToGon(double value, AngleUnit unit) {
  return static_cast<double>(value * (InDegrees(unit) ? gonPerArcSecond : gonPerCc));
}

double GonToSmallUnit(double gon, AngleUnit unit) {
  return static_cast<double>(gon / (InDegrees(unit) ? gonPerArcSecond : gonPerCc));
}

}  // namespace traverse
