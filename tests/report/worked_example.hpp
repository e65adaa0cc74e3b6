// The worked example, adjusted by hand, as the writers' input: a connecting
// traverse of four angles and three legs, and the same with a least-squares
// outcome whose figures are made up but of the right size.
#pragma once

#include "adjustment/adjustment.hpp"
#include "adjustment/job.hpp"

namespace traverse::testing {

inline Job WorkedJob() {
  Job job;
  job.source = "worked.txt";
  job.a = {4800.000, 2850.000};
  job.b = {5000.000, 3000.000};
  job.c = {5165.381, 3770.824};
  job.d = {4882.538, 4053.667};
  job.angles = {219.0346, 250.0008, 174.9991, 265.0013};
  job.lengths = {250.012, 299.987, 280.009};
  job.settings.angularTolerance = AngularTolerance{30, 10};
  job.settings.linearTolerance = 5000;
  return job;
}

inline Adjustment WorkedCompass() {
  Adjustment r;
  r.startBearing = 40.9665529398;
  r.endBearing = 150.0;
  r.measuredAngleSum = 909.0358;
  r.requiredAngleSum = 909.0334470602;
  r.angularMisclosure = 0.0023529398;
  r.angleCorrection = -0.00058823495;
  r.correctedAngles = {219.03401176505, 250.00021176505, 174.99851176505, 265.00071176505};
  r.legs = {{60.0005647049, 250.012, 146.9515723356, 202.2652603195, -0.0025602319, -0.0017917411},
            {110.0007764699, 299.987, -46.9319196835, 296.2930898348, -0.0030719977, -0.0021498929},
            {84.9992882350, 280.009, 65.3698469917, 272.2715981980, -0.0028674142, -0.0020067182}};
  r.linear = LinearMisclosure{0.0084996438,  0.0059483522, 0.0103743356,
                              38.8729920453, 0.0075990268, -0.0070626929};
  r.totalLength = 830.008;
  r.relativePrecision = 80005.8947;
  r.angularVerdict = Verdict{50, 23.529398, true};
  r.linearVerdict = Verdict{5000, 80005.8947, true};
  r.points = {{5146.9490121037, 3202.2634685784}, {5100.0140204225, 3498.5544085202}};
  return r;
}

inline Adjustment WorkedLeastSquares() {
  Adjustment r = WorkedCompass();
  r.rule = Rule::LeastSquares;
  LeastSquaresResult ls;
  ls.sigma0 = 1.42;
  ls.redundancy = 3;
  ls.iterations = 3;
  ls.globalTest = {6.05, 0.216, 9.348, true};
  const double angleSigma = 0.0010;
  const double measured[] = {219.0346, 250.0008, 174.9991, 265.0013};
  const double residuals[] = {-0.00041, -0.00052, -0.00110, -0.00033};
  const double ws[] = {-0.61, -0.77, -4.12, -0.49};
  auto observation = [&](ObservationKind kind, int index, double m, double v, double sigma,
                         double w, double redundancyNumber) {
    ObservationReport o;
    o.ref = {ls.observations.size(), kind, index};
    o.measured = m;
    o.residual = v;
    o.sigma = sigma;
    o.w = w;
    o.redundancyNumber = redundancyNumber;
    ls.observations.push_back(o);
  };
  for (int i = 0; i < 4; ++i)
    observation(ObservationKind::Angle, i + 1, measured[i], residuals[i], angleSigma, ws[i], 0.4);
  for (int i = 0; i < 3; ++i)
    observation(ObservationKind::Distance, i + 1, r.legs[static_cast<std::size_t>(i)].length,
                -0.0021, 0.0035, -0.98, 0.6);
  ls.precision = {{0.0021, 0.0018, 0.0024, 0.0014, 135.2}, {0.0019, 0.0023, 0.0026, 0.0015, 72.9}};
  ls.points = r.points;
  r.leastSquares = ls;
  r.suspect = Suspect{{2, ObservationKind::Angle, 3}, -4.12, {{5, ObservationKind::Distance, 2}}};
  r.expected = ExpectedMisclosure{0.0020, 0.0031, 0.0042, 1.18, 2.45, 1.68};
  return r;
}

}  // namespace traverse::testing
