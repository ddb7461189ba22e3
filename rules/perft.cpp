#include "rules/perft.h"

namespace tovrane {

int distinctMoves(const MoveList& list, Move* out) {
  int count = 0;
  for (int i = 0; i <= list.lastIndex; ++i) {
    bool seen = false;
    for (int j = 0; j < count && !seen; ++j) seen = out[j] == list.moves[i];
    if (!seen) out[count++] = list.moves[i];
  }
  return count;
}

namespace {

uint64_t perftFrom(Board& board, Side side, int depth, MoveList& list) {
  if (depth == 0) return 1;
  list.generateMoves(board, side);
  Move moves[kMaxMoves];
  const int count = distinctMoves(list, moves);
  if (depth == 1) return static_cast<uint64_t>(count);
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const Move& m = moves[i];
    const int32_t captured = board.at(m.toRow, m.toCol);
    applyMove(board, m);
    total += perftFrom(board, opponent(side), depth - 1, list);
    board.at(m.fromRow, m.fromCol) = board.at(m.toRow, m.toCol);
    board.at(m.toRow, m.toCol) = captured;
  }
  return total;
}

}  // namespace

uint64_t perft(Board& board, Side side, int depth) {
  MoveList list;
  return perftFrom(board, side, depth, list);
}

}  // namespace tovrane
