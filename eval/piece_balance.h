#pragma once
// The balance of the squares that hold pieces, without the rest of the
// circuit maps. A square gets a record, and so a tally, from one of its
// lines only when the line is empty from it to one edge; for a piece that
// means being the first or the last piece of a ring side. Each such tally
// is the ring's piece balance give or take the crossing point counted twice
// and the piece's own square (ring_plans.h), so a few figures per side give
// the balance of every piece.

#include "eval/circuit_maps.h"
#include "game/bitboard.h"

namespace tovrane {

// The occupied squares whose balance is below zero and above zero: the
// same as the BalanceMap's signs there.
SignMasks pieceBalanceSigns(const Occupancy& occ);

}  // namespace tovrane
