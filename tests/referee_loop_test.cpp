#include "engine/referee_loop.h"
#include "search/search_engine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "rules/move_generator.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

// Runs the loop on the given input, with no pause and no book, and keeps
// what it printed and the state it ended in.
struct Session {
  explicit Session(const std::string& input, const EngineSettings& settings = kStandardEngine)
      : in(input), search(settings, nullptr), loop(settings, search, in, out, nullptr) {
    status = loop.run();
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) result.push_back(line);
    return result;
  }
  std::istringstream in;
  std::ostringstream out;
  SearchEngine search;
  RefereeLoop loop;
  int status = -1;
};

bool isMoveReply(const std::string& line) {
  return line.size() == 9 && line.rfind("move ", 0) == 0 && isOnBoardMoveText(line.substr(5));
}

// The engine's own answer from a position, found the way the loop finds it.
std::string engineReply(Board board, Side side) {
  SearchEngine search(kStandardEngine, nullptr);
  Move move{};
  if (!search.chooseMove(board, side, move)) return "";
  return "move " + moveText(move);
}

TEST(RefereeWord, WordsAreRunsOfNonSpaceOfAnyLength) {
  const std::string huge(100000, 'x');
  const char tail[] = " a\0b\xff move";
  std::istringstream in(" \t\vname?\r\n\f" + huge + std::string(tail, sizeof tail - 1));
  RefereeWord word;
  ASSERT_TRUE(readRefereeWord(in, word));
  EXPECT_TRUE(word.is("name?"));
  EXPECT_EQ(in.peek(), '\r');  // the delimiter stays unread
  ASSERT_TRUE(readRefereeWord(in, word));
  EXPECT_EQ(word.length, huge.size());  // one word, however long
  EXPECT_EQ(word.kept(), huge.substr(0, RefereeWord::kCapacity));
  EXPECT_FALSE(word.is(huge.substr(0, RefereeWord::kCapacity)));
  ASSERT_TRUE(readRefereeWord(in, word));
  EXPECT_EQ(word.kept(), std::string_view("a\0b\xff", 4));  // any byte but white space belongs to a word
  ASSERT_TRUE(readRefereeWord(in, word));
  EXPECT_TRUE(word.is("move"));
  EXPECT_FALSE(readRefereeWord(in, word));
  EXPECT_EQ(word.length, 0u);
}

TEST(RefereeWord, MoveWordsNeedFourDigitsZeroToFiveAndAtMostSixCharacters) {
  const std::pair<std::string, std::string> accepted[] = {{"1222", "1222"}, {"122299", "1222"}, {"0055x", "0055"}};
  for (const auto& [text, move] : accepted) {
    Move out{};
    ASSERT_TRUE(parseMoveWord(text, out)) << text;
    EXPECT_EQ(moveText(out), move);
  }
  for (const std::string text : {"1234567", "123", "", "6000", "12/2", "-1-1", "1 22"}) {
    Move out{9, 9, 9, 9};
    EXPECT_FALSE(parseMoveWord(text, out)) << text;
    EXPECT_EQ(out, (Move{9, 9, 9, 9}));
  }
}

TEST(RefereeLoop, NameReplyEveryTimeItIsAsked) {
  Session s("name?\nname?\nstop\n");
  EXPECT_EQ(s.out.str(), "name Tovrane(2.2)\nname Tovrane(2.2)\n");
  EXPECT_EQ(s.status, 0);
  Session classic("name?", kClassicEngine);
  EXPECT_EQ(classic.out.str(), "name Tovrane(2.0)\n");
}

TEST(RefereeLoop, NewWhiteWaitsThenAnswersBlacksMove) {
  Session s("new white\nmove 1222\nstop\n");
  const auto lines = s.lines();
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_TRUE(isMoveReply(lines[0])) << lines[0];
  Board expected = test::initialBoard();
  applyMove(expected, test::mv("1222"));
  EXPECT_EQ(lines[0], engineReply(expected, kWhite));
  EXPECT_EQ(lines[0][5], '4');  // a white piece moves
  applyMove(expected, readMoveText(lines[0].c_str() + 5));
  EXPECT_EQ(s.loop.board(), expected);
  EXPECT_EQ(s.loop.ourSide(), kWhite);
}

TEST(RefereeLoop, AnyColourButWhiteMakesUsBlackAndMoveAtOnce) {
  for (const char* colour : {"black", "Black", "WHITE", "purple"}) {
    Session s(std::string("new ") + colour + "\n");
    const auto lines = s.lines();
    ASSERT_EQ(lines.size(), 1u) << colour;
    EXPECT_EQ(lines[0], engineReply(test::initialBoard(), kBlack)) << colour;
    EXPECT_EQ(s.loop.ourSide(), kBlack);
  }
}

TEST(RefereeLoop, LongOrMalformedMoveWordsLeaveTheBoardAlone) {
  const std::string bad[] = {"1234567", std::string(600, '1'), "12", "9999", "12a4", "-1-1"};
  for (const std::string& word : bad) {
    Session s("new white\nmove " + word + "\n");
    const auto lines = s.lines();
    ASSERT_EQ(lines.size(), 1u) << word;
    // Still our answer, for the unchanged initial position.
    EXPECT_EQ(lines[0], engineReply(test::initialBoard(), kWhite)) << word;
    EXPECT_EQ(s.loop.lastMove(), readMoveText(lines[0].c_str() + 5));
  }
}

TEST(RefereeLoop, FiveOrSixCharacterMoveWordsUseTheirFirstFour) {
  Session s("new white\nmove 122299\n");
  Board expected = test::initialBoard();
  applyMove(expected, test::mv("1222"));
  ASSERT_EQ(s.lines().size(), 1u);
  EXPECT_EQ(s.lines()[0], engineReply(expected, kWhite));
}

TEST(RefereeLoop, UnknownAndWronglyCasedCommandsAreIgnored) {
  Session s("NEW black\nName? hello Stop move\n4131\n");
  // Only "move 4131" counts, and no game has started: nothing to answer.
  EXPECT_EQ(s.out.str(), "");
  Board expected = test::initialBoard();
  applyMove(expected, test::mv("4131"));
  EXPECT_EQ(s.loop.board(), expected);
  EXPECT_EQ(s.loop.ourSide(), 0);
}

TEST(RefereeLoop, NewInTheMiddleOfAGameStartsAfresh) {
  Session s("new black\nmove 4131\nnew white\n");
  EXPECT_EQ(s.loop.board(), test::initialBoard());
  EXPECT_EQ(s.lines().size(), 2u);
}

TEST(RefereeLoop, StopEndsAtOnceAndEndOfInputEndsQuietly) {
  Session s("stop\nname?\n");
  EXPECT_EQ(s.out.str(), "");
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(s.in.tellg(), 4);  // nothing after "stop" was read
  Session cut("new");
  EXPECT_EQ(cut.status, 0);
  EXPECT_EQ(cut.out.str(), "");
  Session cutMove("new white move");
  EXPECT_EQ(cutMove.out.str(), "");
}

TEST(RefereeLoop, NoReplyWhenWeHaveNoMove) {
  // The referee's moves are not checked, so it can wipe out our pieces by
  // moving an empty square onto them. Once white has nothing left, white's
  // turn prints nothing and leaves the Board alone.
  std::string input = "new white\n";
  for (int wiped = 0; wiped < 12; ++wiped) {
    Session s(input);
    const Board board = s.loop.board();
    int target = -1;
    int empty = -1;
    for (int cell = 0; cell < kCellCount; ++cell) {
      if (board.cells[cell] == kWhite && target < 0) target = cell;
      if (board.cells[cell] == kEmpty && empty < 0) empty = cell;
    }
    ASSERT_GE(target, 0);
    const Move wipe{empty / 6, target / 6, empty % 6, target % 6};
    input += "move " + moveText(wipe) + "\n";
  }
  Session s(input);
  EXPECT_EQ(countPieces(s.loop.board(), kWhite), 0);
  EXPECT_EQ(s.lines().size(), 11u);  // a reply to every wipe but the last
}

TEST(RefereeLoop, OutputClosedEndsTheLoop) {
  std::istringstream in("name?\nname?\nname?\n");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  SearchEngine search(kStandardEngine, nullptr);
  RefereeLoop loop(kStandardEngine, search, in, out, nullptr);
  EXPECT_EQ(loop.run(), 0);
  EXPECT_EQ(in.tellg(), 5);  // stopped after the first reply failed
}

TEST(RefereeLoop, PlaysAWholeGameAgainstItselfWithLegalMoves) {
  // Two loops pass their replies to each other until one side has no move.
  std::string blackInput = "new black\n";
  std::string whiteInput = "new white\n";
  Board board = test::initialBoard();
  Side toMove = kBlack;
  int plies = 0;
  MoveList list;
  for (; plies < 16; ++plies) {
    Session session(toMove == kBlack ? blackInput : whiteInput);
    const auto lines = session.lines();
    list.generateMoves(board, toMove);
    if (list.lastIndex < 0) break;
    ASSERT_FALSE(lines.empty());
    const std::string reply = lines.back();
    ASSERT_TRUE(isMoveReply(reply)) << reply;
    const Move move = readMoveText(reply.c_str() + 5);
    bool legal = false;
    for (int i = 0; i <= list.lastIndex; ++i) legal = legal || list.moves[i] == move;
    ASSERT_TRUE(legal) << reply << " in " << boardDigits(board);
    applyMove(board, move);
    EXPECT_EQ(session.loop.board(), board);
    (toMove == kBlack ? whiteInput : blackInput) += reply + "\n";
    toMove = opponent(toMove);
  }
  EXPECT_GT(plies, 0);
}

}  // namespace
}  // namespace tovrane
