#include "search/pro_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <thread>
#include <vector>

#include "eval/pro_eval.h"

namespace tovrane {

namespace {

// Selectivity near the leaves (a piece is worth about 100).
constexpr int kReverseFutilityDepth = 4;
constexpr int32_t kReverseFutilityMargin = 80;
constexpr int kFutilityDepth = 2;
constexpr int32_t kFutilityMargin = 90;
constexpr int kLateMovePruningDepth = 3;
constexpr int kLateMoveCounts[kLateMovePruningDepth + 1] = {0, 6, 10, 16};
constexpr int kNullMoveMinPieces = 3;
constexpr int32_t kDeltaMargin = 250;
constexpr int kInternalReductionDepth = 4;

// Late-move reductions growing with the depth and the move's place in the
// list: about ln(depth) ln(place) / 2.25 plies, rounded.
constexpr int kReductionDepths = 64;
constexpr int kReductionMoves = 64;
struct ReductionTable {
  int8_t plies[kReductionDepths][kReductionMoves];
  const int8_t* operator[](int depth) const { return plies[depth]; }
};
const ReductionTable kReductions = [] {
  ReductionTable t{};
  for (int d = 1; d < kReductionDepths; ++d) {
    for (int i = 1; i < kReductionMoves; ++i) {
      t.plies[d][i] = static_cast<int8_t>(0.75 + std::log(d) * std::log(i) / 2.25);
    }
  }
  return t;
}();

constexpr int32_t kProInfinity = kProWinScore + 1;
// A move-only entry's score: a lower bound that never cuts, not even in
// the capture search, which reads entries of any depth.
constexpr int32_t kMoveOnlyScore = -kProInfinity;
constexpr int kMaxQuiescePlies = 12;
constexpr int32_t kTableMoveKey = 1 << 30;
constexpr int32_t kCaptureKey = 1 << 28;
constexpr int32_t kKillerKey = 1 << 27;
constexpr int32_t kHistoryCeiling = 1 << 20;
constexpr int32_t kSafeCaptureKey = 1 << 24;  // above any history score
constexpr int32_t kHistoryBound = 1 << 14;    // bounded history's limit
constexpr int32_t kHistoryBonusCap = 1 << 10;
constexpr int kTimeCheckInterval = 256;

constexpr ProMove kNoMove{255, 255};

uint16_t packMove(ProMove m) { return static_cast<uint16_t>(m.from * 64 + m.to); }
ProMove unpackMove(uint16_t packed) {
  return {static_cast<uint8_t>(packed / 64), static_cast<uint8_t>(packed % 64)};
}

// Proved results are stored as distances from the stored position, not
// from the root.
int32_t scoreToTable(int32_t score, int ply) {
  if (score >= kProWinBound) return score + ply;
  if (score <= -kProWinBound) return score - ply;
  return score;
}
int32_t scoreFromTable(int32_t score, int ply) {
  if (score >= kProWinBound) return score - ply;
  if (score <= -kProWinBound) return score + ply;
  return score;
}

}  // namespace

ProSearch::ProSearch(OpeningBook* book, size_t hashMegabytes)
    : book_(book), ownTable_(std::make_unique<TranspositionTable>(hashMegabytes)), table_(ownTable_.get()) {
  std::memset(history_, 0, sizeof(history_));
  std::memset(killers_, 0, sizeof(killers_));
}

void ProSearch::setTimeBudget(double seconds) {
  const MovePlan plan = budgetPlan(seconds);
  setTimePlan(plan.softSeconds, plan.hardSeconds);
}

void ProSearch::setTimePlan(double softSeconds, double hardSeconds) {
  softSeconds_ = softSeconds;
  hardSeconds_ = std::max(softSeconds, hardSeconds);
  fixedDepth_ = 0;
}

void ProSearch::setRules(const GameRules& rules) {
  if (rules == rules_) return;
  rules_ = rules;
  table_->clear();
}

void ProSearch::setFixedDepth(int depth) { fixedDepth_ = std::clamp(depth, 1, kProMaxPly - 1); }

void ProSearch::gameStarted(const Board& board, Side sideToMove, int pliesPlayed) {
  gamePlies_ = pliesPlayed;
  gameKeys_[0] = zobristKey(board, sideToMove);
  gameKeyCount_ = 1;
  gamePieces_ = countPieces(board);
  gameQuiet_ = 0;
}

void ProSearch::movePlayed(const Board& board, Side sideToMove) {
  if (sideToMove != kWhite && sideToMove != kBlack) return;  // no game going on
  const int pieces = countPieces(board);
  ++gamePlies_;
  if (gamePieces_ < 0 || pieces != gamePieces_) {
    gameKeyCount_ = 0;  // a capture: no earlier position can come back
    gameQuiet_ = 0;
  } else {
    ++gameQuiet_;
  }
  gamePieces_ = pieces;
  if (gameKeyCount_ == kMaxGameKeys) {
    // Very long quiet runs: keep the recent half.
    std::memmove(gameKeys_, gameKeys_ + kMaxGameKeys / 2, sizeof(uint64_t) * (kMaxGameKeys / 2));
    gameKeyCount_ = kMaxGameKeys / 2;
  }
  gameKeys_[gameKeyCount_++] = zobristKey(board, sideToMove);
}

bool ProSearch::chooseMove(Board& board, Side side, Move& out) {
  if (book_ != nullptr && book_->findBookMove(board, out, side)) return true;
  const ProResult result = search(board, side);
  if (!result.hasMove) return false;
  out = result.move;
  return true;
}

bool ProSearch::outOfTime() {
  if (stopped_) return true;
  if (sharedStop_ != nullptr && sharedStop_->load(std::memory_order_relaxed)) {
    stopped_ = true;
    return true;
  }
  if (!rootBestValid_) return false;
  if (nodeLimit_ > 0 && nodes_ >= nodeLimit_) {
    stopped_ = true;
    return true;
  }
  if (nodes_ % kTimeCheckInterval != 0) return false;
  if (stopSignal_ != nullptr && stopSignal_->load(std::memory_order_relaxed)) stopped_ = true;
  if (fixedDepth_ > 0) return stopped_;
  if (Clock::now() >= hardDeadline_) stopped_ = true;
  return stopped_;
}

void ProSearch::setNetwork(const NetWeights* net) {
  static_assert(kNetStackDepth > kProMaxPly + 1, "one accumulator per ply");
  net_ = net;
  if (net == nullptr) {
    pos_.net = nullptr;
    return;
  }
  netStack_.use(*net);
  pos_.net = &netStack_;
}

int32_t ProSearch::staticScore(int ply) const {
  int32_t score = pos_.net != nullptr ? pos_.net->score(pos_.side) : proEvaluate(pos_.occ, pos_.rings, pos_.side);
  // Close to a drawn end by quiet plies, a lead is worth less and a deficit
  // hurts less: the side ahead makes progress (captures), the side behind
  // welcomes the draw. Where the limit gives the game to the side with more
  // pieces there is nothing to fade: the search sees that end itself.
  if (rules_.quietLimit <= 0 || rules_.quietAward != RuleAward::kDraw) return score;
  const int half = rules_.quietLimit / 2;
  const int left = rules_.quietLimit - quiet_[ply];
  if (half > 0 && left < half) score = score * std::max(left, 0) / half;
  return score;
}

int32_t ProSearch::awardScore(RuleAward award, int ply) const {
  if (award == RuleAward::kDraw) return 0;
  const int ours = bitCount(pos_.occ.of(pos_.side));
  const int theirs = bitCount(pos_.occ.of(opponent(pos_.side)));
  if (ours == theirs) return 0;
  return ours > theirs ? kProWinScore - ply : -(kProWinScore - ply);
}

int ProSearch::repetitionWindowStart(int ply) const {
  return std::max({0, rootIndex_ + ply - quiet_[ply], nullFloor_});
}

bool ProSearch::capReached(int ply) const { return rules_.maxPlies > 0 && rootPlies_ + ply >= rules_.maxPlies; }

bool ProSearch::endsByRule(int ply, int32_t& score) const {
  // A position seen before with the same side to move, since the last
  // capture and the last null move (before a pass, the other side was to
  // move: nothing there can come back). Where that does not end the game,
  // going round in circles is still worth a draw. (A repeated position
  // always has a move: it had one the first time.)
  const int index = rootIndex_ + ply;
  for (int j = index - 2; j >= repetitionWindowStart(ply); j -= 2) {
    if (pathKeys_[j] == pos_.key) {
      score = rules_.repetitionEnds ? awardScore(rules_.repetitionAward, ply) : 0;
      return true;
    }
  }
  const bool quietEnd = rules_.quietLimit > 0 && quiet_[ply] >= rules_.quietLimit;
  if (!quietEnd && !capReached(ply)) return false;
  // The referee asks first whether the side to move has a move at all.
  if (!hasAnyCellMove(pos_.occ, pos_.side)) return false;
  score = awardScore(quietEnd ? rules_.quietAward : rules_.capAward, ply);
  return true;
}

bool ProSearch::proofHoldsHere(int32_t tableScore, int ply) const {
  if (std::abs(tableScore) < kProWinBound) return true;
  const int reach = kProWinScore - std::abs(tableScore);  // plies from this node to the game's end
  if (rules_.quietLimit > 0 && quiet_[ply] + reach >= rules_.quietLimit) return false;
  if (rules_.maxPlies > 0 && rootPlies_ + ply + reach >= rules_.maxPlies) return false;
  return !rules_.repetitionEnds || repetitionWindowStart(ply) == rootIndex_ + ply;
}

void ProSearch::makeMove(ProMove m, int ply) {
  const bool capture = pos_.make(m);
  table_->prefetch(pos_.key);
  captured_[ply] = capture;
  quiet_[ply + 1] = capture ? 0 : quiet_[ply] + 1;
  pathKeys_[rootIndex_ + ply + 1] = pos_.key;
}

void ProSearch::unmakeMove(ProMove m, int ply) { pos_.unmake(m, captured_[ply]); }

int ProSearch::listMoves(ProMove* moves, int32_t* keys, int ply, ProMove tableMove, bool capturesOnly) {
  CellMoveCursor cursor(pos_.occ, pos_.side);
  int listed = 0;
  if (capturesOnly) {
    while (cursor.capturesPending()) listed = cursor.append(moves, listed);
  } else {
    for (int next = cursor.append(moves, 0); next != listed; next = cursor.append(moves, listed)) listed = next;
  }
  // One capture may be listed twice (reached along two circuits' paths);
  // the first stays. Captures come first.
  int count = 0;
  int captureCount = 0;
  const CellMask occupied = pos_.occ.pieces();
  for (int i = 0; i < listed; ++i) {
    const ProMove m = moves[i];
    const bool capture = (occupied & cellBit(m.to)) != 0;
    if (capture) {
      bool seen = false;
      for (int j = 0; j < captureCount && !seen; ++j) seen = moves[j] == m;
      if (seen) continue;
      ++captureCount;
    }
    int32_t key = history_[pos_.side][m.from][m.to];
    if (m == tableMove) {
      key = kTableMoveKey;
    } else if (capture) {
      key += kCaptureKey;
    } else if (m == killers_[ply][0]) {
      key = kKillerKey + 1;
    } else if (m == killers_[ply][1]) {
      key = kKillerKey;
    }
    moves[count] = m;
    keys[count] = key;
    ++count;
  }
  // The captures stand first in the list; their order only matters when
  // there are two or more.
  if (selectivity_.safeCapturesFirst && captureCount >= 2) {
    for (int i = 0; i < captureCount; ++i) {
      if (keys[i] != kTableMoveKey && !canBeTakenBack(moves[i])) keys[i] += kSafeCaptureKey;
    }
  }
  return count;
}

// Whether the opponent could capture the piece that makes capture m on
// the square it lands on.
bool ProSearch::canBeTakenBack(ProMove m) const {
  const Side other = opponent(pos_.side);
  const CellMask moved = cellBit(m.from) | cellBit(m.to);
  Occupancy after = pos_.occ;
  CellMask& own = pos_.side == kBlack ? after.black : after.white;
  CellMask& theirs = pos_.side == kBlack ? after.white : after.black;
  own ^= moved;
  theirs &= ~cellBit(m.to);
  return (CellMoveCursor(after, other).captureTargets() & cellBit(m.to)) != 0;
}

// Brings the move to try next to place i: the highest key among moves[i..],
// the earliest of equal ones, the others keeping their order. Most nodes
// stop after a move or two, so the list is never sorted whole.
inline void pickNext(ProMove* moves, int32_t* keys, int i, int count) {
  int best = i;
  for (int j = i + 1; j < count; ++j) {
    if (keys[j] > keys[best]) best = j;
  }
  if (best == i) return;
  const ProMove m = moves[best];
  const int32_t k = keys[best];
  for (int j = best; j > i; --j) {
    moves[j] = moves[j - 1];
    keys[j] = keys[j - 1];
  }
  moves[i] = m;
  keys[i] = k;
}

// Bounded history: each update moves a score part of the way to the
// bound, so old results fade without halving every score at once.
inline void boundedUpdate(int32_t& h, int32_t change) {
  h += change - h * std::abs(change) / kHistoryBound;
}

void ProSearch::updateHistory(ProMove best, const ProMove* tried, int triedCount, int depth, int ply) {
  if (selectivity_.boundedHistory) {
    const int32_t bonus = std::min(depth * depth * 4, kHistoryBonusCap);
    boundedUpdate(history_[pos_.side][best.from][best.to], bonus);
    for (int i = 0; i < triedCount; ++i) {
      if (!(tried[i] == best)) boundedUpdate(history_[pos_.side][tried[i].from][tried[i].to], -bonus);
    }
    updateKillers(best, ply);
    return;
  }
  const int32_t bonus = depth * depth;
  int32_t& h = history_[pos_.side][best.from][best.to];
  h += bonus;
  for (int i = 0; i < triedCount; ++i) {
    if (!(tried[i] == best)) history_[pos_.side][tried[i].from][tried[i].to] -= bonus;
  }
  if (h > kHistoryCeiling) {
    for (auto& from : history_[pos_.side]) {
      for (int32_t& v : from) v /= 2;
    }
  }
  updateKillers(best, ply);
}

void ProSearch::updateKillers(ProMove best, int ply) {
  if (!pos_.isCapture(best) && !(killers_[ply][0] == best)) {
    killers_[ply][1] = killers_[ply][0];
    killers_[ply][0] = best;
  }
}

int32_t ProSearch::quiesce(int32_t alpha, int32_t beta, int ply, int qdepth) {
  ++nodes_;
  pvLength_[ply] = ply;
  if (outOfTime()) return 0;
  if (!hasAnyCellMove(pos_.occ, pos_.side)) return -(kProWinScore - ply);
  // Only captures are played here: no repetition and no quiet limit, but
  // the game's cap still comes.
  if (capReached(ply)) return awardScore(rules_.capAward, ply);
  // The table: any entry's bound serves here, even one of the capture
  // search itself (depth 0).
  ProMove tableMove = kNoMove;
  bool tableHadEntry = false;
  if (selectivity_.quiescenceTable) {
    int32_t tableScore = 0;
    if (quiescenceTableCutoff(alpha, beta, ply, tableMove, tableHadEntry, tableScore)) return tableScore;
  }
  // Stand pat before any capture is listed: most nodes end here.
  const int32_t standPat = staticScore(ply);
  if (standPat >= beta || qdepth >= kMaxQuiescePlies || ply >= kProMaxPly) return standPat;
  // A capture wins one piece: so far below alpha, none brings the score back.
  if (selectivity_.quiescenceDelta && standPat + kDeltaMargin <= alpha && alpha < kProWinBound) return standPat;
  ProMove moves[kMaxMoves];
  int32_t keys[kMaxMoves];
  const int count = listMoves(moves, keys, ply, tableMove, true);
  const int32_t alphaAtStart = alpha;
  int32_t best = standPat;
  ProMove bestMove = kNoMove;
  if (best > alpha) alpha = best;
  for (int i = 0; i < count; ++i) {
    pickNext(moves, keys, i, count);
    makeMove(moves[i], ply);
    const int32_t score = -quiesce(-beta, -alpha, ply + 1, qdepth + 1);
    unmakeMove(moves[i], ply);
    if (stopped_) return 0;
    if (score > best) {
      best = score;
      bestMove = moves[i];
      if (score > alpha) {
        alpha = score;
        if (score >= beta) break;
      }
    }
  }
  // Only where the table has nothing of this position: a capture search's
  // result never replaces a deeper one.
  if (selectivity_.quiescenceTable && !tableHadEntry) storeQuiescence(best, alphaAtStart, beta, ply, bestMove);
  return best;
}

bool ProSearch::quiescenceTableCutoff(int32_t alpha, int32_t beta, int ply, ProMove& tableMove, bool& found,
                                      int32_t& score) {
  TableEntry entry;
  found = table_->probe(pos_.key, entry);
  if (!found) return false;
  if (entry.move() != kNoTableMove) tableMove = unpackMove(entry.move());
  if (entry.score == kMoveOnlyScore || !proofHoldsHere(entry.score, ply)) return false;
  score = scoreFromTable(entry.score, ply);
  const Bound bound = entry.bound();
  return bound == Bound::kExact || (bound == Bound::kLower && score >= beta) ||
         (bound == Bound::kUpper && score <= alpha);
}

void ProSearch::storeQuiescence(int32_t best, int32_t alphaAtStart, int32_t beta, int ply, ProMove bestMove) {
  const Bound bound = best >= beta ? Bound::kLower : best > alphaAtStart ? Bound::kExact : Bound::kUpper;
  const int32_t score = scoreToTable(best, ply);
  if (!proofHoldsHere(score, ply)) return;
  table_->store(pos_.key, score, bound, 0, bound == Bound::kUpper || bestMove == kNoMove ? kNoTableMove : packMove(bestMove));
}

// The node's static score and what the pruning near the leaves may do with
// it: only away from the principal variation, and only where the side to
// move has a move at all.
ProSearch::NodePruning ProSearch::nodePruning(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode) {
  NodePruning node;
  node.mayPrune = !pvNode && ply > 0 && std::abs(beta) < kProWinBound && hasAnyCellMove(pos_.occ, pos_.side);
  const bool wantEval = (selectivity_.nullMovePruning && depth >= 3) ||
                        (selectivity_.reverseFutility && depth <= kReverseFutilityDepth) ||
                        (selectivity_.futility && depth <= kFutilityDepth);
  node.eval = node.mayPrune && wantEval ? staticScore(ply) : 0;
  // Futility: near the leaves, quiet moves cannot lift a score this far
  // below alpha; only captures are searched.
  node.futile = node.mayPrune && selectivity_.futility && depth <= kFutilityDepth &&
                node.eval + kFutilityMargin * depth <= alpha;
  return node;
}

bool ProSearch::tableCutoff(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode, ProMove& tableMove,
                            int32_t& score) {
  TableEntry entry;
  if (!table_->probe(pos_.key, entry)) return false;
  // Only ever compared with the moves generated here: a move from another
  // position (keys that collide) is never played.
  if (entry.move() != kNoTableMove) tableMove = unpackMove(entry.move());
  if (pvNode || entry.depth() < depth || !proofHoldsHere(entry.score, ply)) return false;
  score = scoreFromTable(entry.score, ply);
  const Bound bound = entry.bound();
  return bound == Bound::kExact || (bound == Bound::kLower && score >= beta) ||
         (bound == Bound::kUpper && score <= alpha);
}

// Reverse futility: so far above beta that a shallow search would not
// bring it back down.
bool ProSearch::reverseFutilityCutoff(const NodePruning& node, int depth, int32_t beta) const {
  return node.mayPrune && selectivity_.reverseFutility && depth <= kReverseFutilityDepth &&
         node.eval - kReverseFutilityMargin * depth >= beta;
}

// A pass is no ply of the game: the quiet run stands still, and no
// position before it can be repeated after it.
void ProSearch::makeNullMove(int ply) {
  pos_.pass();
  quiet_[ply + 1] = quiet_[ply];
  pathKeys_[rootIndex_ + ply + 1] = pos_.key;
  nullMove_[ply + 1] = true;
  nullFloorBefore_[ply + 1] = nullFloor_;
  nullFloor_ = rootIndex_ + ply + 1;
}

void ProSearch::unmakeNullMove(int ply) {
  nullFloor_ = nullFloorBefore_[ply + 1];
  nullMove_[ply + 1] = false;
  pos_.pass();
}

// Null move: when even passing keeps us above beta at a reduced depth, the
// position is good enough. With few pieces every move may hurt, and
// passing twice in a row proves nothing: no null move then.
bool ProSearch::nullMoveCutoff(const NodePruning& node, int depth, int32_t beta, int ply, int32_t& score) {
  const bool nullGuarded = selectivity_.nullMoveGuard &&
                           (bitCount(pos_.occ.of(pos_.side)) < kNullMoveMinPieces || nullMove_[ply]);
  if (!selectivity_.nullMovePruning || !node.mayPrune || depth < 3 || nullGuarded || node.eval < beta) {
    return false;
  }
  const int reduction = depth >= 6 ? 3 : 2;
  makeNullMove(ply);
  const int32_t nullScore = -alphaBeta(depth - 1 - reduction, -beta, -beta + 1, ply + 1, false);
  unmakeNullMove(ply);
  if (stopped_ || nullScore < beta) return false;
  // Passing is no move of the game: what it proves is only a bound.
  score = nullScore >= kProWinBound ? beta : nullScore;
  return true;
}

// Whether the move at place i of the list is left out: near the leaves, a
// quiet move after the first (not the table move or a killer) when the node
// is futile or, late move pruning, when enough quiet moves were tried.
bool ProSearch::skipLateMove(const NodePruning& node, int depth, int i, bool plainQuiet, int quietsTried,
                             int32_t best) const {
  if (i == 0 || !plainQuiet || best <= -kProWinBound) return false;
  if (node.futile) return true;
  return node.mayPrune && selectivity_.lateMovePruning && depth <= kLateMovePruningDepth &&
         quietsTried >= kLateMoveCounts[depth];
}

// Late quiet moves, searched after the likely best ones, first get a
// shallower search; only those that then look good get the full depth.
int ProSearch::lateMoveReduction(int depth, int newDepth, int i, bool plainQuiet, bool pvNode) const {
  if (selectivity_.logReductions) {
    if (depth < 3 || i < (pvNode ? 3 : 2) || !plainQuiet) return 0;
    int reduction = kReductions[std::min(depth, kReductionDepths - 1)][std::min(i, kReductionMoves - 1)];
    if (pvNode) reduction -= 1;
    return std::clamp(reduction, 0, newDepth - 1);
  }
  if (selectivity_.lateMoveReductions && depth >= 3 && i >= (pvNode ? 5 : 3) && plainQuiet) {
    return depth >= 6 && i >= 10 ? 2 : 1;
  }
  return 0;
}

// Principal variation search of one move: the first with the full window,
// the others with a null window (reduced first), searched again when they
// beat alpha.
int32_t ProSearch::searchMove(ProMove m, int newDepth, int reduction, int32_t alpha, int32_t beta, int ply,
                              bool pvNode, bool first) {
  makeMove(m, ply);
  int32_t score;
  if (first) {
    score = -alphaBeta(newDepth, -beta, -alpha, ply + 1, pvNode);
  } else {
    score = -alphaBeta(newDepth - reduction, -alpha - 1, -alpha, ply + 1, false);
    if (score > alpha && reduction > 0) score = -alphaBeta(newDepth, -alpha - 1, -alpha, ply + 1, false);
    if (score > alpha && score < beta) score = -alphaBeta(newDepth, -beta, -alpha, ply + 1, true);
  }
  unmakeMove(m, ply);
  return score;
}

// A move that raised alpha: the principal variation through it, and at the
// root the move to play.
void ProSearch::recordPvMove(ProMove m, int32_t score, int ply) {
  pv_[ply][ply] = m;
  for (int k = ply + 1; k < pvLength_[ply + 1]; ++k) pv_[ply][k] = pv_[ply + 1][k];
  pvLength_[ply] = std::max(pvLength_[ply + 1], ply + 1);
  if (ply == 0) {
    rootBest_ = m;
    rootBestScore_ = score;
    rootBestValid_ = true;
  }
}

void ProSearch::storeResult(int32_t best, int32_t alphaAtStart, int32_t beta, int depth, int ply, ProMove bestMove) {
  const Bound bound = best >= beta ? Bound::kLower : best > alphaAtStart ? Bound::kExact : Bound::kUpper;
  // After a fail low every move scored at most alpha: the one that scored
  // "highest" means nothing, so the table keeps the move it had.
  const uint16_t move = bound == Bound::kUpper ? kNoTableMove : packMove(bestMove);
  const int32_t score = scoreToTable(best, ply);
  // A proved result that rests on this node's history (its quiet run, its
  // distance to the cap, positions it could repeat) is kept as a move only:
  // at depth 0 it never cuts a search.
  if (!proofHoldsHere(score, ply)) {
    table_->store(pos_.key, kMoveOnlyScore, Bound::kLower, 0, move);
    return;
  }
  table_->store(pos_.key, score, bound, depth, move);
}

int32_t ProSearch::searchMoves(const NodePruning& node, ProMove* moves, int32_t* keys, int count, int depth,
                               int32_t alpha, int32_t beta, int ply, bool pvNode) {
  // A forced move costs no depth: forced sequences are followed further.
  const int newDepth = depth - 1 + (count == 1 ? 1 : 0);
  const int32_t alphaAtStart = alpha;
  int32_t best = -kProInfinity;
  ProMove bestMove = kNoMove;
  ProMove quietsTried[kMaxMoves];
  int quietCount = 0;
  for (int i = 0; i < count; ++i) {
    pickNext(moves, keys, i, count);
    const ProMove m = moves[i];
    const bool capture = pos_.isCapture(m);
    const bool plainQuiet = !capture && keys[i] < kKillerKey;  // not the table move or a killer
    if (skipLateMove(node, depth, i, plainQuiet, quietCount, best)) {
      // A futile node's quiet moves score at most this.
      if (node.futile) best = std::max(best, node.eval + kFutilityMargin * depth);
      continue;
    }
    const int reduction = lateMoveReduction(depth, newDepth, i, plainQuiet, pvNode);
    const int32_t score = searchMove(m, newDepth, reduction, alpha, beta, ply, pvNode, i == 0);
    if (stopped_) return 0;
    if (score > best) {
      best = score;
      bestMove = m;
      if (score > alpha) {
        alpha = score;
        recordPvMove(m, score, ply);
        if (score >= beta) {
          if (!capture) updateHistory(m, quietsTried, quietCount, depth, ply);
          break;
        }
      }
    }
    if (!capture) quietsTried[quietCount++] = m;
  }
  storeResult(best, alphaAtStart, beta, depth, ply, bestMove);
  return best;
}

int32_t ProSearch::alphaBeta(int depth, int32_t alpha, int32_t beta, int ply, bool pvNode) {
  pvLength_[ply] = ply;
  int32_t score = 0;
  if (ply > 0 && endsByRule(ply, score)) return score;
  if (depth <= 0) return quiesce(alpha, beta, ply, 0);
  ++nodes_;
  if (outOfTime()) return 0;
  if (ply >= kProMaxPly) return staticScore(ply);

  // No result can beat a win on the next move, nor be worse than losing now.
  alpha = std::max(alpha, -(kProWinScore - ply));
  beta = std::min(beta, kProWinScore - ply - 1);
  if (alpha >= beta) return alpha;

  ProMove tableMove = kNoMove;
  if (tableCutoff(depth, alpha, beta, ply, pvNode, tableMove, score)) return score;
  if (ply == 0 && rootBestValid_) tableMove = rootBest_;
  // Without a move from the table the ordering is a guess: a shallower
  // search first fills the table (internal iterative reduction).
  if (selectivity_.internalReduction && depth >= kInternalReductionDepth && tableMove == kNoMove) --depth;

  const NodePruning node = nodePruning(depth, alpha, beta, ply, pvNode);
  if (reverseFutilityCutoff(node, depth, beta)) return node.eval;

  ProMove moves[kMaxMoves];
  int32_t keys[kMaxMoves];
  const int count = listMoves(moves, keys, ply, tableMove, false);
  if (count == 0) return -(kProWinScore - ply);  // no legal move: lost

  if (nullMoveCutoff(node, depth, beta, ply, score)) return score;
  if (stopped_) return 0;
  return searchMoves(node, moves, keys, count, depth, alpha, beta, ply, pvNode);
}

ProResult ProSearch::search(const Board& board, Side side) {
  table_->nextAge(fixedDepth_ > 0);
  if (threads_ <= 1) return iterate(board, side, 1);
  // Lazy SMP: helpers search the same root from staggered depths, sharing
  // the table, until this search ends; the deepest finished iteration of
  // any thread gives the move (this thread's where none is deeper).
  std::atomic<bool> stop{false};
  std::vector<ProResult> found(helpers_.size());
  std::vector<std::thread> running;
  for (size_t i = 0; i < helpers_.size(); ++i) {
    ProSearch& helper = *helpers_[i];
    helper.followGame(*this);
    helper.sharedStop_ = &stop;
    running.emplace_back([&helper, &found, &board, side, i] { found[i] = helper.iterate(board, side, 2 - i % 2); });
  }
  ProResult result = iterate(board, side, 1);
  stop.store(true, std::memory_order_relaxed);
  for (std::thread& t : running) t.join();
  for (const ProResult& other : found) {
    if (other.hasMove && other.depth > result.depth) {
      const uint64_t nodes = result.nodes;
      const double seconds = result.seconds;
      result = other;
      result.nodes = nodes;
      result.seconds = seconds;
    }
    result.nodes += other.nodes;
  }
  return result;
}

void ProSearch::setThreads(int threads) {
  threads_ = std::clamp(threads, 1, kMaxThreads);
  helpers_.clear();
  for (int i = 1; i < threads_; ++i) {
    helpers_.push_back(std::unique_ptr<ProSearch>(new ProSearch(nullptr, 0)));
    helpers_.back()->table_ = table_;
    helpers_.back()->helperIndex_ = i - 1;
  }
}

void ProSearch::followGame(const ProSearch& main) {
  rules_ = main.rules_;
  historyRepetitions_ = main.historyRepetitions_;
  selectivity_ = main.selectivity_;
  setNetwork(main.net_);
  fixedDepth_ = main.fixedDepth_;
  softSeconds_ = hardSeconds_ = kRunawaySeconds;  // stopped by the main search
  std::memcpy(gameKeys_, main.gameKeys_, sizeof(uint64_t) * main.gameKeyCount_);
  gameKeyCount_ = main.gameKeyCount_;
  gamePieces_ = main.gamePieces_;
  gameQuiet_ = main.gameQuiet_;
  gamePlies_ = main.gamePlies_;
}

bool ProSearch::skipsDepth(int depth, int firstDepth, int maxDepth) const {
  // Helpers that all search every depth mostly repeat each other's work. Each
  // helper searches depths in runs of `size` and leaves out the runs between,
  // its phase shifting where they start, so that at any time the threads are
  // spread over several depths (the skip pattern of Lazy SMP in chess).
  constexpr int kSkipSize[] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
  constexpr int kSkipPhase[] = {0, 1, 0, 1, 2, 3, 0, 1, 2, 3, 4, 5};
  constexpr int kPatterns = static_cast<int>(std::size(kSkipSize));
  if (helperIndex_ < 0 || !selectivity_.helperDepthSkips || depth == firstDepth || depth == maxDepth) return false;
  const int k = helperIndex_ % kPatterns;
  return (depth + kSkipPhase[k]) / kSkipSize[k] % 2 == 1;
}

ProResult ProSearch::iterate(const Board& board, Side side, int firstDepth) {
  start_ = Clock::now();
  hardDeadline_ = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(hardSeconds_));
  double softSeconds = softSeconds_;
  IterationTrend trend;

  pos_.set(board, side);
  // The history told by the referee loop, when it ends in this position;
  // otherwise (a position from elsewhere) only the position itself.
  if (gameKeyCount_ > 0 && gameKeys_[gameKeyCount_ - 1] == pos_.key && historyRepetitions_) {
    std::memcpy(pathKeys_, gameKeys_, sizeof(uint64_t) * gameKeyCount_);
    rootIndex_ = gameKeyCount_ - 1;
    quiet_[0] = gameQuiet_;
    rootPlies_ = gamePlies_;
  } else if (gameKeyCount_ > 0 && gameKeys_[gameKeyCount_ - 1] == pos_.key) {
    // Only the root: no earlier position lies within the quiet run.
    pathKeys_[0] = pos_.key;
    rootIndex_ = 0;
    quiet_[0] = gameQuiet_;
    rootPlies_ = gamePlies_;
  } else {
    pathKeys_[0] = pos_.key;
    rootIndex_ = 0;
    quiet_[0] = 0;
    rootPlies_ = 0;
  }
  nullFloor_ = 0;

  nodes_ = 0;
  stopped_ = false;
  rootBestValid_ = false;
  std::memset(killers_, 0, sizeof(killers_));
  if (fixedDepth_ > 0) {
    std::memset(history_, 0, sizeof(history_));
  } else {
    for (auto& perSide : history_) {
      for (auto& from : perSide) {
        for (int32_t& v : from) v /= 4;
      }
    }
  }

  ProResult result;
  ProMove firstMoves[kMaxMoves];
  int32_t keys[kMaxMoves];
  const int rootCount = listMoves(firstMoves, keys, 0, kNoMove, false);
  if (rootCount == 0) return result;
  // Something to play even if the clock stops the very first iteration.
  result.hasMove = true;
  pickNext(firstMoves, keys, 0, rootCount);
  result.move = toMove(firstMoves[0]);

  const int maxDepth = fixedDepth_ > 0 ? fixedDepth_ : kProMaxPly - 1;
  int32_t previous = 0;
  Move previousMove = result.move;
  for (int depth = std::min(firstDepth, maxDepth); depth <= maxDepth; ++depth) {
    if (skipsDepth(depth, firstDepth, maxDepth)) continue;
    int32_t delta = 30;
    int32_t alpha = -kProInfinity;
    int32_t beta = kProInfinity;
    if (depth >= 4 && std::abs(previous) < kProWinBound) {
      alpha = previous - delta;
      beta = previous + delta;
    }
    int32_t score = 0;
    for (;;) {
      score = alphaBeta(depth, alpha, beta, 0, true);
      if (stopped_) break;
      if (score <= alpha) {
        beta = (alpha + beta) / 2;
        alpha = std::max(score - delta, -kProInfinity);
      } else if (score >= beta) {
        beta = std::min(score + delta, kProInfinity);
      } else {
        break;
      }
      delta *= 2;
      if (delta > 1000) {
        alpha = -kProInfinity;
        beta = kProInfinity;
      }
    }
    if (rootBestValid_) {
      result.move = toMove(rootBest_);
      result.score = rootBestScore_;
    }
    if (stopped_) {
      // An unfinished iteration has a lower bound only: a loss found for the
      // moves searched so far proves nothing. The last whole one stands.
      if (result.score <= -kProWinBound) result.score = previous;
      break;
    }
    if (depth >= 2 && fixedDepth_ == 0) {
      trend.iterationDone(result.move != previousMove, previous, score);
      softSeconds = stretchedSoft(softSeconds_, hardSeconds_, trend);
    }
    previousMove = result.move;
    previous = score;
    result.score = score;
    result.depth = depth;
    result.pvLength = pvLength_[0];
    for (int k = 0; k < result.pvLength; ++k) result.pv[k] = pv_[0][k];
    result.nodes = nodes_;
    result.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    if (report_) report_(result);
    if (fixedDepth_ == 0) {
      if (rootCount == 1) break;  // nothing to choose
      if (result.seconds >= softSeconds) break;
      // A proved result closer than the depth searched cannot change.
      if (std::abs(score) >= kProWinBound && kProWinScore - std::abs(score) < depth) break;
    }
  }
  result.nodes = nodes_;
  result.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  return result;
}

}  // namespace tovrane
