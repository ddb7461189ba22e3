#include "rules/game_rules.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

// Black two pieces, white one, both able to step.
Board blackAhead() { return boardWith({{0, 0, kBlack}, {0, 5, kBlack}, {5, 5, kWhite}}); }

TEST(GameRules, EachPresetEndsGamesAsItsEventDoes) {
  const GameRules draw80 = *rulesByName("draw80");
  const GameRules pieces50 = *rulesByName("pieces50-repetition");
  const GameRules pieces80 = *rulesByName("pieces80");
  EXPECT_EQ(draw80, GameRules{});  // today's default
  EXPECT_FALSE(rulesByName("draw81").has_value());
  EXPECT_EQ(rulesName(pieces80), "pieces80");

  const Board board = blackAhead();
  // The quiet limit: a draw, or a win for the side with more pieces.
  EXPECT_EQ(judgePosition(draw80, board, kWhite, 79, 100, false).end, RuleEnd::kNone);
  RuleVerdict v = judgePosition(draw80, board, kWhite, 80, 100, false);
  EXPECT_EQ(v.end, RuleEnd::kQuietLimit);
  EXPECT_EQ(v.winner, 0);
  v = judgePosition(pieces80, board, kWhite, 80, 100, false);
  EXPECT_EQ(v.end, RuleEnd::kQuietLimit);
  EXPECT_EQ(v.winner, kBlack);
  EXPECT_EQ(judgePosition(pieces50, board, kWhite, 50, 100, false).winner, kBlack);
  const Board equal = boardWith({{0, 0, kBlack}, {5, 5, kWhite}});
  v = judgePosition(pieces50, equal, kBlack, 50, 100, false);
  EXPECT_EQ(v.end, RuleEnd::kQuietLimit);
  EXPECT_EQ(v.winner, 0);
  const Board whiteAhead = boardWith({{0, 0, kBlack}, {5, 5, kWhite}, {5, 0, kWhite}});
  EXPECT_EQ(judgePosition(pieces50, whiteAhead, kBlack, 50, 100, false).winner, kWhite);

  // A repetition ends only the tournament game; there it goes to the side with more pieces.
  EXPECT_EQ(judgePosition(draw80, board, kWhite, 10, 100, true).end, RuleEnd::kNone);
  v = judgePosition(pieces50, board, kWhite, 10, 100, true);
  EXPECT_EQ(v.end, RuleEnd::kRepetition);
  EXPECT_EQ(v.winner, kBlack);

  // The cap.
  v = judgePosition(draw80, board, kWhite, 10, 400, false);
  EXPECT_EQ(v.end, RuleEnd::kPlyCap);
  EXPECT_EQ(v.winner, 0);
  EXPECT_EQ(judgePosition(pieces80, board, kWhite, 10, 400, false).winner, kBlack);
}

TEST(GameRules, ASideWithoutAMoveLosesBeforeAnyRuleIsAsked) {
  // White's only piece is walled in by black pieces that it cannot take.
  const Board board = boardWith({{0, 0, kWhite}, {0, 1, kBlack}, {1, 0, kBlack}, {1, 1, kBlack}});
  for (const RulesPreset& preset : rulesPresets()) {
    const RuleVerdict v = judgePosition(preset.rules, board, kWhite, 500, 500, true);
    EXPECT_EQ(v.end, RuleEnd::kNoMoves) << preset.name;
    EXPECT_EQ(v.winner, kBlack) << preset.name;
  }
}

}  // namespace
}  // namespace tovrane
