#include "rules/game_rules.h"

#include "rules/move_generator.h"

namespace tovrane {

const std::vector<RulesPreset>& rulesPresets() {
  static const std::vector<RulesPreset> kPresets = {
      {"draw80", "80 plies without a capture are a draw; a repetition plays on; 400 plies are a draw",
       GameRules{80, RuleAward::kDraw, false, RuleAward::kDraw, 400, RuleAward::kDraw}},
      {"pieces50-repetition",
       "computer tournaments: any repetition, or 50 plies without a capture, ends the game and the side with "
       "more pieces wins (equal: a draw); 400 plies likewise",
       GameRules{50, RuleAward::kMorePieces, true, RuleAward::kMorePieces, 400, RuleAward::kMorePieces}},
      {"pieces80",
       "university courses: 80 plies without a capture end the game and the side with more pieces wins (equal: "
       "a draw); a repetition plays on; 400 plies likewise",
       GameRules{80, RuleAward::kMorePieces, false, RuleAward::kDraw, 400, RuleAward::kMorePieces}},
  };
  return kPresets;
}

std::optional<GameRules> rulesByName(std::string_view name) {
  for (const RulesPreset& preset : rulesPresets()) {
    if (name == preset.name) return preset.rules;
  }
  return std::nullopt;
}

std::string rulesName(const GameRules& rules) {
  for (const RulesPreset& preset : rulesPresets()) {
    if (rules == preset.rules) return preset.name;
  }
  return {};
}

namespace {
const char* awardWord(RuleAward award) { return award == RuleAward::kDraw ? "draw" : "pieces"; }
std::string limitWords(int limit, RuleAward award) {
  return limit > 0 ? std::to_string(limit) + " " + awardWord(award) : std::string("none");
}
}  // namespace

std::string rulesWords(const GameRules& rules) {
  auto limit = [](int plies) { return plies > 0 ? std::to_string(plies) : std::string("none"); };
  if (rules.quietAward == RuleAward::kDraw && !rules.repetitionEnds && rules.capAward == RuleAward::kDraw) {
    return "draw-plies " + limit(rules.quietLimit) + " max-plies " + limit(rules.maxPlies);
  }
  const std::string name = rulesName(rules);
  return (name.empty() ? "" : "rules " + name + " ") + "quiet-plies " +
         limitWords(rules.quietLimit, rules.quietAward) + " repetition " +
         (rules.repetitionEnds ? awardWord(rules.repetitionAward) : "plays-on") + " max-plies " +
         limitWords(rules.maxPlies, rules.capAward);
}

Side awardWinner(RuleAward award, const Board& board) {
  if (award == RuleAward::kDraw) return 0;
  const int black = countPieces(board, kBlack);
  const int white = countPieces(board, kWhite);
  return black > white ? kBlack : white > black ? kWhite : 0;
}

RuleVerdict judgePosition(const GameRules& rules, const Board& board, Side toMove, int quietPlies, int plies,
                          bool repeated) {
  if (!hasAnyMove(board, toMove)) return {RuleEnd::kNoMoves, opponent(toMove)};
  if (rules.repetitionEnds && repeated) return {RuleEnd::kRepetition, awardWinner(rules.repetitionAward, board)};
  if (rules.quietLimit > 0 && quietPlies >= rules.quietLimit) {
    return {RuleEnd::kQuietLimit, awardWinner(rules.quietAward, board)};
  }
  if (rules.maxPlies > 0 && plies >= rules.maxPlies) return {RuleEnd::kPlyCap, awardWinner(rules.capAward, board)};
  return {};
}

}  // namespace tovrane
