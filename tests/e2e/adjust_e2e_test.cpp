// `traverse adjust` as a surveyor runs it: the worked example's compass
// report gives the dialogue's very doubles; the transit rule, degrees, DMS,
// and the kinds without end orientation, open and loop each reproduce an
// independently computed example; bad input and usage fail with one clear
// line and their exit codes; an output file is never left half-written; a
// published least-squares traverse comes out as printed.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/cpu_emulation.hpp"
#include "child_process.hpp"

namespace traverse::e2e {
namespace {

using nlohmann::json;

ChildRun RunWith(const std::vector<std::string>& arguments, const std::string& input) {
  ChildSetup setup;
  setup.input = input;
  setup.arguments = arguments;
  setup.timeLimit = 60;
  return RunChild(PROGRAM_UNDER_TEST, setup);
}

ChildRun Adjust(std::vector<std::string> arguments, const std::string& input) {
  arguments.insert(arguments.begin(), "adjust");
  return RunWith(arguments, input);
}

// The worked example's answers, one per line: A, B, C, D, side, count, the
// angles and the lengths, then the empty line of the exit prompt.
std::vector<std::string> WorkedLines() {
  return {"4800.000", "2850.000", "5000.000", "3000.000", "5165.381", "3770.824",
          "4882.538", "4053.667", "left",     "4",        "219.0346", "250.0008",
          "174.9991", "265.0013", "250.012",  "299.987",  "280.009",  ""};
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(AdjustEndToEnd, WorkedExampleGivesTheDialoguesDoubles) {
  for (const char* example : {"worked_left.txt", "worked_right.txt"}) {
    SCOPED_TRACE(example);
    const std::string answers = ReadExample(example);
    const ChildRun csv = Adjust({"--format", "csv", "--decimals", "2"}, answers);
    ASSERT_EQ(csv.exitCode, 0) << csv.error;
    // The dialogue's result lines, to the same two decimals.
    EXPECT_EQ(csv.output, "point,x,y\n1,5146.95,3202.26\n2,5100.01,3498.55\n");

    const ChildRun run = Adjust({"--format", "json", "-"}, answers);
    ASSERT_EQ(run.exitCode, 0) << run.error;
    const json report = json::parse(run.output);
    const bool left = std::string(example) == "worked_left.txt";
    EXPECT_EQ(report["kind"], "connecting");
    EXPECT_EQ(report["rule"], "compass");
    EXPECT_NEAR(report["angular_misclosure"].get<double>(), left ? 0.0023529 : -0.0023529, 5e-8);
    EXPECT_NEAR(report["linear_misclosure"]["x"].get<double>(), 0.00850, 5e-6);
    EXPECT_NEAR(report["linear_misclosure"]["y"].get<double>(), 0.00595, 5e-6);
    EXPECT_NEAR(report["relative_precision"].get<double>(), 80006, 1);
    if (testing::UnderCpuEmulation()) continue;  // the x87 sine and cosine differ there
    // The very bits the dialogue computes (its exact tests hold the same).
    EXPECT_EQ(report["angular_misclosure"].get<double>(),
              left ? 0x1.34678f3580000p-9 : -0x1.34678f3580000p-9);
    EXPECT_EQ(report["linear_misclosure"]["x"].get<double>(), 0x1.16842e16bc000p-7);
    EXPECT_EQ(report["linear_misclosure"]["y"].get<double>(), 0x1.85d4ca2440000p-8);
    EXPECT_EQ(report["points"][0]["x"].get<double>(), 0x1.41af2f2750cd9p+12);
    EXPECT_EQ(report["points"][0]["y"].get<double>(), 0x1.90486e55a7f6dp+11);
    EXPECT_EQ(report["points"][1]["x"].get<double>(), 0x1.3ec0396d7a83fp+12);
    EXPECT_EQ(report["points"][1]["y"].get<double>(), 0x1.b551bdb6efddfp+11);
  }
}

// The expected figures come from an independent computation in plain double
// arithmetic (bearings by atan2, the rules as the textbooks write them), so
// they agree with the program to far below a millimetre.
struct KindCase {
  const char* name;
  std::vector<std::string> arguments;
  std::vector<std::string> lines;
  const char* kind;
  bool angular;  // whether there is an angular misclosure
  std::vector<std::pair<double, double>> points;
};

std::vector<std::string> WithoutD() {
  std::vector<std::string> lines = WorkedLines();
  lines.erase(lines.begin() + 6, lines.begin() + 8);  // D
  lines[7] = "3";                                     // the count
  lines.erase(lines.begin() + 11);                    // the angle at C
  return lines;
}

std::vector<std::string> WithoutCD() {
  std::vector<std::string> lines = WithoutD();
  lines.erase(lines.begin() + 4, lines.begin() + 6);  // C
  return lines;
}

std::vector<std::string> InDegrees(bool dms) {
  std::vector<std::string> lines = WorkedLines();
  const char* angles[2][4] = {{"197.13114", "225.00072", "157.49919", "238.50117"},
                              {"197-07-52.104", "225-0-2.592", "157-29-57.084", "238-30-4.212"}};
  for (int i = 0; i < 4; ++i) lines[static_cast<std::size_t>(10 + i)] = angles[dms][i];
  return lines;
}

// A 100 m square run round from B and back to it, oriented on A both ends,
// with small errors in every angle and length.
std::vector<std::string> Loop() {
  return {"900",      "1000",    "1000",   "1000",    "1000",   "1000",     "900",
          "1000",     "left",    "5",      "300.002", "99.999", "100.0015", "100.0",
          "200.0005", "100.004", "99.998", "100.003", "99.997"};
}

TEST(AdjustEndToEnd, RulesUnitsAndKindsReproduceTheirExamples) {
  const std::vector<std::pair<double, double>> compass = {{5146.949012103688, 3202.263468578391},
                                                          {5100.014020422531, 3498.5544085202127}};
  const KindCase cases[] = {
      {"transit",
       {"--rule", "transit"},
       WorkedLines(),
       "connecting",
       true,
       {{5146.946754515188, 3202.2636994758514}, {5100.01329616454, 3498.554502871608}}},
      {"bowditch, grads", {"--rule", "bowditch", "--unit", "grads"}, WorkedLines(), "connecting",
       true, compass},
      {"degrees", {"--unit", "deg"}, InDegrees(false), "connecting", true, compass},
      {"dms", {"--unit", "dms"}, InDegrees(true), "connecting", true, compass},
      {"no end orientation",
       {"--no-end-orientation"},
       WithoutD(),
       "no-end-orientation",
       false,
       {{5146.951628818622, 3202.264132874055}, {5100.016543949647, 3498.5533733128095}}},
      {"open",
       {"--open"},
       WithoutCD(),
       "open",
       false,
       {{5146.949703403738, 3202.266618139409},
        {5100.012308247916, 3498.558840624216},
        {5165.374607867794, 3770.832250764467}}},
      {"loop",
       {},
       Loop(),
       "loop",
       true,
       {{999.9978257012438, 1100.0038677827015},
        {1099.9958506033217, 1100.0034214445338},
        {1099.996975097554, 1000.0002892587842}}},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--format", "json"});
    const ChildRun run = Adjust(arguments, Joined(c.lines));
    ASSERT_EQ(run.exitCode, 0) << run.error;
    const json report = json::parse(run.output);
    EXPECT_EQ(report["kind"], c.kind);
    EXPECT_EQ(report["angular_misclosure"].is_null(), !c.angular);
    EXPECT_EQ(report["linear_misclosure"].is_null(), std::string(c.kind) == "open");
    ASSERT_EQ(report["points"].size(), c.points.size());
    for (std::size_t i = 0; i < c.points.size(); ++i) {
      EXPECT_EQ(report["points"][i]["number"], i + 1);
      EXPECT_NEAR(report["points"][i]["x"].get<double>(), c.points[i].first, 1e-6);
      EXPECT_NEAR(report["points"][i]["y"].get<double>(), c.points[i].second, 1e-6);
    }
  }
}

TEST(AdjustEndToEnd, MisclosureSplitsAlongAndAcrossTheLineBToC) {
  const ChildRun run = Adjust({"--format", "json"}, Joined(WorkedLines()));
  ASSERT_EQ(run.exitCode, 0) << run.error;
  const json linear = json::parse(run.output)["linear_misclosure"];
  EXPECT_NEAR(linear["along"].get<double>(), 0.007599026752704368, 1e-9);
  EXPECT_NEAR(linear["across"].get<double>(), -0.007062692906092196, 1e-9);
  EXPECT_NEAR(linear["length"].get<double>(), 0.010374335577475876, 1e-9);

  const ChildRun loop = Adjust({"--format", "json"}, Joined(Loop()));
  const json loopLinear = json::parse(loop.output)["linear_misclosure"];
  EXPECT_TRUE(loopLinear["along"].is_null());
  EXPECT_TRUE(loopLinear["across"].is_null());
}

// F. Krumm, Geodetic Network Adjustment Examples, Rev. 3.5, 20 January 2020,
// Geodätisches Institut, Universität Stuttgart, the traverse "as a fix network"
// (https://www.gis.uni-stuttgart.de/lehre/campus-docs/adjustment_examples.pdf;
// data and adjusted coordinates also in GNU Gama's tests/krumm/input/2D/
// Krumm_Traverse1.dat and .adj). The book's x is East: it is our Y. Published:
// coordinates to 0.1 mm, a-posteriori standard deviations to 0.01 mm, so each
// must hold to half a unit of its last digit.
TEST(AdjustEndToEnd, PublishedLeastSquaresTraverse) {
  struct Published {
    double x, sx, y, sy;
  };
  const Published points[] = {{2347.8218, 0.00999, 8231.2745, 0.01403},   // C
                              {2239.7178, 0.00860, 7982.4237, 0.01503}};  // D
  const ChildRun run = Adjust({"--rule", "least-squares", "--unit", "dms", "--sigma-angle", "10",
                               "--sigma-length", "16,0", "--format", "json", "-"},
                              ReadExample("krumm_traverse.txt"));
  ASSERT_EQ(run.exitCode, 0) << run.error;
  const json report = json::parse(run.output);
  EXPECT_EQ(report["least_squares"]["redundancy"], 3);
  ASSERT_EQ(report["points"].size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i + 1);
    const json& point = report["points"][i];
    EXPECT_NEAR(point["x"].get<double>(), points[i].x, 0.5e-4);
    EXPECT_NEAR(point["y"].get<double>(), points[i].y, 0.5e-4);
    EXPECT_NEAR(point["sx"].get<double>(), points[i].sx, 0.5e-5);
    EXPECT_NEAR(point["sy"].get<double>(), points[i].sy, 0.5e-5);
  }
}

struct FailureCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string input;
  int exitCode;
  const char* message;  // a regular expression for standard error
};

// The worked example's answers with some lines (0-based) changed.
std::string WithLines(std::initializer_list<std::pair<std::size_t, std::string>> changes) {
  std::vector<std::string> lines = WorkedLines();
  for (const auto& [index, text] : changes) lines[index] = text;
  return Joined(lines);
}

std::string WithLine(std::size_t index, const std::string& text) {
  return WithLines({{index, text}});
}

TEST(AdjustEndToEnd, BadInputAndUsageFailWithOneClearLine) {
  std::vector<std::string> fewer = WorkedLines();
  fewer.resize(15);
  const FailureCase cases[] = {
      {"not a number",
       {},
       WithLine(12, "abc"),
       1,
       "^traverse: standard input:13: the measured angle 3: 'abc' is not a number\n$"},
      {"too few answers",
       {},
       Joined(fewer),
       1,
       "^traverse: standard input:16: the measured length 2: expected an answer, found the end "
       "of the answers\n$"},
      {"minutes of 60",
       {"--unit", "dms"},
       WithLine(10, "219-60-00"),
       1,
       "^traverse: standard input:11: the measured angle 1: '219-60-00' has 60 or more "
       "minutes\n$"},
      {"seconds of 60", {"--unit", "dms"}, WithLine(10, "219-59-60.0"), 1,
       ":11: the measured angle 1: '219-59-60.0' has 60 or more seconds"},
      {"not D-M-S", {"--unit", "dms"}, WithLine(10, "219.5"), 1,
       ":11: the measured angle 1: '219.5' is not an angle D-M-S"},
      {"two words for the count", {}, WithLine(9, "4 angles"), 1,
       ":10: the number of measured angles: expected one answer on the line, found '4 angles'"},
      {"two words for a length", {}, WithLine(15, "250.012 m"), 1,
       ":16: the measured length 2: expected one answer on the line"},
      {"side", {}, WithLine(8, "up"), 1, ":9: the side of the angles: expected 'left' or 'right'"},
      {"count", {}, WithLine(9, "300"), 1, ":10: the number of measured angles: expected 2 to 255"},
      {"an answer too many",
       {},
       Joined(WorkedLines()) + "12.5\n",
       1,
       ":19: an answer after the last length: '12.5'"},
      {"A on B", {}, WithLines({{2, "4800.000"}, {3, "2850.000"}}), 1, "points A and B coincide"},
      {"unknown option", {"--bogus"}, Joined(WorkedLines()), 2, "--bogus"},
      {"unknown unit", {"--unit", "mil"}, Joined(WorkedLines()), 2, "--unit"},
      {"open and no end", {"--open", "--no-end-orientation"}, Joined(WorkedLines()), 2, "excludes"},
      {"least squares on an open traverse",
       {"--open", "--rule", "least-squares"},
       Joined(WithoutCD()),
       1,
       "open traverse"},
      {"a missing file", {"no/such/answers.txt"}, "", 1, "cannot read 'no/such/answers.txt'"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ChildRun run = Adjust(c.arguments, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.error;
    EXPECT_TRUE(std::regex_search(run.error, std::regex(c.message))) << run.error;
    EXPECT_EQ(run.output, "");
  }
  const ChildRun typo = RunWith({"ajdust"}, "");
  EXPECT_EQ(typo.exitCode, 2);
  EXPECT_TRUE(std::regex_search(typo.error, std::regex("^traverse: 'ajdust' is not a command")))
      << typo.error;
}

TEST(AdjustEndToEnd, ExceededToleranceWritesTheWholeReportAndExits3) {
  // fβ = 23.5 cc against 10 + 5·√4 = 20 cc; 1:80006 against 1:50000.
  const ChildRun run =
      Adjust({"--angular-tolerance", "10,5", "--linear-tolerance", "50000", "--format", "json"},
             Joined(WorkedLines()));
  EXPECT_EQ(run.exitCode, 3) << run.error;
  const json report = json::parse(run.output);
  EXPECT_FALSE(report["tolerance"]["angular"]["passed"].get<bool>());
  EXPECT_TRUE(report["tolerance"]["linear"]["passed"].get<bool>());
  EXPECT_EQ(report["points"].size(), 2u);

  const ChildRun within =
      Adjust({"--angular-tolerance", "24", "--linear-tolerance", "80000"}, Joined(WorkedLines()));
  EXPECT_EQ(within.exitCode, 0) << within.error;
}

TEST(AdjustEndToEnd, UnderLeastSquaresAFailedGlobalTestFailsTheVerdict) {
  // The worked example with 100 cc added to its second angle: fβ = 123.5 cc,
  // far inside the gross-error guard, but against sigmas of 10 cc the global
  // test fails and the angle is the suspect.
  std::vector<std::string> lines = WorkedLines();
  lines[11] = "250.0108";
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string answers;
    int exitCode;
    const char* overall;
  } cases[] = {
      {"no blunder", {"--rule", "least-squares"}, Joined(WorkedLines()), 0, "none checked"},
      {"blunder, no tolerance", {"--rule", "least-squares"}, Joined(lines), 3,
       "Overall: the global test FAILED"},
      {"blunder within wide tolerances",
       {"--rule", "least-squares", "--angular-tolerance", "200", "--linear-tolerance", "1000"},
       Joined(lines), 3, "Overall: the global test FAILED"},
      {"blunder under the compass rule", {}, Joined(lines), 0, "none checked"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ChildRun text = Adjust(c.arguments, c.answers);
    EXPECT_EQ(text.exitCode, c.exitCode) << text.error;
    EXPECT_NE(text.output.find(c.overall), std::string::npos) << text.output;
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--format", "json"});
    const ChildRun run = Adjust(arguments, c.answers);
    EXPECT_EQ(json::parse(run.output)["tolerance"]["passed"].get<bool>(), c.exitCode == 0);
  }
}

TEST(AdjustEndToEnd, OutputFileIsReplacedOnlyWhenComplete) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() /
      ("traverse-adjust-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(folder);
  const fs::path target = folder / "points.csv";
  const std::string path = target.string();

  ChildRun run = Adjust({"--format", "csv", "--output", path}, Joined(WorkedLines()));
  ASSERT_EQ(run.exitCode, 0) << run.error;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(ReadFileBytes(path).substr(0, 10), "point,x,y\n");

  // A failed run leaves the earlier file as it was, and nothing beside it.
  const std::string before = ReadFileBytes(path);
  run = Adjust({"--format", "csv", "--output", path}, WithLine(12, "abc"));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  fs::remove_all(folder);
}

// Every option that takes a number says in plain words what it wants.
TEST(AdjustEndToEnd, OptionValuesAreCheckedInPlainWords) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--scale", "-1"}, "--scale: must be a positive number, found '-1'"},
      {{"--scale", "1e999"}, "--scale: must be a positive number, found '1e999'"},
      {{"--linear-tolerance", "0"}, "--linear-tolerance: must be a positive number, found '0'"},
      {{"--sigma-angle", "x"}, "--sigma-angle: must be a positive number, found 'x'"},
      {{"--height-tolerance", "-5"}, "--height-tolerance: must be a positive number, found '-5'"},
      {{"--refraction", "1.5"}, "--refraction: must be a number from -1 to 1, found '1.5'"},
      {{"--decimals", "2.5"}, "--decimals: must be a whole number from 0 to 9, found '2.5'"},
      {{"--decimals", "-1"}, "--decimals: must be a whole number from 0 to 9, found '-1'"},
      {{"--angular-tolerance", "10,x"}, "--angular-tolerance"},
      {{"--sigma-length", "0,0"}, "--sigma-length"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments[0] + " " + arguments[1]);
    const ChildRun run = Adjust(arguments, Joined(WorkedLines()));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.error.rfind("traverse: " + message, 0), 0u) << run.error;
  }
}

// A path that starts with '/' is a path on Windows too (CLI11 would take it
// for a Windows-style option): the working folder's path without its drive.
TEST(AdjustEndToEnd, APathStartingWithASlashIsAPath) {
  namespace fs = std::filesystem;
  const fs::path file = fs::current_path() / "slash-path-answers.txt";
  std::ofstream(file, std::ios::binary) << Joined(WorkedLines());
  const std::string path = "/" + file.relative_path().generic_string();
  const ChildRun run = Adjust({"--format", "csv", "--decimals", "2", path}, "");
  fs::remove(file);
  EXPECT_EQ(run.exitCode, 0) << run.error;
  EXPECT_EQ(run.output, "point,x,y\n1,5146.95,3202.26\n2,5100.01,3498.55\n");
}

// Runs that write one output file at once each leave a whole report of their
// own, never a mixture, and nothing beside it.
TEST(AdjustEndToEnd, RunsWritingOneFileNeverMixTheirBytes) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "traverse-concurrent-output";
  fs::create_directories(folder);
  const std::string target = (folder / "report.json").string();
  const std::string inputs[2] = {Joined(WorkedLines()), ReadExample("worked_right.txt")};
  std::string expected[2];
  for (int i = 0; i < 2; ++i) expected[i] = Adjust({"--format", "json"}, inputs[i]).output;
  for (int round = 0; round < 5; ++round) {
    std::thread other([&] { Adjust({"--format", "json", "-o", target}, inputs[1]); });
    Adjust({"--format", "json", "-o", target}, inputs[0]);
    other.join();
    const std::string written = ReadFileBytes(target);
    EXPECT_TRUE(written == expected[0] || written == expected[1]) << written.substr(0, 200);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace traverse::e2e

namespace traverse::e2e {
namespace {

// -o naming a file the run reads, by any path, is refused before anything is
// written: the input, a second name of it, or a control file the book names.
TEST(AdjustEndToEnd, OutputThatIsAnInputIsRefusedByAnyName) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "traverse-output-is-input";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string book = (folder / "job.book").string();
  const std::string control = (folder / "control.csv").string();
  std::ofstream(control, std::ios::binary) << "A,4800,2850\nB,5000,3000\nC,5165.381,3770.824\n"
                                              "D,4882.538,4053.667\n";
  const std::string bookText =
      "points control.csv\ntraverse left\nA\nB 219.0346 250.012\nP1 250.0008 299.987\n"
      "P2 174.9991 280.009\nC 265.0013\nD\nend\n";
  std::ofstream(book, std::ios::binary) << bookText;
  std::error_code noLinks;
  fs::create_hard_link(book, folder / "hard.book", noLinks);
  fs::create_symlink(control, folder / "soft.csv", noLinks);

  const std::pair<std::string, std::string> cases[] = {
      {book, "is the input itself"},
      {(folder / "." / "job.book").string(), "is the input itself"},
      {(folder / "hard.book").string(), "is the input itself"},
      {control, "is the control file"},
      {(folder / "soft.csv").string(), "is the control file"},
  };
  for (const auto& [output, message] : cases) {
    if (!fs::exists(output)) continue;  // a system without links
    SCOPED_TRACE(output);
    const ChildRun run = Adjust({"-o", output, book}, "");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.error.find(message), std::string::npos) << run.error;
    EXPECT_EQ(std::count(run.error.begin(), run.error.end(), '\n'), 1) << run.error;
  }
  EXPECT_EQ(ReadFileBytes(book), bookText);
  EXPECT_EQ(ReadFileBytes(control).substr(0, 12), "A,4800,2850\n");
  const ChildRun elsewhere = Adjust({"-o", (folder / "report.txt").string(), book}, "");
  EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.error;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace traverse::e2e
