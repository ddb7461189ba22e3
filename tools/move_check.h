#pragma once
// The referee's rule check: a move is legal exactly when the move generator
// lists it for the side to move.

#include "game/board.h"

namespace tovrane {

bool isLegalMove(const Board& board, Side side, const Move& move);

}  // namespace tovrane
