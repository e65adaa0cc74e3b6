// Instrument files through the program: a GSI file adjusts as the field
// book `traverse convert` writes of it, double for double, and as a book
// that reads it with `raw FILE`; the format is judged by content or forced;
// faults name the file, the line and the word.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const std::string examples = EXAMPLES_DIR;

ChildRun Traverse(const std::vector<std::string>& arguments, const std::string& input = "") {
  ChildSetup setup;
  setup.input = input;
  setup.arguments = arguments;
  setup.timeLimit = 60;
  return RunChild(PROGRAM_UNDER_TEST, setup);
}

// `value` without the lines that place it in its input: a book's lines
// are not the raw file's.
void WithoutLines(json& value) {
  if (value.is_object()) {
    for (const char* key : {"line", "line_i", "line_ii", "first_line", "last_line", "setup"}) value.erase(key);
    for (auto& item : value.items()) WithoutLines(item.value());
  } else if (value.is_array()) {
    for (json& item : value) WithoutLines(item);
  }
}

// The report's figures, without what names the input.
json Figures(const ChildRun& run) {
  EXPECT_EQ(run.exitCode, 0) << run.error;
  json report = json::parse(run.output);
  report.erase("source");
  report.erase("notes");
  WithoutLines(report);
  return report;
}

fs::path Scratch(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / "traverse_instrument_e2e";
  fs::create_directories(folder);
  return folder / name;
}

TEST(InstrumentEndToEnd, TheConvertedBookAdjustsToTheSameDoubles) {
  const std::string gsi = examples + "/traverse.gsi";
  const ChildRun converted = Traverse({"convert", gsi});
  ASSERT_EQ(converted.exitCode, 0) << converted.error;
  EXPECT_NE(converted.output.find("\nunit gon\npoint A 2000 1000 100\npoint B 2085.5 1380 102\n"),
            std::string::npos)
      << converted.output;
  const fs::path book = Scratch("converted.book");
  std::ofstream(book, std::ios::binary) << converted.output;
  const json raw = Figures(Traverse({"adjust", "--rule", "least-squares", "--format", "json", gsi}));
  EXPECT_EQ(raw, Figures(Traverse({"adjust", "--rule", "least-squares", "--format", "json", book.string()})));
  // The truth the file was written from (tools/make_gsi.py), to its 0.1 mm.
  ASSERT_EQ(raw["points"][1]["name"], "P2");
  EXPECT_NEAR(raw["points"][1]["x"].get<double>(), 2010.5, 0.0002);
  EXPECT_NEAR(raw["points"][1]["y"].get<double>(), 1260.75, 0.0002);
  EXPECT_EQ(raw["sideshots"].size(), 3u);
}

// A JobXML job written from true coordinates (tools/make_jobxml.py): the
// book convert writes adjusts to the same doubles, and to the truth.
TEST(InstrumentEndToEnd, TheConvertedJobXmlBookAdjustsToTheSameDoubles) {
  const std::string jxl = std::string(INSTRUMENT_DATA_DIR) + "/synthetic_ppm_to_apply.jxl";
  const ChildRun converted = Traverse({"convert", jxl});
  ASSERT_EQ(converted.exitCode, 0) << converted.error;
  EXPECT_NE(converted.output.find("\nunit gon\npoint A 5000 3000 120\npoint B 5380 3085.5 122\n"),
            std::string::npos)
      << converted.output;
  const fs::path book = Scratch("converted_jobxml.book");
  std::ofstream(book, std::ios::binary) << converted.output;
  json raw = Figures(Traverse({"adjust", "--rule", "least-squares", "--format", "json", jxl}));
  EXPECT_EQ(raw["title"], "synthetic");  // the jobName, which a book gives by its own title record
  raw.erase("title");
  EXPECT_EQ(raw, Figures(Traverse({"adjust", "--rule", "least-squares", "--format", "json", book.string()})));
  ASSERT_EQ(raw["points"][1]["name"], "P2");
  EXPECT_NEAR(raw["points"][1]["x"].get<double>(), 5260.75, 1e-6);
  EXPECT_NEAR(raw["points"][1]["y"].get<double>(), 3010.5, 1e-6);
}

// A GNSS job is read, not adjusted: its points as control, exit 1 with the
// reason; convert writes its points.
TEST(InstrumentEndToEnd, AGnssJobHasNothingToAdjust) {
  const std::string jxl = std::string(INSTRUMENT_DATA_DIR) + "/KubaSzostak_JobXML_141108-KIERZKOWO.jxl";
  const ChildRun run = Traverse({"adjust", jxl});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.output.empty());
  EXPECT_EQ(run.error, "traverse: " + jxl +
                           ": the Trimble JobXML file holds no total-station setups: its 368 points are "
                           "control only, and there is nothing to adjust ('traverse convert' writes "
                           "them as a field book)\n");
  const ChildRun converted = Traverse({"convert", jxl});
  ASSERT_EQ(converted.exitCode, 0) << converted.error;
  EXPECT_NE(converted.output.find("# The file holds no total-station setups"), std::string::npos);
  EXPECT_NE(converted.output.find("\npoint 263 6071771.2198244 6491949.4635436 34.223975375678\n"),
            std::string::npos);
  EXPECT_EQ(converted.output.find("\nsetup "), std::string::npos);
}

TEST(InstrumentEndToEnd, ABookReadsTheFileInPlaceAndKeepsItsOwnControl) {
  const ChildRun run = Traverse({"adjust", "--rule", "least-squares", examples + "/traverse_raw.book"});
  ASSERT_EQ(run.exitCode, 0) << run.error;
  EXPECT_NE(run.output.find("Setups             4"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("traverse.gsi: The instrument's coordinates"), std::string::npos);
  // The book's own control and sigma give way to nothing in the file.
  const fs::path book = Scratch("own_control.book");
  std::ofstream(book) << "point A 2000 1000.01 100\nraw " << examples << "/traverse.gsi\n";
  const ChildRun moved = Traverse({"adjust", "--rule", "least-squares", "--format", "json", book.string()});
  EXPECT_EQ(moved.exitCode, 3);  // A moved 1 cm from where the file's readings put it
  const json report = json::parse(moved.output);
  ASSERT_EQ(report["points"][0]["name"], "P1");
  EXPECT_GT(report["points"][0]["y"].get<double>(), 1120.505);
}

// The file's setups A, P1, P2, B, each sighting the one behind and ahead,
// make a traverse from A oriented on B to B oriented on A: the compass rule
// takes it. --control stands in for the file's own control.
TEST(InstrumentEndToEnd, ItsChainOfSetupsIsATraverseAndItsControlMayComeFromAFile) {
  const std::string gsi = examples + "/traverse.gsi";
  const json compass = json::parse(Traverse({"adjust", "--format", "json", gsi}).output);
  ASSERT_EQ(compass["traverses"].size(), 1u);
  EXPECT_EQ(compass["traverses"][0]["kind"], "connecting");
  ASSERT_EQ(compass["points"][0]["name"], "P1");
  EXPECT_NEAR(compass["points"][0]["x"].get<double>(), 2060.25, 0.0002);
  EXPECT_NEAR(compass["points"][0]["y"].get<double>(), 1120.5, 0.0002);

  const fs::path control = Scratch("control.csv");
  std::ofstream(control) << "A,2000,1000.01,100\n";
  const ChildRun moved = Traverse({"adjust", "--rule", "least-squares", "--format", "json",
                                   "--control", control.string(), gsi});
  EXPECT_EQ(moved.exitCode, 3) << moved.error;  // A 1 cm from where the readings put it
  const json report = json::parse(moved.output);
  EXPECT_GT(report["points"][0]["y"].get<double>(), 1120.505);
  bool noted = false;
  for (const json& note : report["notes"])
    noted = noted || note.get<std::string>().find("'A' is taken from " + control.string()) != std::string::npos;
  EXPECT_TRUE(noted) << report["notes"];
  for (const auto& [arguments, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"adjust", "--control", control.string(), examples + "/worked.book"},
            "--control is for instrument files"},
           {{"adjust", "--control", Scratch("none.csv").string(), gsi}, "--control: cannot read"}}) {
    const ChildRun run = Traverse(arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.error.find(error), std::string::npos) << run.error;
  }
}

TEST(InstrumentEndToEnd, FaultsAndFormatsAreNamed) {
  const fs::path bad = Scratch("bad.gsi");
  std::ofstream(bad, std::ios::binary) << "*110001+000000000000000A 88...6+0000000000015500\r\n"
                                          "*110002+000000000000000B 21...6+0000000000015500\r\n";
  const fs::path book = Scratch("bad.book");
  std::ofstream(book) << "point A 1 2\nraw bad.gsi\n";
  // The second round in one face: a fault of the reduction, on the file's line.
  const fs::path rounds = Scratch("rounds.gsi");
  std::ofstream(rounds) << "110001+0000000A 88...0+00001550\n110002+0000000B 21...2+10000000 22...2+10000000\n"
                           "110003+0000000B 21...2+30000000 22...2+30000000\n110004+0000000B 21...2+10000000 22...2+10000000\n";
  const fs::path roundsBook = Scratch("rounds.book");
  std::ofstream(roundsBook) << "point A 0 0\npoint B 100 0\nraw rounds.gsi\n";
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string error;
  } cases[] = {
      {{"adjust", bad.string()}, 1,
       "traverse: " + bad.string() + ":2: word 2 (WI 21, '21...6+0000000000015500'): the units digit '6' is no angle unit"},
      {{"adjust", book.string()}, 1,
       "traverse: " + (bad.parent_path() / "bad.gsi").string() + ":2: word 2 (WI 21"},
      {{"adjust", "--rule", "least-squares", roundsBook.string()}, 1,
       "traverse: " + (bad.parent_path() / "rounds.gsi").string() + ":4: round 2 is read in one face only"},
      {{"convert", "--input-format", "jobxml", bad.string()}, 1,
       "traverse: " + bad.string() + ":1: the file holds no XML element"},
      {{"convert", examples + "/worked.book"}, 1,
       "traverse: " + examples + "/worked.book is no instrument file: convert reads instrument files"},
      {{"adjust", "--input-format", "gsi", examples + "/worked.book"}, 1, "word 1: expected a GSI word"},
      {{"adjust", "--input-format", "dxf", bad.string()}, 2, "--input-format: dxf not in {gsi,sdr,rw5,jobxml,book,answers}"},
      {{"convert", examples + "/traverse.gsi", "-o", examples + "/traverse.gsi"}, 2, "the report would replace it"},
  };
  for (const Case& c : cases) {
    const ChildRun run = Traverse(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.error;
    EXPECT_NE(run.error.find(c.error), std::string::npos) << run.error;
    EXPECT_TRUE(run.output.empty());
  }
}

}  // namespace
}  // namespace traverse::e2e
