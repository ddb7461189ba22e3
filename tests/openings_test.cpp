#include "match/openings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "rules/move_generator.h"
#include "tests/test_util.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

using test::mv;

OpeningLine lineOf(std::initializer_list<const char*> moves) {
  OpeningLine line;
  for (const char* m : moves) line.push_back(mv(m));
  return line;
}

TEST(Openings, RandomLinesAreLegalDistinctAndRepeatable) {
  const std::vector<OpeningLine> lines = randomOpenings(30, 6, 7);
  ASSERT_EQ(lines.size(), 30u);
  std::set<std::string> texts;
  for (const OpeningLine& line : lines) {
    EXPECT_EQ(line.size(), 6u);
    EXPECT_EQ(checkOpening(line), "") << openingText(line);
    texts.insert(openingText(line));
  }
  EXPECT_EQ(texts.size(), 30u);
  EXPECT_EQ(randomOpenings(30, 6, 7), lines);
  EXPECT_NE(randomOpenings(30, 6, 8), lines);
}

TEST(Openings, MoreLinesThanExistRepeatSome) {
  // Black has 16 first moves; 20 one-ply lines must repeat some of them.
  const std::vector<OpeningLine> lines = randomOpenings(20, 1, 3);
  ASSERT_EQ(lines.size(), 20u);
  std::set<std::string> texts;
  for (const OpeningLine& line : lines) texts.insert(openingText(line));
  EXPECT_EQ(texts.size(), 16u);
  // No plies at all: every line is the empty line.
  for (const OpeningLine& line : randomOpenings(3, 0, 1)) EXPECT_TRUE(line.empty());
}

TEST(Openings, CheckFindsIllegalAndRepeatingLines) {
  EXPECT_EQ(checkOpening(lineOf({"1121", "4131"})), "");
  // White moves a piece of black's.
  EXPECT_NE(checkOpening(lineOf({"1121", "1020"})), "");
  // Black moves first: a white move first is illegal.
  EXPECT_NE(checkOpening(lineOf({"4131"})).find("move 1"), std::string::npos);
  // Both sides step out and back: the start position recurs with black to move.
  EXPECT_NE(checkOpening(lineOf({"1121", "4131", "2111", "3141", "1121"})).find("occurs twice"), std::string::npos);
  // Coming back to the start only after the last move needs no second book move.
  EXPECT_EQ(checkOpening(lineOf({"1121", "4131", "2111", "3141"})), "");
}

TEST(Openings, ParseLine) {
  OpeningLine line;
  EXPECT_TRUE(parseOpeningLine("  1121 4131\t0111 ", line));
  EXPECT_EQ(line, lineOf({"1121", "4131", "0111"}));
  EXPECT_TRUE(parseOpeningLine("", line));
  EXPECT_TRUE(line.empty());
  EXPECT_FALSE(parseOpeningLine("1121 413", line));
  EXPECT_FALSE(parseOpeningLine("1121 41a1", line));
  EXPECT_FALSE(parseOpeningLine("11213", line));
}

TEST(Openings, ReadFileSkipsCommentsAndNamesBadLines) {
  const std::string path = testing::TempDir() + "openings_test.txt";
  {
    std::ofstream out(path);
    out << "# two openings\n1121 4131  # score +12\n\n  \n1020 4030\r\n";
  }
  const std::vector<OpeningLine> lines = readOpeningFile(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], lineOf({"1121", "4131"}));
  EXPECT_EQ(lines[1], lineOf({"1020", "4030"}));
  {
    std::ofstream out(path);
    out << "1121\n1121 4131 0000\n";
  }
  try {
    readOpeningFile(path);
    FAIL() << "an illegal line was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(":2: move 3"), std::string::npos) << e.what();
  }
  {
    std::ofstream out(path);
    out << "# nothing\n";
  }
  EXPECT_THROW(readOpeningFile(path), std::runtime_error);
  std::filesystem::remove(path);
  EXPECT_THROW(readOpeningFile(path), std::runtime_error);
}

// tovrane openings end to end: the file it writes reads back as the random
// lines of the same seed, in order, each kept line's score within the margin,
// and a margin no line can meet is a failure, not a short file called done.
TEST(Openings, BalancedOpeningsReadBackAsTheSeedsLinesWithinTheMargin) {
  const test::ToolResult made =
      test::runTovrane({"openings", "--count", "6", "--seed", "7", "--nodes", "3000", "--margin", "30"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string path = testing::TempDir() + "balanced_openings.txt";
  {
    std::ofstream out(path);
    out << made.out;
  }
  const std::vector<OpeningLine> kept = readOpeningFile(path);
  std::filesystem::remove(path);
  ASSERT_EQ(kept.size(), 6u);
  const std::vector<OpeningLine> drawn = randomOpenings(300, 6, 7);
  size_t next = 0;
  for (const OpeningLine& line : kept) {
    while (next < drawn.size() && drawn[next] != line) ++next;
    ASSERT_LT(next++, drawn.size()) << "not a line of the seed, or out of order: " << openingText(line);
  }
  std::istringstream lines(made.out);
  std::string text;
  int scores = 0;
  while (std::getline(lines, text)) {
    const size_t at = text.find("# score ");
    if (at == std::string::npos) continue;
    EXPECT_LE(std::abs(std::stoi(text.substr(at + 8))), 30) << text;
    ++scores;
  }
  EXPECT_EQ(scores, 6);

  const test::ToolResult none =
      test::runTovrane({"openings", "--count", "3", "--nodes", "3000", "--margin", "0", "--draws", "2"});
  EXPECT_EQ(none.status, 1);
}

}  // namespace
}  // namespace tovrane
