// engine-pro's claimed wins and losses, checked by a plain search that sees
// the game's real history, under every rules preset.

#include "selfplay/proof_check.h"

#include <gtest/gtest.h>

#include "rules/game_rules.h"

namespace tovrane {
namespace {

// The plain search itself knows the history: a step back onto a position
// seen before ends the game at once under a repetition rule (for the side
// with more pieces), and nowhere else.
TEST(ProofCheck, PlainSearchSeesTheHistory) {
  Board seen{};
  seen.at(0, 0) = kWhite;
  seen.at(0, 5) = kWhite;
  seen.at(5, 2) = kBlack;
  Board now = seen;
  now.at(0, 0) = kEmpty;
  now.at(1, 0) = kWhite;  // white stepped away; stepping back repeats `seen`, black to move
  std::vector<HistoryPosition> history{{seen, kBlack}};
  std::vector<HistoryPosition> none;
  const GameRules tournament = *rulesByName("pieces50-repetition");
  EXPECT_TRUE(forcesWin(tournament, now, kWhite, 1, 10, history, kWhite, 1));
  EXPECT_FALSE(forcesWin(tournament, now, kWhite, 1, 10, none, kWhite, 1));
  EXPECT_FALSE(forcesWin(*rulesByName("draw80"), now, kWhite, 1, 10, history, kWhite, 1));
  // Two plies before the cap, the side ahead wins by it under pieces80.
  EXPECT_TRUE(forcesWin(*rulesByName("pieces80"), now, kWhite, 1, 399, none, kWhite, 1));
}

// Every win or loss engine-pro claims within five plies, from random sparse
// positions after random histories (near the quiet limit and the ply cap
// among them), holds for the plain search.
TEST(ProofCheck, EveryClaimHoldsUnderEveryPreset) {
  for (const RulesPreset& preset : rulesPresets()) {
    ProofCheckSettings settings;
    settings.rules = preset.rules;
    settings.games = 300;
    settings.seed = 7;
    settings.nodes = 4000;
    const ProofCheckReport report = runProofCheck(settings, nullptr);
    EXPECT_GE(report.claims, 600u) << preset.name;
    for (const FalseClaim& c : report.falseClaims) {
      ADD_FAILURE() << preset.name << ": game " << c.game << " ply " << c.ply << " board " << c.board << " side "
                    << c.side << " quiet " << c.quiet << " game ply " << c.gamePly << " score " << c.score;
    }
  }
}

}  // namespace
}  // namespace tovrane
