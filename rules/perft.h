#pragma once
// Counting move sequences, the standard check of a move generator.

#include <cstdint>

#include "game/board.h"
#include "rules/move_generator.h"

namespace tovrane {

// Copies the distinct moves of a generated list (first occurrence kept, in
// generation order) into out and returns how many there are. The generator
// may list one capture twice; a game has only one such move.
int distinctMoves(const MoveList& list, Move* out);

// Number of distinct legal move sequences of length depth from board with
// side to move. A position whose side to move has no move adds 0 below it.
uint64_t perft(Board& board, Side side, int depth);

}  // namespace tovrane
