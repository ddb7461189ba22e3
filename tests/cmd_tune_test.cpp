// tovrane tune on games whose results follow the material: black searches,
// white plays at random, so black wins; the fit must predict that better
// than the starting weights and keep a piece worth something.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "match/game_record.h"
#include "rules/move_generator.h"
#include "search/pro_search.h"
#include "tests/temp_dir.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

GameRecord playLopsidedGame(int number, std::mt19937& rng, ProSearch& searcher) {
  GameRecord game;
  game.number = number;
  game.blackName = "searcher";
  game.whiteName = "random";
  Board board{};
  resetBoard(board);
  Side side = kBlack;
  MoveList list;
  for (int ply = 0; ply < 200; ++ply) {
    list.generateMoves(board, side);
    if (list.lastIndex < 0) {
      game.winner = opponent(side);
      game.end = GameEnd::kNoMoves;
      return game;
    }
    Move move = list.moves[rng() % static_cast<unsigned>(list.size())];
    if (side == kBlack) move = searcher.search(board, side).move;
    game.moves.push_back({move, 0.0});
    applyMove(board, move);
    side = opponent(side);
  }
  game.end = GameEnd::kPlyCap;
  return game;
}

TEST(ToolTune, FitsWeightsThatPredictTheResults) {
  test::TempDir dir;
  const std::string path = (dir.path() / "games.txt").string();
  {
    std::ofstream out(path);
    std::mt19937 rng(9);
    ProSearch searcher(nullptr, 1);
    searcher.setFixedDepth(1);
    for (int g = 1; g <= 12; ++g) writeGameRecord(out, playLopsidedGame(g, rng, searcher));
  }
  const test::ToolResult r = test::runTovrane({"tune", path, "--iterations", "300", "--skip", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream in(r.out.substr(r.out.find("loss before")));
  std::string word;
  double before = 0, after = 0;
  in >> word >> word >> before >> word >> after;
  EXPECT_LT(after, before) << r.out;
  const size_t material = r.out.find("  material");
  ASSERT_NE(material, std::string::npos);
  std::istringstream weights(r.out.substr(material));
  int current = 0, tuned = 0;
  weights >> word >> current >> tuned;
  EXPECT_GT(tuned, 0) << r.out;

  EXPECT_EQ(test::runTovrane({"tune"}).status, 2);
  EXPECT_EQ(test::runTovrane({"tune", path, "--iterations"}).status, 2);
  EXPECT_EQ(test::runTovrane({"tune", (dir.path() / "missing.txt").string()}).status, 2);
}

}  // namespace
}  // namespace tovrane
