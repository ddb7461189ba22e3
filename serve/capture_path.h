#pragma once
// The squares a capture travels over, for drawing it: from the moving
// piece's square along a circuit track, through at least one corner loop, to
// the piece it takes.

#include <vector>

#include "game/board.h"
#include "rules/circuits.h"

namespace tovrane {

// The path of the first track walk, in the move generator's order, that
// makes move a capture on board: the start square, every square passed and
// the captured square. Empty when move is not a capture there.
std::vector<Square> capturePath(const Board& board, const Move& move);

}  // namespace tovrane
