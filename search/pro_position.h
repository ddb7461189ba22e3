#pragma once
// engine-pro's position during a search: both colours' pieces as bit masks,
// the ring entries they stand on, the side to move and the Zobrist key, all
// kept up to date by make and unmake with a few XORs per move; with a
// network, its accumulators too (one per ply in net, owned by the search).

#include <cstdint>

#include "eval/net_eval.h"
#include "game/bitboard.h"
#include "game/board.h"
#include "rules/capture_tables.h"
#include "rules/mask_move_generator.h"
#include "search/transposition_table.h"

namespace tovrane {

struct ProPosition {
  Occupancy occ{0, 0};
  RingMask rings = 0;  // ringsOf(occ.pieces())
  Side side = kBlack;
  uint64_t key = 0;    // zobristKey of the board and side
  NetStack* net = nullptr;  // the network's accumulators, when the search evaluates with one

  void set(const Board& board, Side sideToMove) {
    occ = occupancyOf(board);
    rings = ringsOf(occ.pieces());
    side = sideToMove;
    key = zobristKey(board, sideToMove);
    if (net != nullptr) net->reset(occ);
  }

  bool isCapture(CellMove m) const { return (occ.pieces() & cellBit(m.to)) != 0; }

  // Plays m (a legal move of side); returns whether it captured.
  bool make(CellMove m) {
    const CellMask toBit = cellBit(m.to);
    const bool capture = (occ.pieces() & toBit) != 0;
    const Side mover = side;
    const Side other = opponent(mover);
    key ^= kZobrist.piece[m.from][mover] ^ kZobrist.piece[m.to][mover] ^ kZobrist.blackToMove;
    rings ^= kRingTables.ofCell[m.from];
    if (capture) {
      key ^= kZobrist.piece[m.to][other];
    } else {
      rings ^= kRingTables.ofCell[m.to];
    }
    CellMask& own = mover == kBlack ? occ.black : occ.white;
    CellMask& theirs = mover == kBlack ? occ.white : occ.black;
    own ^= cellBit(m.from) | toBit;
    theirs &= ~toBit;
    side = other;
    if (net != nullptr) net->push(mover, m.from, m.to, capture);
    return capture;
  }

  // Takes back m, which make played and answered with capture.
  void unmake(CellMove m, bool capture) {
    const Side mover = opponent(side);
    const Side other = side;
    key ^= kZobrist.piece[m.from][mover] ^ kZobrist.piece[m.to][mover] ^ kZobrist.blackToMove;
    rings ^= kRingTables.ofCell[m.from];
    CellMask& own = mover == kBlack ? occ.black : occ.white;
    CellMask& theirs = mover == kBlack ? occ.white : occ.black;
    own ^= cellBit(m.from) | cellBit(m.to);
    if (capture) {
      key ^= kZobrist.piece[m.to][other];
      theirs |= cellBit(m.to);
    } else {
      rings ^= kRingTables.ofCell[m.to];
    }
    side = mover;
    if (net != nullptr) net->pop();
  }

  // The other side to move, nothing else changed (a null move, its own undo).
  void pass() {
    side = opponent(side);
    key ^= kZobrist.blackToMove;
  }
};

}  // namespace tovrane
