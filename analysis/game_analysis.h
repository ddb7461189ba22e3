#pragma once
// Goes over a played game with engine-pro and marks the moves that gave
// away most: for every ply the position is searched before and after the
// move, and the difference, seen from the side that moved, is the move's
// loss. Used by 'tovrane analyse' and by the web page's replay.
//
//   AnalysisSettings settings;          // engine-pro to depth 10
//   settings.rules = gameRules;         // the rules the game was played under
//   GameAnalysis a = analyseGame(start, kBlack, moves, settings);
//   for (const PlyAnalysis& p : a.plies) ... p.mark ...
//
// Scores are in engine-pro's units (a piece is worth about 100); a score
// beyond kProWinBound is a proved result (search/pro_search.h).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "eval/net_eval.h"
#include "game/board.h"
#include "rules/game_rules.h"

namespace tovrane {

enum class MoveMark { kNone, kMistake, kBlunder };

// What a loss must reach for a mark. A move that throws away a proved win,
// or walks from a position not lost into a proved loss, is always a blunder.
// A piece's worth is about one scale of the network's win-chance curve.
constexpr int32_t kMistakeLoss = kNetChanceScale;
constexpr int32_t kBlunderLoss = 2 * kNetChanceScale;

struct AnalysisSettings {
  int depth = 10;           // a fixed depth per position (the same marks on every run) ...
  double moveSeconds = 0;   // ... or, when above 0, seconds per position instead
  GameRules rules{};        // the rules the game was played under
  size_t hashMegabytes = 64;
};

struct PlyAnalysis {
  int ply = 0;            // 1-based
  Side mover = kBlack;
  Board board{};          // the position before the move
  Move played{};
  bool capture = false;
  Move best{};            // engine-pro's move in board
  int32_t before = 0;     // the best score in board, for the mover
  int32_t after = 0;      // the score after the played move, for the mover
  int32_t loss = 0;       // before - after (0 when the best move was played; never below 0)
  MoveMark mark = MoveMark::kNone;
  int depth = 0;          // the search depth reached before the move
};

struct SideSummary {
  int moves = 0;
  int mistakes = 0;
  int blunders = 0;
  int64_t totalLoss = 0;  // of the scores capped at kLossCap
  int32_t averageLoss() const { return moves > 0 ? static_cast<int32_t>(totalLoss / moves) : 0; }
};

struct GameAnalysis {
  std::vector<PlyAnalysis> plies;
  int32_t finalScore = 0;  // the last position's score, for its side to move
  SideSummary black;
  SideSummary white;
  bool stopped = false;    // the caller stopped it before the end
};

// Scores are capped at this size before losses are taken, so that a proved
// result counts like a large advantage in the averages.
constexpr int32_t kLossCap = 1000;

// The loss and mark of a move from the mover's best score before it and the
// score after it; playedBest: the played move is engine-pro's choice.
MoveMark markMove(int32_t before, int32_t after, bool playedBest, int32_t& loss);

// Called after every ply with that ply and the number of plies; returning
// false stops the analysis (the plies so far are kept).
using PlyReport = std::function<bool(const PlyAnalysis& ply, int plyCount)>;

// Analyses the moves played from start (first: the side to move there).
// Throws std::runtime_error when a move is not legal in its position.
GameAnalysis analyseGame(const Board& start, Side first, const std::vector<Move>& moves,
                         const AnalysisSettings& settings, const PlyReport& report = {});

// A score for the graph: from black's view, capped at kLossCap.
int32_t blackView(int32_t score, Side side);

// "+35", "-120", or "win7" / "loss4" (a proved result in that many plies).
std::string scoreText(int32_t score);
const char* markWord(MoveMark mark);  // "", "mistake", "blunder"

}  // namespace tovrane
