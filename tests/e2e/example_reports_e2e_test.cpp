// The reports bundled in examples/ are what the program writes today, byte
// for byte, on every platform: the README and examples/README.md quote them,
// and the Windows program must give the Linux figures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

// Every occurrence of `from` in `text` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST(ExampleReports, EveryBundledReportIsWhatTheProgramWrites) {
  const struct {
    const char* report;
    std::vector<std::string> arguments;  // the input last, as examples/README.md runs it
  } examples[] = {
      {"worked_report.txt", {"worked_left.txt"}},
      {"worked_least_squares.txt", {"--rule", "least-squares", "worked_left.txt"}},
      {"worked_book_report.txt", {"worked.book"}},
      {"worked_book.json", {"--format", "json", "worked.book"}},
      {"two_traverses_report.txt",
       {"--height-tolerance", "10", "--linear-tolerance", "10000", "two_traverses.book"}},
      {"ghilani_wolf_network_report.txt", {"--rule", "least-squares", "ghilani_wolf_network.book"}},
      {"niemeier_free_stations_report.txt",
       {"--rule", "least-squares", "niemeier_free_stations.book"}},
      {"ghilani_resection_report.txt", {"--rule", "least-squares", "ghilani_resection.book"}},
      {"levelling_loop_report.txt", {"--rule", "least-squares", "levelling_loop.book"}},
      {"deakin_mga_report.txt", {"deakin_mga.book"}},
      {"relative_line_report.txt", {"--rule", "least-squares", "relative_line.book"}},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.report);
#if defined(_WIN32)
    // JSON holds every double to its last bit, which another C library's
    // sine and arc tangent may move; the text reports round them.
    if (std::string(example.report).ends_with(".json")) continue;
#endif
    ChildSetup setup;
    setup.arguments = example.arguments;
    setup.arguments.insert(setup.arguments.begin(), "adjust");
    setup.arguments.back() = std::string(EXAMPLES_DIR) + "/" + setup.arguments.back();
    const ChildRun run = RunChild(PROGRAM_UNDER_TEST, setup);
    ASSERT_EQ(run.exitCode, 0) << run.error;
    // The reports name their input as examples/README.md runs them, from the
    // project's folder.
    EXPECT_EQ(Replaced(run.output, EXAMPLES_DIR, "examples"), ReadExample(example.report));
  }
}

}  // namespace
}  // namespace traverse::e2e
