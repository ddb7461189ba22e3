#include "selfplay/selfplay_game.h"

#include <algorithm>
#include <memory>
#include <random>

#include "match/openings.h"
#include "rules/move_generator.h"
#include "rules/perft.h"
#include "search/pro_search.h"
#include "search/transposition_table.h"

namespace tovrane {

namespace {

uint64_t splitMix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

}  // namespace

uint64_t selfplayGameSeed(uint64_t seed, int64_t number) {
  return splitMix(splitMix(seed) ^ static_cast<uint64_t>(number));
}

SelfplayGame playSelfplayGame(const SelfplaySettings& settings, int64_t number) {
  SelfplayGame game;
  game.number = number;
  const uint64_t gameSeed = selfplayGameSeed(settings.seed, number);
  std::mt19937_64 rng(splitMix(gameSeed));  // apart from the opening's own generator
  const OpeningLine opening =
      settings.openingPlies > 0 ? randomOpenings(1, settings.openingPlies, gameSeed)[0] : OpeningLine{};
  game.openingPlies = static_cast<int>(opening.size());

  // A fresh search per game: its table and history start empty, so the game
  // does not depend on the games played before it in this process.
  auto search = std::make_unique<ProSearch>(nullptr, static_cast<size_t>(settings.hashMegabytes));
  if (settings.depth > 0) {
    search->setFixedDepth(settings.depth);
  } else {
    search->setTimePlan(1e9, 1e9);  // the node budget decides, never the clock
  }
  search->setNodeLimit(settings.depth > 0 ? 0 : settings.nodes);
  search->setRules(settings.rules);
  search->setNetwork(settings.net);

  Board board{};
  resetBoard(board);
  Side side = kBlack;
  search->gameStarted(board);
  std::vector<uint64_t> keysSinceCapture{zobristKey(board, side)};
  int quiet = 0;
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  std::vector<uint64_t> leafKeys;
  MoveList list;
  Move distinct[kMaxMoves];
  for (int ply = 0;; ++ply) {
    const uint64_t key = keysSinceCapture.back();
    const bool repeated = std::find(keysSinceCapture.begin(), keysSinceCapture.end() - 1, key) !=
                          keysSinceCapture.end() - 1;
    const RuleVerdict verdict = judgePosition(settings.rules, board, side, quiet, ply, repeated);
    if (verdict.end != RuleEnd::kNone) {
      game.end = verdict.end;
      game.winner = verdict.winner;
      break;
    }
    Move move{};
    if (ply < game.openingPlies) {
      move = opening[static_cast<size_t>(ply)];
    } else {
      const ProResult result = search->search(board, side);
      move = result.move;
      const QuietLeaf leaf = settleCaptures(board, side, settings.net);
      // Where the game plays the capture line, the next positions settle
      // to the same leaf: it is recorded once per game.
      const uint64_t leafKey = zobristKey(leaf.board, leaf.side);
      if (!leaf.lost && std::find(leafKeys.begin(), leafKeys.end(), leafKey) == leafKeys.end()) {
        leafKeys.push_back(leafKey);
        SelfplayPosition position;
        position.board = leaf.board;
        position.side = leaf.side;
        position.score = leaf.captureCount % 2 == 0 ? result.score : -result.score;
        position.ply = ply;
        position.captureCount = leaf.captureCount;
        std::copy(leaf.captures, leaf.captures + leaf.captureCount, position.captures);
        game.positions.push_back(position);
      }
      if (ply < settings.randomPlies && chance(rng) < settings.randomRate) {
        list.generateMoves(board, side);
        const int n = distinctMoves(list, distinct);
        move = distinct[rng() % static_cast<uint64_t>(n)];
        game.randomPlies.push_back(ply);
      }
    }
    const bool capture = board.at(move.toRow, move.toCol) != kEmpty;
    applyMove(board, move);
    side = opponent(side);
    game.moves.push_back(move);
    quiet = capture ? 0 : quiet + 1;
    if (capture) keysSinceCapture.clear();
    keysSinceCapture.push_back(zobristKey(board, side));
    search->movePlayed(board, side);
  }
  return game;
}

}  // namespace tovrane
