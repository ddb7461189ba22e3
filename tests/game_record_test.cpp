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

// A game saved before its end says so ("result none"), and what a reader
// makes of a file reads the same after it is written again, even with stray
// carriage returns at a line's end.
TEST(GameRecord, UnfinishedGamesAndStrayCarriageReturnsRoundTrip) {
  GameRecord saved = sampleGame();
  saved.end = GameEnd::kUnfinished;
  saved.winner = 0;
  const std::string text = gameRecordText(saved);
  EXPECT_NE(text.find("\nresult none\n"), std::string::npos) << text;
  std::istringstream in(text);
  const std::vector<GameRecord> back = readGameRecords(in);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].end, GameEnd::kUnfinished);
  EXPECT_EQ(back[0].winner, 0);

  std::istringstream crlf("game 1\r\nblack A\r\r\nwhite B x\r\r\r\nresult white\r\n");
  const std::vector<GameRecord> first = readGameRecords(crlf);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].blackName, "A");
  EXPECT_EQ(first[0].whiteName, "B x");
  std::istringstream again(gameRecordText(first[0]));
  const std::vector<GameRecord> second = readGameRecords(again);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].whiteName, first[0].whiteName);
  EXPECT_EQ(second[0].winner, kWhite);
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

// Thinking fields, engines' lines and a left opening go out and come back
// (the lines as comments that readers skip); a record of the old form, a
// header comment and all, still reads.
TEST(GameRecord, ThinkingAndEngineLinesRoundTripAndOldRecordsStillRead) {
  GameRecord a = sampleGame();
  Thinking deep;
  deep.depth = 8;
  deep.score.value = -35;
  deep.nodes = 12345;
  deep.pv = {mv("4131"), mv("0111")};
  Thinking proved;
  proved.depth = 3;
  proved.score = {ThinkingScore::Kind::kWin, 7};
  a.moves[0].thinking = deep;
  a.moves[2].thinking = proved;
  a.leftOpeningPly = 2;
  a.notes = {{1, kBlack, "hello"}, {2, kWhite, "board . x o"}, {4, kBlack, "last words"}};
  a.notesDropped = 3;
  std::stringstream text;
  writeGameRecord(text, a);
  const std::string written = text.str();
  EXPECT_NE(written.find("\n# black said before ply 1: hello\n1 black 1121 0.051 depth 8 score -35 nodes 12345 pv "
                         "4131 0111\n"),
            std::string::npos)
      << written;
  EXPECT_NE(written.find("\n3 black 0111 1.250 depth 3 score win 7\n# black said before ply 4: last words\n"),
            std::string::npos)
      << written;
  const std::vector<GameRecord> games = readGameRecords(text);
  ASSERT_EQ(games.size(), 1u);
  ASSERT_EQ(games[0].plies(), 3);
  EXPECT_EQ(games[0].moves[0].thinking, deep);
  EXPECT_FALSE(games[0].moves[1].thinking);
  EXPECT_EQ(games[0].moves[2].thinking, proved);
  EXPECT_EQ(games[0].leftOpeningPly, 2);
  EXPECT_TRUE(games[0].leftOpening);
  EXPECT_EQ(gameRecordText(games[0]).find("said"), std::string::npos);  // the lines are not read back

  const RecordFile old = readRecordFile(
      "# tovrane match record: A vs B\n# match name1 A\n\ngame 1\nblack A\nwhite B\nopening 1121\nresult draw\n"
      "end quiet-draw\nreason r\nplies 2\n1 black 1121 0.100\n2 white 4131 0.200\n\n");
  ASSERT_EQ(old.games.size(), 1u);
  EXPECT_FALSE(old.games[0].moves[1].thinking);
  EXPECT_FALSE(old.games[0].leftOpening);
  EXPECT_EQ(old.comments.size(), 2u);
  // A move line whose tail is not thinking is refused.
  std::istringstream bad("game 1\n1 black 1121 0.1 depth 8 score high\n");
  EXPECT_THROW(readGameRecords(bad), std::runtime_error);
}

TEST(ThinkingLine, ReadsWhatEnginesSendAndRefusesTheRest) {
  Thinking t;
  ASSERT_TRUE(parseInfoLine("info depth 12 score -7 nodes 99 pv 1121 4131", t));
  EXPECT_EQ(thinkingFieldsText(t), "depth 12 score -7 nodes 99 pv 1121 4131");
  ASSERT_TRUE(parseInfoLine("info  nodes 5\tscore loss 4 depth 2", t));  // any order, any blanks
  EXPECT_EQ(thinkingFieldsText(t), "depth 2 score loss 4 nodes 5");
  std::string longPv = "info depth 40 score 3 pv";
  for (int i = 0; i < 40; ++i) longPv += " 1121";
  ASSERT_TRUE(parseInfoLine(longPv, t));
  EXPECT_EQ(t.pv.size(), kMaxPvMoves);
  const Thinking kept = t;
  for (const char* bad : {"info depth 3", "info score 5", "depth 3 score 5", "info depth 3 score 5 time 20",
                          "info depth 3 score +5", "info depth 3 score 5 pv 1161", "info depth 3 score win",
                          "info depth -1 score 5", "info depth 3 depth 4 score 5", "information depth 3 score 5",
                          "info depth 3 score 5 nodes", "info depth 3 score 99999999999"}) {
    EXPECT_FALSE(parseInfoLine(bad, t)) << bad;
  }
  EXPECT_EQ(t, kept);  // a refused line leaves it alone
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
