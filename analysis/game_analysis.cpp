#include "analysis/game_analysis.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "rules/move_generator.h"
#include "search/pro_search.h"

namespace tovrane {

namespace {

int32_t capped(int32_t score) { return std::clamp(score, -kLossCap, kLossCap); }

// The score of the position the game ended in by rule, for its side to move.
int32_t ruleScore(const RuleVerdict& verdict, Side toMove) {
  if (verdict.winner == 0) return 0;
  return verdict.winner == toMove ? kProWinScore : -kProWinScore;
}

// A score for the side to move one ply later, seen by the side that moved
// into it: a proved result lies one ply further away.
int32_t fromMover(int32_t score) {
  const int32_t mine = -score;
  if (mine > kProWinBound) return mine - 1;
  if (mine < -kProWinBound) return mine + 1;
  return mine;
}

// The positions since the last capture, to tell a repetition.
struct QuietRun {
  std::vector<std::pair<Board, Side>> seen;
  int plies = 0;
  bool contains(const Board& board, Side side) const {
    return std::find(seen.begin(), seen.end(), std::make_pair(board, side)) != seen.end();
  }
};

}  // namespace

MoveMark markMove(int32_t before, int32_t after, bool playedBest, int32_t& loss) {
  loss = 0;
  if (playedBest) return MoveMark::kNone;
  loss = std::max(0, capped(before) - capped(after));
  const bool winThrownAway = before > kProWinBound && after <= kProWinBound;
  const bool intoProvedLoss = before >= -kProWinBound && after < -kProWinBound;
  if (winThrownAway || intoProvedLoss || loss >= kBlunderLoss) return MoveMark::kBlunder;
  return loss >= kMistakeLoss ? MoveMark::kMistake : MoveMark::kNone;
}

GameAnalysis analyseGame(const Board& start, Side first, const std::vector<Move>& moves,
                         const AnalysisSettings& settings, const PlyReport& report) {
  auto search = std::make_unique<ProSearch>(nullptr, settings.hashMegabytes);
  search->setNetwork(&defaultNet());
  search->setRules(settings.rules);
  // engine-pro scores going round in circles as a draw even where the
  // rules play on; judged by those rules, a position that comes back is no
  // result, and avoiding one is no mistake.
  search->setHistoryRepetitions(settings.rules.repetitionEnds);
  if (settings.moveSeconds > 0) {
    search->setTimeBudget(settings.moveSeconds);
  } else {
    search->setFixedDepth(settings.depth);
  }
  search->gameStarted(start, first);

  GameAnalysis analysis;
  Board board = start;
  Side side = first;
  QuietRun run;
  run.seen.emplace_back(board, side);
  ProResult current = search->search(board, side);
  const int count = static_cast<int>(moves.size());
  for (int i = 0; i < count; ++i) {
    const Move& move = moves[static_cast<size_t>(i)];
    if (!isLegalMove(board, side, move)) {
      throw std::runtime_error("move " + std::to_string(i + 1) + " (" + moveText(move) + ") is not legal");
    }
    PlyAnalysis ply;
    ply.ply = i + 1;
    ply.mover = side;
    ply.board = board;
    ply.played = move;
    ply.capture = board.at(move.toRow, move.toCol) != kEmpty;
    ply.best = current.move;
    ply.before = current.score;
    ply.depth = current.depth;

    applyMove(board, move);
    side = opponent(side);
    if (ply.capture) run.seen.clear();
    run.plies = ply.capture ? 0 : run.plies + 1;
    search->movePlayed(board, side);
    const bool last = i + 1 == count;
    const bool repeated = run.contains(board, side);
    const RuleVerdict verdict = judgePosition(settings.rules, board, side, run.plies, i + 1, repeated);
    run.seen.emplace_back(board, side);
    const bool gameOver = last && verdict.end != RuleEnd::kNone;
    current = gameOver ? ProResult{} : search->search(board, side);
    const int32_t afterScore = verdict.end != RuleEnd::kNone ? ruleScore(verdict, side) : current.score;
    if (gameOver) current.score = afterScore;
    ply.after = fromMover(afterScore);
    // The search's score of its own move can differ a little from the
    // next search's; a best move played is never marked.
    ply.mark = markMove(ply.before, ply.after, move == ply.best, ply.loss);
    SideSummary& summary = ply.mover == kBlack ? analysis.black : analysis.white;
    ++summary.moves;
    summary.totalLoss += ply.loss;
    summary.mistakes += ply.mark == MoveMark::kMistake;
    summary.blunders += ply.mark == MoveMark::kBlunder;
    analysis.plies.push_back(ply);
    if (report && !report(ply, count)) {
      analysis.stopped = !last;
      break;
    }
  }
  analysis.finalScore = current.score;
  return analysis;
}

int32_t blackView(int32_t score, Side side) { return capped(side == kBlack ? score : -score); }

std::string scoreText(int32_t score) {
  std::string text = score > kProWinBound ? "win" : score < -kProWinBound ? "loss" : score > 0 ? "+" : "";
  if (score > kProWinBound) return text.append(std::to_string(kProWinScore - score));
  if (score < -kProWinBound) return text.append(std::to_string(kProWinScore + score));
  return text.append(std::to_string(score));
}

const char* markWord(MoveMark mark) {
  switch (mark) {
    case MoveMark::kMistake: return "mistake";
    case MoveMark::kBlunder: return "blunder";
    case MoveMark::kNone: break;
  }
  return "";
}

}  // namespace tovrane
