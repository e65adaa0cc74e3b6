// `traverse adjust` on a projected grid: a published traverse reproduced
// from its book, the same book without its grid missing by what the
// publication implies, the height factor, and what is refused.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

using nlohmann::json;

ChildRun Adjust(std::vector<std::string> arguments, const std::string& input) {
  arguments.insert(arguments.begin(), "adjust");
  ChildSetup setup;
  setup.input = input;
  setup.arguments = std::move(arguments);
  return RunChild(PROGRAM_UNDER_TEST, setup);
}

json AdjustJson(const std::string& book, std::vector<std::string> arguments = {}) {
  arguments.insert(arguments.end(), {"--format", "json"});
  const ChildRun run = Adjust(arguments, book);
  EXPECT_EQ(run.exitCode, 0) << run.error;
  return json::parse(run.output);
}

double Seconds(double d, double m, double s) { return (d * 3600 + m * 60 + s); }

const json& Known(const json& report, const std::string& name) {
  for (const json& p : report["grid"]["known"])
    if (p["name"] == name) return p;
  throw std::runtime_error("no known point " + name);
}

// Deakin's worked traverse on MGA94 zone 55, figures as published (the
// point scale factor and convergence at Buninyong, the arc-to-chord
// corrections at Buninyong, the line scale factor, Flinders Peak).
TEST(GridTest, PublishedTraverseOnMgaIsReproducedFromItsBook) {
  const std::string book = ReadExample("deakin_mga.book");
  const json report = AdjustJson(book);
  const json& buninyong = Known(report, "Buninyong");
  const json& leg = report["traverses"][0]["legs"][0];
  const json& point = report["points"][0];
  // The convergence is reported as GeographicLib's (grid north's bearing
  // from true north); Australian practice states it with the other sign.
  const struct {
    const char* figure;
    double value, published, tolerance;
  } figures[] = {
      {"k at Buninyong", buninyong["k"], 1.00050567, 5e-9},
      {"convergence at Buninyong [\"]", double(buninyong["convergence"]) * 3600,
       Seconds(1, 52, 43.2188), 0.001},
      {"latitude of Smeaton [\"]", double(Known(report, "Smeaton")["lat"]) * 3600,
       -Seconds(37, 17, 49.7306), 0.0001},
      {"longitude of Smeaton [\"]", double(Known(report, "Smeaton")["lon"]) * 3600,
       Seconds(143, 59, 3.1691), 0.0001},
      // The grid angle less the geodesic one: -20.67" at Flinders Peak's
      // line less +27.17" at Smeaton's; the publication's formula is good
      // to about 0.01" on lines of 40 and 55 km.
      {"arc-to-chord of the angle [\"]", double(report["traverses"][0]["arc_to_chord"][0]) * 3600,
       -(20.6729 + 27.1728), 0.01},
      {"line scale factor", leg["scale_factor"], 1.00036397, 2e-8},
      {"height factor", leg["height_factor"], 1, 0},
      {"grid length [m]", leg["grid_length"], 54992.169, 0.002},
      {"Flinders Peak N [m]", point["x"], 5796490.266, 0.002},
      {"Flinders Peak E [m]", point["y"], 273741.501, 0.002},
  };
  for (const auto& f : figures) EXPECT_NEAR(f.value, f.published, f.tolerance) << f.figure;
  EXPECT_EQ(report["grid"]["epsg"], 28355);
  EXPECT_EQ(report["grid"]["ellipsoid"], "GRS 1980");
}

// Without its grid the book puts Flinders Peak off by the published line
// scale factor along the line and the published arc-to-chord corrections
// across it.
TEST(GridTest, TheSameBookWithoutItsGridMissesByWhatThePublicationImplies) {
  std::string book = ReadExample("deakin_mga.book");
  book.erase(book.find("grid epsg:28355"), std::string("grid epsg:28355").size());
  const json plane = AdjustJson(book)["points"][0];
  const json grid = AdjustJson(ReadExample("deakin_mga.book"))["points"][0];
  const double s = 54972.161, along = s * (1.00036397 - 1);
  const double across = s * (20.6729 + 27.1728) / 206264.806;
  const double miss = std::hypot(double(grid["x"]) - double(plane["x"]),
                                 double(grid["y"]) - double(plane["y"]));
  EXPECT_NEAR(miss, std::hypot(along, across), 0.01);
  EXPECT_GT(miss, 23);
}

// A height: R/(R+h) with h = H + N, R the radius in the line's azimuth.
TEST(GridTest, HeightsMakeTheHeightFactor) {
  const std::string book =
      "grid utm 33n\npoint A 5300000 500000\npoint B 5300000 501000\n"
      "traverse\n  A\n  B 100 1000\n  P\nend\n";
  const struct {
    std::vector<std::string> arguments;
    std::string geoid;
    double h;
  } cases[] = {
      {{"--mean-height", "1000"}, "", 1000},
      {{"--mean-height", "1000"}, "geoid 20\n", 1020},
      {{}, "", 0},
  };
  for (const auto& c : cases) {
    const json leg = AdjustJson(c.geoid + book, c.arguments)["traverses"][0]["legs"][0];
    const double r = c.h / (1 / double(leg["height_factor"]) - 1);
    if (c.h == 0) {
      EXPECT_EQ(leg["height_factor"], 1);
    } else {
      EXPECT_GT(r, 6335000);  // between the meridian's radius and the normal's at 48 degrees
      EXPECT_LT(r, 6391000);
    }
    EXPECT_NEAR(double(leg["grid_length"]), 1000 * double(leg["combined_factor"]), 1e-9);
  }
}

TEST(GridTest, WhatCannotBeReducedIsRefused) {
  const std::string plain = "point A 0 0\npoint B 0 100\ntraverse\n  A\n  B 100 50\n  P\nend\n";
  const struct {
    std::vector<std::string> arguments;
    std::string book;
    int exitCode;
    const char* says;
  } cases[] = {
      {{"--grid", "utm 33n", "--scale", "1.0001"}, plain, 2, "--scale and --grid exclude each other"},
      {{"--scale", "1.0001"}, "grid utm 33n\n" + plain, 1, "--scale does not apply on a grid"},
      {{"--grid", "utm 61n"}, plain, 2, "a zone from 1 to 60"},
      {{"--grid", "epsg:4326"}, plain, 2, "not in the table"},
      {{"--grid", "tm 0 9 1 3500000 0 hayford"}, plain, 2, "expected an ellipsoid"},
      {{"--mean-height", "10"}, plain, 1, "--mean-height needs a grid"},
      {{}, "point G lat=48-30-00 lon=15 h=300\n" + plain, 1, "needs a grid"},
      {{}, "grid utm 33n\ngrid utm 32n\n" + plain, 1, ":2: the book has a second grid"},
      {{}, "grid utm 33n\npoint G lat=91 lon=15\n" + plain, 1, "at most 90 degrees"},
      {{"--format", "geojson"}, plain, 2, "--format geojson needs a grid"},
      {{"--format", "csv", "--columns", "PLATLON"}, plain, 2, "--columns B and L needs a grid"},
      {{"--format", "csv", "--columns", "PBNB"}, plain, 2, "each once, found 'PBNB'"},
  };
  for (const auto& c : cases) {
    const ChildRun run = Adjust(c.arguments, c.book);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.says << ": " << run.error;
    EXPECT_NE(run.error.find(c.says), std::string::npos) << run.error;
  }
}

}  // namespace
}  // namespace traverse::e2e
