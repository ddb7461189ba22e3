#include "analysis/game_analysis.h"

#include <gtest/gtest.h>

#include <string>

#include "search/pro_search.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

using test::mv;

TEST(GameAnalysis, MarksFollowTheLossAndProvedResults) {
  int32_t loss = -1;
  EXPECT_EQ(markMove(40, -500, true, loss), MoveMark::kNone);  // the best move is never marked
  EXPECT_EQ(loss, 0);
  EXPECT_EQ(markMove(40, 60, false, loss), MoveMark::kNone);
  EXPECT_EQ(loss, 0);
  EXPECT_EQ(markMove(40, 40 - kMistakeLoss + 1, false, loss), MoveMark::kNone);
  EXPECT_EQ(markMove(40, 40 - kMistakeLoss, false, loss), MoveMark::kMistake);
  EXPECT_EQ(loss, kMistakeLoss);
  EXPECT_EQ(markMove(40, 40 - kBlunderLoss, false, loss), MoveMark::kBlunder);
  // A proved win thrown away, even for a large lead; a proved loss walked into.
  EXPECT_EQ(markMove(kProWinScore - 5, 900, false, loss), MoveMark::kBlunder);
  EXPECT_EQ(markMove(-30, -(kProWinScore - 8), false, loss), MoveMark::kBlunder);
  // A slower win, or a loss already proved, is no mark.
  EXPECT_EQ(markMove(kProWinScore - 5, kProWinScore - 9, false, loss), MoveMark::kNone);
  EXPECT_EQ(markMove(-(kProWinScore - 9), -(kProWinScore - 5), false, loss), MoveMark::kNone);
}

TEST(GameAnalysis, AStepIntoACaptureOfTheLastPieceIsABlunder) {
  // Black (0,1) against white (2,2): 0102 walks into 2202, which takes the
  // last black piece along row 2 and the loop to column 2.
  Board start{};
  ASSERT_TRUE(parseBoardDigits("020000000000001000000000000000000000", start));
  AnalysisSettings settings;
  settings.depth = 6;
  const GameAnalysis a = analyseGame(start, kBlack, {mv("0102"), mv("2202")}, settings);
  ASSERT_EQ(a.plies.size(), 2u);
  EXPECT_EQ(a.plies[0].mark, MoveMark::kBlunder);
  EXPECT_GT(a.plies[0].before, -kProWinBound);
  EXPECT_LT(a.plies[0].after, -kProWinBound);
  EXPECT_NE(a.plies[0].best, mv("0102"));
  EXPECT_EQ(a.plies[1].mark, MoveMark::kNone);
  EXPECT_TRUE(a.plies[1].capture);
  EXPECT_EQ(scoreText(a.plies[1].after), "win1");  // black is left without a move
  EXPECT_EQ(a.black.blunders, 1);
  EXPECT_EQ(a.white.blunders + a.white.mistakes, 0);
  EXPECT_GE(a.black.totalLoss, kBlunderLoss);
}

TEST(GameAnalysis, AnalyseCommandMarksTheBlunderOfARecordedGame) {
  // A recorded opening where white's twelfth move, 3322, leaves a piece to
  // 0222; engine-pro keeps it with 4050.
  const char* moves[] = {"1020", "4434", "2021", "4130", "0010", "4233",
                         "1423", "5041", "0414", "5544", "2131", "3322"};
  std::string record = "# a record\ngame 1\nblack A\nwhite B\nopening\nresult draw\nend unfinished\nreason test\nplies 12\n";
  for (int i = 0; i < 12; ++i) {
    record += std::to_string(i + 1) + (i % 2 == 0 ? " black " : " white ") + moves[i] + " 0.010\n";
  }
  const test::TempDir dir;
  const std::string path = (dir.path() / "game.rec").string();
  test::writeFile(path, record + "\n");

  const test::ToolResult r = test::runTovrane({"analyse", path, "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("   1 black 1020 222222222222000000000000111111111111 12-12 "), std::string::npos) << r.out;
  const size_t at = r.out.find("\n  12 white 3322 022202222222000200120110110111011110 12-12 ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
  EXPECT_NE(line.find(" blunder 4050"), std::string::npos) << line;
  EXPECT_NE(r.out.find("white B: 6 moves"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 blunder (ply 12)"), std::string::npos) << r.out;

  EXPECT_EQ(test::runTovrane({"analyse", path, "2"}).status, 2);  // no such game
  EXPECT_EQ(test::runTovrane({"analyse", path, "--depth", "4", "--movetime", "1"}).status, 2);
}

}  // namespace
}  // namespace tovrane
