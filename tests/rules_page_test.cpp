// docs/rules.md shows what the project's own code does: its picture is the
// output of 'tovrane diagram', every command on it prints what the page
// says, and its perft table holds the counts of the generator.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rules/perft.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

std::string readSourceFile(const std::string& relative) {
  std::ifstream in(std::string(TOVRANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

TEST(RulesPage, ThePictureIsDrawnFromTheCircuitTables) {
  const std::string svg = readSourceFile("docs/circuits.svg");
  ASSERT_FALSE(svg.empty());
  const test::ToolResult r = test::runTovrane({"diagram", test::kInitialDigits});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, svg) << "regenerate: tovrane diagram " << test::kInitialDigits << " > docs/circuits.svg";
  EXPECT_NE(readSourceFile("docs/rules.md").find("![The board with its two circuits"), std::string::npos);
}

TEST(RulesPage, EveryCommandPrintsWhatThePageShows) {
  const std::vector<std::string> page = lines(readSourceFile("docs/rules.md"));
  int commands = 0;
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].rfind("$ tovrane ", 0) != 0) continue;
    std::string shown;
    size_t j = i + 1;
    for (; j < page.size() && page[j] != "```"; ++j) shown += page[j] + "\n";
    std::vector<std::string> argv = words(page[i].substr(10));
    const test::ToolResult r = test::runTovrane(argv);
    EXPECT_EQ(r.status, 0) << page[i];
    EXPECT_EQ(r.out, shown) << page[i];
    ++commands;
    i = j;
  }
  EXPECT_GE(commands, 6);
}

TEST(RulesPage, ThePerftTableHoldsTheGeneratorsCounts) {
  int rows = 0;
  for (const std::string& line : lines(readSourceFile("docs/rules.md"))) {
    if (line.rfind("| `", 0) != 0 || line.size() < 40 || line[39] != '`') continue;
    std::vector<std::string> cells;
    std::istringstream in(line.substr(1));
    for (std::string cell; std::getline(in, cell, '|');) cells.push_back(cell);
    Board board{};
    ASSERT_TRUE(parseBoardDigits(line.substr(3, 36), board)) << line;
    const Side side = std::stoi(cells.at(1));
    int depths = 0;
    for (size_t k = 2; k < cells.size(); ++k) {
      const std::vector<std::string> count = words(cells[k]);
      if (count.empty()) continue;
      const int depth = static_cast<int>(k) - 1;
      EXPECT_EQ(perft(board, side, depth), std::stoull(count[0])) << line << " depth " << depth;
      ++depths;
    }
    EXPECT_GE(depths, 5) << line;
    ++rows;
  }
  EXPECT_GE(rows, 5);
}

}  // namespace
}  // namespace tovrane
