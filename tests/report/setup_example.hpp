// A small book's result with one setup of two rounds and two sideshots, as
// the writers get it; the figures are made up but of the right size.
#pragma once

#include "adjustment/book.hpp"

namespace traverse::testing {

inline Sideshot Shot(std::string name, int line, GridPoint xy) {
  Sideshot shot;
  shot.name = std::move(name);
  shot.from = "S1";
  shot.line = line;
  shot.setupLine = 12;
  shot.xy = xy;
  return shot;
}

inline SetupDirection Direction(std::string target, int line, double direction, int rounds) {
  SetupDirection d;
  d.target = std::move(target);
  d.line = line;
  d.direction = direction;
  d.rounds = rounds;
  return d;
}

inline BookResult SetupBook() {
  BookResult book;
  book.source = "setups.book";
  book.settings.rule = Rule::LeastSquares;
  book.known = {{"S1", {1000, 2000}, 100.0, 2, ""}, {"A", {1100, 2000}, std::nullopt, 3, ""}};
  book.points = {{{"P1", {1050, 2100}, std::nullopt, 0, ""}, PointPrecision{0.002, 0.003, 0.0035, 0.0015, 20}}};

  BookSetup setup;
  setup.station = "S1";
  setup.line = 12;
  setup.hi = 1.55;
  setup.pairs = {{"A", 13, 15, 0.0010, -0.0006}, {"P1", 14, 16, 0.0014, std::nullopt},
                 {"A", 17, 19, 0.0011, -0.0010}, {"P1", 18, 20, 0.0013, std::nullopt}};
  setup.rounds = {{1, 13, 16, 0.0001, false}, {2, 17, 20, 0.0012, true}};
  setup.directions = {Direction("A", 13, 0, 2), Direction("P1", 14, 123.4567, 2),
                      Direction("T1", 21, 210.5, 1), Direction("K2", 22, 300.25, 1)};
  SetupDirection& a = setup.directions[0];
  a.zenith = 100.1, a.slope = 100.0125, a.horizontal = 100.0001, a.dh = -0.1072, a.ht = 1.3;
  setup.directions[1].spread = 0.0008;
  setup.directions[2].oneFace = true;
  setup.directions[2].code = "TREE";
  setup.directions[2].description = "oak, 0.6 m";
  setup.collimation = 0.0012;
  setup.indexError = -0.0008;
  setup.directionSigma = 0.0003;
  setup.degreesOfFreedom = 1;
  book.setups = {{setup, 56.789, 0.0002}};

  Sideshot t1 = Shot("T1", 21, {1200.123, 2100.456});
  t1.z = 101.2;
  t1.precision = PointPrecision{0.004, 0.005, 0.006, 0.003, 33.3};
  t1.code = "TREE";
  t1.description = "oak, 0.6 m";
  book.sideshots = {t1, Shot("K2", 22, {950.5, 1900.25})};

  ObservationReport o;
  o.ref = {0, ObservationKind::Direction, 1};
  o.line = 14;
  o.from = "S1";
  o.to = "P1";
  o.setup = 12;
  o.measured = 123.4567;
  o.residual = 0.0002;
  o.sigma = 0.0003;
  o.w = 0.8;
  o.redundancyNumber = 0.5;
  book.network = NetworkReport{};
  book.network->observations = {o};
  return book;
}

}  // namespace traverse::testing
