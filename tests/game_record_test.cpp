#include "match/game_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/test_util.h"
#include "match/engine_workdir.h"

namespace tovrane {
namespace {

using test::mv;

GameRecord sampleGame() {
  GameRecord g;
  g.number = 4;
  g.blackEngine = 1;
  g.blackName = "Tovrane(2.2) [engine-deep]";
  g.whiteName = "Tovrane(2.2) [engine]";
  g.opening = {mv("1121"), mv("4131")};
  g.winner = kWhite;
  g.end = GameEnd::kTimeout;
  g.reason = "black (Tovrane(2.2) [engine-deep]) gave no move within 0.500 s";
  g.moves = {{mv("1121"), 0.051}, {mv("4131"), 0.0504}, {mv("0111"), 1.25}};
  return g;
}

TEST(GameRecord, WriteThenReadGivesTheGameBack) {
  std::stringstream text;
  const GameRecord a = sampleGame();
  GameRecord b = sampleGame();
  b.number = 5;
  b.winner = 0;
  b.end = GameEnd::kQuietDraw;
  b.moves.clear();
  text << "# a comment\n";
  writeGameRecord(text, a);
  writeGameRecord(text, b);
  EXPECT_NE(text.str().find("\n3 black 0111 1.250\n"), std::string::npos) << text.str();

  const std::vector<GameRecord> games = readGameRecords(text);
  ASSERT_EQ(games.size(), 2u);
  const GameRecord& r = games[0];
  EXPECT_EQ(r.number, 4);
  EXPECT_EQ(r.blackName, a.blackName);
  EXPECT_EQ(r.whiteName, a.whiteName);
  EXPECT_EQ(r.opening, a.opening);
  EXPECT_EQ(r.winner, kWhite);
  EXPECT_EQ(r.end, GameEnd::kTimeout);
  EXPECT_EQ(r.reason, a.reason);
  ASSERT_EQ(r.plies(), 3);
  EXPECT_EQ(r.moves[2].move, mv("0111"));
  EXPECT_NEAR(r.moves[1].seconds, 0.050, 1e-9);  // written in milliseconds
  EXPECT_EQ(games[1].winner, 0);
  EXPECT_EQ(games[1].end, GameEnd::kQuietDraw);
  EXPECT_EQ(games[1].plies(), 0);
}

TEST(GameRecord, EveryEndCodeRoundTrips) {
  for (GameEnd end : {GameEnd::kNoMoves, GameEnd::kIllegal, GameEnd::kMalformed, GameEnd::kTimeout, GameEnd::kCrash,
                      GameEnd::kNoStart, GameEnd::kQuietDraw, GameEnd::kPlyCap, GameEnd::kUnfinished}) {
    GameEnd back = GameEnd::kNoMoves;
    EXPECT_TRUE(parseGameEndCode(gameEndCode(end), back));
    EXPECT_EQ(back, end);
  }
  GameEnd ignored;
  EXPECT_FALSE(parseGameEndCode("resign", ignored));
}

TEST(GameRecord, BadLinesAreReportedWithTheirNumber) {
  auto errorOf = [](const std::string& text) -> std::string {
    std::istringstream in(text);
    try {
      readGameRecords(in);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(errorOf("game 1\nresult white\n1 black 1121 0.1\n"), "");
  EXPECT_NE(errorOf("black A\n").find("line 1"), std::string::npos);
  EXPECT_NE(errorOf("game 1\nresult maybe\n").find("line 2"), std::string::npos);
  // Plies must run 1, 2, ... with the right colour and an on-board move.
  EXPECT_NE(errorOf("game 1\n2 white 4131 0.1\n").find("line 2"), std::string::npos);
  EXPECT_NE(errorOf("game 1\n1 white 1121 0.1\n").find("line 2"), std::string::npos);
  EXPECT_NE(errorOf("game 1\n1 black 1161 0.1\n").find("line 2"), std::string::npos);
  EXPECT_NE(errorOf("game x\n").find("line 1"), std::string::npos);
}

TEST(EngineWorkDir, OpeningMoveReplacesTheOwnBookFileUntilRestored) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(testing::TempDir()) / "workdir_test";
  fs::remove_all(base);
  const fs::path own = base / "own";
  fs::create_directories(own / "startgame");
  Board start = test::initialBoard();
  Board other = start;
  applyMove(other, mv("1121"));
  const std::string startFile = bookFileName(start);
  EXPECT_EQ(startFile, "222222222222000000000000111111111111.zjb");
  { std::ofstream(own / "startgame" / startFile) << "black 1 0 2 0\nwhite 4 0 3 0\n"; }

  EngineWorkDir dir;
  dir.create((base / "work").string(), own.string());
  auto read = [&](const std::string& name) {
    std::ifstream in(base / "work" / "startgame" / name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  EXPECT_EQ(read(startFile), "black 1 0 2 0\nwhite 4 0 3 0\n");

  dir.placeBookMove(start, kBlack, mv("1121"));
  EXPECT_EQ(read(startFile), "black 1 1 2 1\n");
  dir.restore();
  EXPECT_EQ(read(startFile), "black 1 0 2 0\nwhite 4 0 3 0\n");

  // A position the own book lacks: its file exists only while placed.
  const fs::path otherFile = base / "work" / "startgame" / bookFileName(other);
  dir.placeBookMove(other, kWhite, mv("4131"));
  EXPECT_EQ(read(bookFileName(other)), "white 4 1 3 1\n");
  dir.placeBookMove(start, kBlack, mv("1222"));  // placing again restores the previous one first
  EXPECT_FALSE(fs::exists(otherFile));
  dir.restore();
  dir.restore();
  EXPECT_EQ(read(startFile), "black 1 0 2 0\nwhite 4 0 3 0\n");
  fs::remove_all(base);
}

}  // namespace
}  // namespace tovrane
