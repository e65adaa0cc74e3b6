// The plan: rsvg-convert must draw every kind, also the degenerate ones, and
// the labels, factors and scale of the worked example are checked by text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "report/worked_example.hpp"
#include "report/writers.hpp"

namespace traverse {
namespace {

// Whether rsvg-convert turns the SVG into a PNG without complaint.
bool Renders(const std::string& svg, const std::string& name) {
  // Named afresh, so that test runs side by side do not share files.
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  const std::string stem = "traverse_plan_" + std::to_string(std::random_device{}()) + "_" + name;
  const std::filesystem::path input = folder / (stem + ".svg");
  const std::filesystem::path output = folder / (stem + ".png");
  std::ofstream(input, std::ios::binary) << svg;
  const std::string command =
      "rsvg-convert '" + input.string() + "' -o '" + output.string() + "' 2>/dev/null";
  const bool drawn = std::system(command.c_str()) == 0 && std::filesystem::file_size(output) > 0;
  std::filesystem::remove(input);
  std::filesystem::remove(output);
  return drawn;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

TEST(Svg, EveryKindRendersWithFiniteNumbers) {
#ifdef _WIN32
  const bool canRender = false;  // no rsvg-convert in the Windows build
#else
  const bool canRender = std::system("command -v rsvg-convert >/dev/null 2>&1") == 0;
#endif
  Job job = testing::WorkedJob();
  job.source = "<plan & \"name\">\x01\xE9";
  const Adjustment connecting = testing::WorkedLeastSquares();
  Adjustment loop = testing::WorkedCompass();
  loop.kind = TraverseKind::Loop;
  Adjustment open = testing::WorkedCompass();
  open.kind = TraverseKind::Open;
  open.linear.reset();
  Adjustment empty = open;
  empty.points.clear();
  empty.legs.clear();
  Adjustment stacked = testing::WorkedLeastSquares();  // every point on B, no misclosure
  stacked.points = {job.b, job.b};
  stacked.linear->length = 0;
  Adjustment wild = testing::WorkedLeastSquares();
  wild.points = {{1e300, -1e300}, {std::numeric_limits<double>::quiet_NaN(), 0}};
  wild.linear->length = 5e-324;
  const struct {
    const char* name;
    const Adjustment& result;
  } cases[] = {{"connecting", connecting}, {"loop", loop},       {"open", open},
               {"empty", empty},           {"stacked", stacked}, {"wild", wild}};
  for (const auto& c : cases) {
    const std::string svg = FormatSvg(AnswerFileResult(job, c.result), {});
    EXPECT_EQ(svg, FormatSvg(AnswerFileResult(job, c.result), {})) << c.name;
    // rsvg-convert lets an attribute of "+Inf" pass; a stricter viewer would not.
    EXPECT_FALSE(Contains(svg, "Inf") || Contains(svg, "Nan")) << c.name << "\n" << svg;
    if (canRender) {
      EXPECT_TRUE(Renders(svg, c.name)) << c.name << "\n" << svg;
    }
  }
  if (!canRender) GTEST_SKIP() << "rsvg-convert is not at hand; the plans were not drawn";
}

TEST(Svg, WorkedExampleLabelsAndFactors) {
  const Job job = testing::WorkedJob();
  const std::string svg = FormatSvg(AnswerFileResult(job, testing::WorkedLeastSquares()), {});
  EXPECT_TRUE(Contains(svg, "xmlns=\"http://www.w3.org/2000/svg\""));
  // The grid's ticks on both axes: X at the left, Y along the top.
  for (const char* label : {">A<", ">B<", ">C<", ">D<", ">1<", ">2<", ">200 m<", ">X 5000<", ">Y 3000<",
                            "misclosure fL 0.0104 m, drawn \xC3\x97"
                            "10000<",
                            "error ellipses (1 sigma) drawn \xC3\x97"
                            "20000<"}) {
    EXPECT_TRUE(Contains(svg, label)) << label;
  }
  Adjustment open = testing::WorkedCompass();
  open.kind = TraverseKind::Open;
  open.linear.reset();
  const std::string openSvg = FormatSvg(AnswerFileResult(job, open), {});
  EXPECT_FALSE(Contains(openSvg, ">C<") || Contains(openSvg, ">D<") ||
               Contains(openSvg, "misclosure") || Contains(openSvg, "<ellipse"));
  EXPECT_TRUE(Contains(openSvg, "no check"));
}

}  // namespace
}  // namespace traverse
