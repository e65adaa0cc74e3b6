// Which targets of the setups are sideshots: sighted from one setup alone
// and nothing else of the book (a known point, a traverse's station, a free
// observation's point, a station of a setup).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adjustment/book_setups.hpp"

namespace traverse {
namespace {

BookSetup SetupOn(const std::string& station, const std::vector<std::string>& targets) {
  BookSetup setup;
  setup.station = station;
  for (const std::string& target : targets) {
    SetupDirection direction;
    direction.target = target;
    setup.directions.push_back(direction);
  }
  return setup;
}

TEST(SideshotFlags, OneSetupAndNothingElse) {
  Book book;
  book.known.push_back({});
  book.known.back().name = "K";
  BookTraverse traverse;
  traverse.stations = {"T1", "T2"};
  book.traverses.push_back(traverse);
  FreeObservation free;
  free.at = "F1";
  free.to = "F2";
  book.free.push_back(free);
  // Tied and free targets mixed, so that each flag must stay with its own.
  book.setups = {SetupOn("A", {"K", "S1", "B", "S2", "T2", "S4", "F2", "S5"}),
                 SetupOn("B", {"A", "S2", "S3", "S3", "C"}),
                 SetupOn("C", {"S6"})};
  const std::vector<std::vector<char>> flags = SideshotFlags(book);
  ASSERT_EQ(flags.size(), 3u);
  EXPECT_EQ(flags[0], (std::vector<char>{0, 1, 0, 0, 0, 1, 0, 1}));
  EXPECT_EQ(flags[1], (std::vector<char>{0, 0, 1, 1, 0}));  // S3 read twice from B alone
  EXPECT_EQ(flags[2], (std::vector<char>{1}));
  EXPECT_EQ(SideshotCount(flags), 6u);

  // Thousands of sideshots, every tenth also sighted from a second setup.
  Book many;
  std::vector<std::string> first, second{"P"};
  for (int i = 0; i < 5000; ++i) first.push_back("S" + std::to_string(i));
  for (int i = 0; i < 5000; i += 10) second.push_back("S" + std::to_string(i));
  many.setups = {SetupOn("P", first), SetupOn("Q", second)};
  const std::vector<std::vector<char>> shots = SideshotFlags(many);
  for (int i = 0; i < 5000; ++i) EXPECT_EQ(shots[0][static_cast<std::size_t>(i)], i % 10 != 0) << i;
  EXPECT_EQ(SideshotCount(shots), 4500u);
}

}  // namespace
}  // namespace traverse
