#include "adjustment/job.hpp"

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

bool ClosesOnD(TraverseKind kind) {
  return kind == TraverseKind::Connecting || kind == TraverseKind::Loop;
}

int LegCount(TraverseKind kind, int angles) {
  return ClosesOnD(kind) ? angles - 1 : angles;
}

int NewPointCount(TraverseKind kind, int angles) {
  return kind == TraverseKind::Open ? angles : LegCount(kind, angles) - 1;
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
