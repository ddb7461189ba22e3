#include "tools/move_check.h"

#include "rules/move_generator.h"

namespace tovrane {

bool isLegalMove(const Board& board, Side side, const Move& move) {
  MoveList list;
  list.generateMoves(board, side);
  for (int i = 0; i <= list.lastIndex; ++i) {
    if (list.moves[i] == move) return true;
  }
  return false;
}

}  // namespace tovrane
