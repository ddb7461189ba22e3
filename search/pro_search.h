#pragma once
// engine-pro's search: iterative deepening with aspiration windows,
// principal variation search, a transposition table, move ordering (table
// move, captures, killers, history), quiescence over captures, and the
// knowledge of the game's draw by quiet plies and of repetitions.
//
// Scores are for the side to move. A proved result is an end of the game
// under the rules set (setRules): a side left without a legal move, or a
// repetition, the quiet limit or the ply cap where the rules give the game
// to the side with more pieces. It scores kProWinScore less its distance in
// plies (negated for a loss); nothing else ever scores that high. A win
// score kProWinScore - d promises a win within d plies against any defence,
// and a loss score the opponent's win within d plies whatever we play, for
// the game's real history (the positions it may repeat, its quiet run, its
// ply count), which gameStarted/movePlayed tell. Of the wins found, the
// nearer scores higher; pruning may hide a still nearer one, and the
// search stops deepening once it has searched deeper than the win's
// distance, so "nearer" holds among the wins it saw. An unfinished
// iteration reports a loss only if a finished one proved it.
//
// Such results enter the table only where they hold for every history
// that reaches the position and passes proofHoldsHere: the quiet run and
// the ply cap are out of the result's reach, and under rules where a
// repetition ends the game, the position has no earlier one to repeat.
// Any other proved result is kept there as a move only.
//
// Use in-process:
//   ProSearch pro(nullptr, 64);           // no book, 64 MiB table
//   pro.setTimeBudget(0.1);               // seconds per move, or
//   pro.setFixedDepth(6);                 // a fixed depth: the same result every run
//   ProResult r = pro.search(board, side);
// For games, gameStarted/movePlayed (MoveChooser) tell it the history.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "eval/net_eval.h"
#include "game/board.h"
#include "game/opening_book.h"
#include "rules/game_rules.h"
#include "game/bitboard.h"
#include "rules/capture_tables.h"
#include "rules/mask_move_generator.h"
#include "rules/move_generator.h"
#include "search/move_chooser.h"
#include "search/pro_position.h"
#include "search/time_policy.h"
#include "search/transposition_table.h"

namespace tovrane {

constexpr int32_t kProWinScore = 1000000;
constexpr int32_t kProWinBound = kProWinScore - 1000;  // scores beyond this are proved results
constexpr int kProMaxPly = 128;
constexpr int kProDefaultDrawPlies = 80;

// A move as two cells, as the bit-mask move generator writes it.
using ProMove = CellMove;

// What one finished iteration (or the whole search) found.
struct ProResult {
  bool hasMove = false;
  Move move{};
  int32_t score = 0;
  int depth = 0;
  uint64_t nodes = 0;
  double seconds = 0;
  ProMove pv[kProMaxPly];
  int pvLength = 0;
};

// The search's selectivity, each part kept because a match showed it
// gains (the README lists the matches); switchable for such matches.
struct ProSelectivity {
  bool lateMoveReductions = true;  // late quiet moves searched a ply or two shallower first
  bool logReductions = false;      // ... by more, the deeper and the later
  bool nullMovePruning = true;
  bool nullMoveGuard = false;      // no null move with few pieces or right after another
  bool reverseFutility = true;     // far above beta near the leaves: cut
  bool futility = true;            // far below alpha near the leaves: captures only
  bool lateMovePruning = true;     // near the leaves, the last quiet moves are left out
  bool quiescenceDelta = false;    // quiescence far below alpha: no capture can help
  bool internalReduction = false;  // no table move: a ply shallower
  bool quiescenceTable = false;    // the capture search reads and fills the table too
  bool safeCapturesFirst = false;  // captures whose piece cannot be taken back come first
  bool boundedHistory = false;     // history scores saturate instead of being halved
  bool helperDepthSkips = true;    // threads: each helper leaves out its own pattern of depths
};

class ProSearch : public MoveChooser {
 public:
  // book may be null: then no book is consulted. The table takes at most
  // hashMegabytes MiB.
  ProSearch(OpeningBook* book, size_t hashMegabytes);

  // Seconds per move (the answer comes within it, search/time_policy.h);
  // turns off a fixed depth.
  void setTimeBudget(double seconds);
  // The time of one move as a plan: no iteration starts after softSeconds,
  // the search stops at hardSeconds (hard >= soft). A clock's time manager
  // makes one before every move. Where the best move keeps changing or the
  // score falls, iterations go on past softSeconds (search/time_policy.h).
  // Turns off a fixed depth.
  void setTimePlan(double softSeconds, double hardSeconds);
  // Searches to exactly this depth, without a clock, starting from an
  // empty table each time: the same result on every run and machine.
  void setFixedDepth(int depth);
  // Stops each search after about this many nodes (0: no limit), once the
  // first iteration is done; with a fixed depth too. The same result on
  // every run and machine, whatever the load: for data generation and
  // matches that must not depend on speed.
  void setNodeLimit(uint64_t nodes) { nodeLimit_ = nodes; }
  // A flag another thread may raise to end the search early (once the first
  // iteration is done, so there is always a move); null: none.
  void setStopSignal(const std::atomic<bool>* stop) { stopSignal_ = stop; }
  // The rules the game is played under: the search plays for the result
  // they give (a draw or a win by pieces at the quiet limit, a repetition).
  // A change of rules empties the table: its proved results were for others.
  void setRules(const GameRules& rules);
  const GameRules& rules() const { return rules_; }
  // The run of plies without a capture after which the game is a draw.
  void setDrawPlies(int plies) {
    GameRules rules = rules_;
    rules.quietLimit = plies;
    setRules(rules);
  }
  // Whether positions of the game before the root count as repetitions
  // (default yes: engine-pro avoids going round in circles even where the
  // rules play on). Without, the game history still gives the run of quiet
  // plies; a game analysis uses it where a repetition is not a result.
  void setHistoryRepetitions(bool on) { historyRepetitions_ = on; }
  // Called after each finished iteration (tools print it).
  void setIterationReport(std::function<void(const ProResult&)> report) { report_ = std::move(report); }

  // MoveChooser: a book move when the position has one, else a search.
  bool chooseMove(Board& board, Side side, Move& out) override;
  // A referee's game starts with black to move; a set-up position may not.
  void gameStarted(const Board& board) override { gameStarted(board, kBlack); }
  // pliesPlayed: plies of the game before board (a game taken up midway).
  void gameStarted(const Board& board, Side sideToMove, int pliesPlayed = 0);
  void movePlayed(const Board& board, Side sideToMove) override;

  // The search alone (no book), after the game history told so far.
  ProResult search(const Board& board, Side side);

  const TranspositionTable& table() const { return *table_; }

  // Threads searching each move (1 to kMaxThreads, default 1): helpers
  // share the table (Lazy SMP, see search()). One thread and a fixed depth
  // give the same result on every run; more threads do not.
  static constexpr int kMaxThreads = 64;
  void setThreads(int threads);

  void setSelectivity(const ProSelectivity& selectivity) { selectivity_ = selectivity; }
  // Evaluates with this network (null: the hand-made evaluation, the
  // default); the network must outlive the search.
  void setNetwork(const NetWeights* net);

 private:
  using Clock = std::chrono::steady_clock;

  // The node's static score and what the pruning near the leaves may do.
  struct NodePruning {
    bool mayPrune = false;  // away from the principal variation, with a move to play
    bool futile = false;    // near the leaves, far below alpha: captures only
    int32_t eval = 0;       // the static score (0 where no pruning wants it)
  };

  // The search of one node, in the order it does its work: the rules' ends,
  // the table, the pruning before any move (reverse futility, null move),
  // then the moves (futility, late move pruning and reductions, principal
  // variation search), the result stored in the table.
  int32_t alphaBeta(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode);
  bool tableCutoff(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode, ProMove& tableMove,
                   int32_t& score);
  NodePruning nodePruning(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode);
  bool reverseFutilityCutoff(const NodePruning& node, int depth, int32_t beta) const;
  bool nullMoveCutoff(const NodePruning& node, int depth, int32_t beta, int ply, int32_t& score);
  void makeNullMove(int ply);
  void unmakeNullMove(int ply);
  int32_t searchMoves(const NodePruning& node, ProMove* moves, int32_t* keys, int count, int depth, int32_t alpha,
                      int32_t beta, int ply, bool pvNode);
  bool skipLateMove(const NodePruning& node, int depth, int i, bool plainQuiet, int quietsTried, int32_t best) const;
  int lateMoveReduction(int depth, int newDepth, int i, bool plainQuiet, bool pvNode) const;
  int32_t searchMove(ProMove m, int newDepth, int reduction, int32_t alpha, int32_t beta, int ply, bool pvNode,
                     bool first);
  void recordPvMove(ProMove m, int32_t score, int ply);
  void storeResult(int32_t best, int32_t alphaAtStart, int32_t beta, int depth, int ply, ProMove bestMove);
  int32_t quiesce(int32_t alpha, int32_t beta, int ply, int qdepth);
  bool quiescenceTableCutoff(int32_t alpha, int32_t beta, int ply, ProMove& tableMove, bool& found, int32_t& score);
  void storeQuiescence(int32_t best, int32_t alphaAtStart, int32_t beta, int ply, ProMove bestMove);
  bool canBeTakenBack(ProMove m) const;
  void updateKillers(ProMove best, int ply);
  int32_t staticScore(int ply) const;
  // Whether the game ends by rule at this node (the side to move having a
  // move); score is then its result for the side to move.
  bool endsByRule(int ply, int32_t& score) const;
  // Where the positions this node could repeat begin in pathKeys_.
  int repetitionWindowStart(int ply) const;
  bool capReached(int ply) const;
  // Whether a result (as the table holds it: plies counted from this node)
  // means the same for every history that reaches this node and passes this
  // check: for a proved result, no quiet limit or cap within its reach, and
  // under rules where a repetition ends the game, no earlier position to
  // repeat.
  bool proofHoldsHere(int32_t tableScore, int ply) const;
  int32_t awardScore(RuleAward award, int ply) const;
  bool outOfTime();
  // The iterations of one search from firstDepth on (helpers start deeper).
  ProResult iterate(const Board& board, Side side, int firstDepth);
  // Whether this helper leaves depth out (ProSelectivity::helperDepthSkips).
  bool skipsDepth(int depth, int firstDepth, int maxDepth) const;
  // A helper takes the main search's rules, settings and game history.
  void followGame(const ProSearch& main);

  void makeMove(ProMove m, int ply);
  void unmakeMove(ProMove m, int ply);
  // The side to move's legal moves (capturesOnly: its captures), each once,
  // ordered for the search into moves; returns the count.
  int listMoves(ProMove* moves, int32_t* keys, int ply, ProMove tableMove, bool capturesOnly);
  void updateHistory(ProMove best, const ProMove* tried, int triedCount, int depth, int ply);

  OpeningBook* book_;
  std::unique_ptr<TranspositionTable> ownTable_;
  TranspositionTable* table_;  // ownTable_, or for a helper the main search's
  int threads_ = 1;
  std::vector<std::unique_ptr<ProSearch>> helpers_;
  int helperIndex_ = -1;  // this search's place among its owner's helpers; -1: the main search
  std::atomic<bool>* sharedStop_ = nullptr;  // a helper's: set when the main search ends
  const NetWeights* net_ = nullptr;
  double softSeconds_ = 0.4;
  double hardSeconds_ = 0.8;
  int fixedDepth_ = 0;
  uint64_t nodeLimit_ = 0;
  GameRules rules_{};
  bool historyRepetitions_ = true;
  ProSelectivity selectivity_{};
  std::function<void(const ProResult&)> report_;

  // The game so far: position keys since the last capture (side to move
  // included) and the piece count of the last position.
  static constexpr int kMaxGameKeys = 512;
  uint64_t gameKeys_[kMaxGameKeys];
  int gameKeyCount_ = 0;
  int gamePieces_ = -1;
  int gameQuiet_ = 0;
  int gamePlies_ = 0;  // plies played before the last position told

  // The search's own state: the position as bit masks (the pieces, and the
  // ring entries they stand on), kept up to date by make and unmake.
  ProPosition pos_;
  NetStack netStack_;  // the network's accumulators, one per ply, when pos_.net points here
  int rootIndex_ = 0;  // where the root stands in pathKeys_
  int rootPlies_ = 0;  // plies of the game before the root
  int nullFloor_ = 0;  // pathKeys_ index of the position after the last null move on the path
  int nullFloorBefore_[kProMaxPly + 2];
  // pathKeys_[rootIndex_ + ply]: path keys; quiet_[ply]: plies since a capture.
  uint64_t pathKeys_[kMaxGameKeys + kProMaxPly + 2];
  int quiet_[kProMaxPly + 2];
  bool captured_[kProMaxPly + 2];
  bool nullMove_[kProMaxPly + 2] = {};  // the move into this ply was a null move
  ProMove killers_[kProMaxPly + 2][2];
  int32_t history_[3][kCellCount][kCellCount];
  ProMove pv_[kProMaxPly + 2][kProMaxPly + 2];
  int pvLength_[kProMaxPly + 2];
  uint64_t nodes_ = 0;
  bool stopped_ = false;
  const std::atomic<bool>* stopSignal_ = nullptr;
  Clock::time_point start_;
  Clock::time_point hardDeadline_;
  ProMove rootBest_{};
  int32_t rootBestScore_ = 0;
  bool rootBestValid_ = false;
};

}  // namespace tovrane
