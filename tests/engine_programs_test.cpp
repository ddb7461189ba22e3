// The real engine programs, started as child processes and driven through
// their standard input and output as a referee drives them.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "rules/move_generator.h"
#include "tests/process_util.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::ProgramRun;

ProgramRun runEngine(const std::string& program, const std::string& input, const std::string& dir = "") {
  return test::runProgram(test::programPath(program), test::engineArgs(program), input, dir);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}


TEST(EnginePrograms, AnswerTheirNameAndStopCleanly) {
  for (const char* program : test::kEnginePrograms) {
    const ProgramRun run = runEngine(program, "name?\nstop\nname?\n");
    const std::string name = program;
    const std::string version = name == "engine-classic" ? "2.0" : name == "engine-pro" ? "4.0" : "2.2";
    EXPECT_EQ(run.out, "name Tovrane(" + version + ")\n") << program;
    EXPECT_EQ(run.exitStatus, 0) << program;
    EXPECT_EQ(run.err, "") << program;
  }
}

TEST(EnginePrograms, PlayLegalMovesForBothColours) {
  for (const char* program : test::kEnginePrograms) {
    const ProgramRun run = runEngine(program, "new white\nmove 1222\nnew black\nstop\n");
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u) << program << ": " << run.out;
    Board afterBlack = test::initialBoard();
    applyMove(afterBlack, test::mv("1222"));
    ASSERT_EQ(lines[0].rfind("move ", 0), 0u);
    EXPECT_TRUE(isLegalMove(afterBlack, kWhite, readMoveText(lines[0].c_str() + 5))) << lines[0];
    EXPECT_TRUE(isLegalMove(test::initialBoard(), kBlack, readMoveText(lines[1].c_str() + 5))) << lines[1];
    EXPECT_EQ(run.exitStatus, 0);
  }
}

TEST(EnginePrograms, BadWordsAndUnknownCommandsChangeNothing) {
  const std::string longWord(2000, '3');
  const ProgramRun plain = runEngine("engine", "new white\nmove 4040404\n");
  const ProgramRun noisy =
      runEngine("engine", "NEW black Name? " + longWord + "\nnew white\nmove " + longWord + "\nmove 1x\n");
  const auto plainLines = linesOf(plain.out);
  const auto noisyLines = linesOf(noisy.out);
  ASSERT_EQ(plainLines.size(), 1u);
  ASSERT_EQ(noisyLines.size(), 2u);
  // Every answer is white's move in the untouched initial position.
  EXPECT_EQ(noisyLines[0], plainLines[0]);
  EXPECT_EQ(noisy.exitStatus, 0);  // ended by the end of input
  EXPECT_EQ(noisy.err, "");
}

TEST(EnginePrograms, BookMoveIsPlayedWithoutSearch) {
  test::TempDir dir;
  // No search would play this: it jumps a piece two rows. The book is trusted.
  dir.writeBook("222222222222000000000000111111111111", "black 0 0 2 0\n");
  for (const char* program : test::kEnginePrograms) {
    const ProgramRun run = runEngine(program, "new black\nstop\n", dir.path().string());
    EXPECT_EQ(run.out, "move 0020\n") << program;
  }
}

TEST(EnginePrograms, SelfPlayGamesStayLegal) {
  // Two instances of a program play each other; each reply must be legal in
  // the position both engines hold. A few plies per program keep it quick.
  for (const char* program : test::kEnginePrograms) {
    Board board = test::initialBoard();
    std::string blackInput = "new black\n";
    std::string whiteInput = "new white\n";
    Side toMove = kBlack;
    for (int ply = 0; ply < 6; ++ply) {
      const ProgramRun run = runEngine(program, toMove == kBlack ? blackInput : whiteInput);
      const auto lines = linesOf(run.out);
      ASSERT_FALSE(lines.empty()) << program;
      const Move move = readMoveText(lines.back().c_str() + 5);
      ASSERT_TRUE(isLegalMove(board, toMove, move)) << program << " " << lines.back();
      applyMove(board, move);
      (toMove == kBlack ? whiteInput : blackInput) += "move " + moveText(move) + "\n";
      toMove = opponent(toMove);
    }
  }
}

}  // namespace
}  // namespace tovrane

namespace tovrane {
namespace {

TEST(EnginePro, BadArgumentsGetOneLineAndStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"--movetime"}, {"--movetime", "0"}, {"--movetime", "61"}, {"--movetime", "1e1"}, {"--movetime", "-1"},
      {"--hash", "0"}, {"--hash", "2000"}, {"--hash", "1.5"}, {"--draw-plies", "x"}, {"--depth", "65"},
      {"--fast"}, {"movetime"}, {"--eval", "neural"}, {"--eval-file", "/nonexistent/net.tvnn"},
      {"--eval-file", TOVRANE_SOURCE_DIR "/eval/net_eval.h"}};
  for (const auto& args : bad) {
    const test::ProgramRun run = test::runProgram(test::programPath("engine-pro"), args, "name?\n");
    EXPECT_EQ(run.exitStatus, 2) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    ASSERT_FALSE(run.err.empty()) << args[0];
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
}

TEST(EnginePro, HelpListsTheOptionsOnStandardOutput) {
  const test::ProgramRun run = test::runProgram(test::programPath("engine-pro"), {"--help"}, "name?\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("usage: engine-pro [options]\n", 0), 0u) << run.out;
  for (const char* option : {"--movetime", "--clock", "--rules", "--hash", "--draw-plies", "--depth", "--nodes"}) {
    EXPECT_NE(run.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
  }
  EXPECT_EQ(run.out.find("name Tovrane"), std::string::npos) << "it played instead";
}

TEST(EnginePro, PlaysByTheClockWithItsOptions) {
  // Three turns at 0.02 s a move, each in a position known here: a search
  // stopped by the clock still answers a legal move.
  const std::vector<std::string> args = {"--movetime", "0.02", "--hash", "1", "--draw-plies", "40"};
  const test::ProgramRun run = test::runProgram(test::programPath("engine-pro"), args,
                                                "new black\nnew white\nmove 1222\nnew white\nmove 1121\nstop\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "");
  const auto lines = linesOf(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  Board afterBlack1 = test::initialBoard();
  applyMove(afterBlack1, test::mv("1222"));
  Board afterBlack2 = test::initialBoard();
  applyMove(afterBlack2, test::mv("1121"));
  const Board positions[] = {test::initialBoard(), afterBlack1, afterBlack2};
  const Side sides[] = {kBlack, kWhite, kWhite};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(lines[i].rfind("move ", 0), 0u) << lines[i];
    EXPECT_TRUE(isLegalMove(positions[i], sides[i], readMoveText(lines[i].c_str() + 5))) << lines[i];
  }
}

}  // namespace
}  // namespace tovrane
