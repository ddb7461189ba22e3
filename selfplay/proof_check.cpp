#include "selfplay/proof_check.h"

#include <algorithm>
#include <memory>
#include <random>

#include "rules/move_generator.h"
#include "search/pro_search.h"

namespace tovrane {

namespace {

bool seenBefore(const std::vector<HistoryPosition>& earlier, const Board& board, Side side) {
  return std::any_of(earlier.begin(), earlier.end(),
                     [&](const HistoryPosition& p) { return p.side == side && p.board == board; });
}

// 2 to 4 pieces a side, anywhere: wins within a few plies are common.
Board randomSparseBoard(std::mt19937_64& rng) {
  Board board{};
  const int white = 2 + static_cast<int>(rng() % 3);
  const int black = 2 + static_cast<int>(rng() % 3);
  for (int n = 0; n < white + black; ++n) {
    int cell = 0;
    do {
      cell = static_cast<int>(rng() % kCellCount);
    } while (board.cells[cell] != kEmpty);
    board.cells[cell] = n < white ? kWhite : kBlack;
  }
  return board;
}

// One game as both the referee and the plain search see it.
struct GameState {
  Board board{};
  Side side = kBlack;
  int quiet = 0;
  int ply = 0;
  std::vector<HistoryPosition> earlier;  // since the last capture, before this position

  void play(Move m) {
    Board next = board;
    applyMove(next, m);
    if (countPieces(next) != countPieces(board)) {
      earlier.clear();
      quiet = 0;
    } else {
      earlier.push_back({board, side});
      ++quiet;
    }
    board = next;
    side = opponent(side);
    ++ply;
  }
  RuleVerdict verdict(const GameRules& rules) const {
    return judgePosition(rules, board, side, quiet, ply, seenBefore(earlier, board, side));
  }
};

Move randomMove(std::mt19937_64& rng, const MoveList& list, bool quietOnly, const Board& board) {
  std::vector<Move> pool;
  for (int i = 0; i <= list.lastIndex; ++i) {
    const Move m = list.moves[i];
    Board next = board;
    applyMove(next, m);
    if (!quietOnly || countPieces(next) == countPieces(board)) pool.push_back(m);
  }
  if (pool.empty()) return list.moves[rng() % list.size()];
  return pool[rng() % pool.size()];
}

// A sparse position that does not end the game at once.
GameState randomStart(const GameRules& rules, std::mt19937_64& rng) {
  GameState state;
  for (;;) {
    state = GameState{};
    state.board = randomSparseBoard(rng);
    state.side = rng() % 2 == 0 ? kWhite : kBlack;
    if (state.verdict(rules).end == RuleEnd::kNone) break;
  }
  return state;
}

}  // namespace

bool forcesWin(const GameRules& rules, const Board& board, Side toMove, int quiet, int gamePly,
               std::vector<HistoryPosition>& earlier, Side winner, int plies) {
  const RuleVerdict verdict =
      judgePosition(rules, board, toMove, quiet, gamePly, seenBefore(earlier, board, toMove));
  if (verdict.end != RuleEnd::kNone) return verdict.winner == winner;
  if (plies == 0) return false;
  MoveList list;
  list.generateMoves(board, toMove);
  const bool ours = toMove == winner;
  for (int i = 0; i <= list.lastIndex; ++i) {
    Board next = board;
    applyMove(next, list.moves[i]);
    bool wins = false;
    if (countPieces(next) != countPieces(board)) {
      std::vector<HistoryPosition> none;
      wins = forcesWin(rules, next, opponent(toMove), 0, gamePly + 1, none, winner, plies - 1);
    } else {
      earlier.push_back({board, toMove});
      wins = forcesWin(rules, next, opponent(toMove), quiet + 1, gamePly + 1, earlier, winner, plies - 1);
      earlier.pop_back();
    }
    if (wins == ours) return ours;  // the winner found a way, or the other side an escape
  }
  return !ours;
}

ProofCheckReport runProofCheck(const ProofCheckSettings& settings,
                               const std::function<void(const ProofCheckReport&)>& progress) {
  ProofCheckReport report;
  auto pro = std::make_unique<ProSearch>(nullptr, settings.hashMegabytes);
  pro->setRules(settings.rules);
  // Never stopped by the clock: the node limit alone ends each search, so a
  // run gives the same claims on every machine. The table is kept from move
  // to move, as in a game.
  pro->setTimePlan(1e9, 1e9);
  pro->setNodeLimit(settings.nodes);
  pro->setThreads(settings.threads);
  for (int game = settings.firstGame; game < settings.firstGame + settings.games; ++game) {
    std::mt19937_64 rng(settings.seed * 1000003 + static_cast<uint64_t>(game));
    GameState state = randomStart(settings.rules, rng);
    // A random walk of quiet moves that ends no game, from the game's start
    // or (half the games) ending a few plies before the cap.
    const int walkLimit = settings.rules.quietLimit > 0 ? settings.rules.quietLimit : 60;
    const int walk = static_cast<int>(rng() % static_cast<uint64_t>(walkLimit));
    if (settings.rules.maxPlies > 0 && rng() % 2 == 0) {
      state.ply = std::max(0, settings.rules.maxPlies - walk - 1 - static_cast<int>(rng() % 24));
    }
    pro->gameStarted(state.board, state.side, state.ply);
    for (int n = 0; n < walk; ++n) {
      MoveList list;
      list.generateMoves(state.board, state.side);
      GameState next = state;
      next.play(randomMove(rng, list, true, state.board));
      if (next.verdict(settings.rules).end != RuleEnd::kNone) break;
      state = next;
      pro->movePlayed(state.board, state.side);
    }
    for (int played = 0; played < settings.gamePlies; ++played) {
      const ProResult result = pro->search(state.board, state.side);
      if (!result.hasMove) break;
      const int distance = kProWinScore - std::abs(result.score);
      if (std::abs(result.score) >= kProWinBound && distance <= settings.claimPlies) {
        ++report.claims;
        const Side winner = result.score > 0 ? state.side : opponent(state.side);
        std::vector<HistoryPosition> earlier = state.earlier;
        if (!forcesWin(settings.rules, state.board, state.side, state.quiet, state.ply, earlier, winner, distance)) {
          report.falseClaims.push_back(
              {game, played, boardDigits(state.board), state.side, state.quiet, state.ply, result.score});
        }
      }
      state.play(result.move);
      pro->movePlayed(state.board, state.side);
      if (state.verdict(settings.rules).end != RuleEnd::kNone) break;
    }
    ++report.games;
    if (progress) progress(report);
  }
  return report;
}

}  // namespace tovrane
