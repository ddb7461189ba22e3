#pragma once
// engine-pro's thinking lines (--info): after each finished iteration of
// its search, one line before its move,
//
//   info depth D score S nodes N pv MOVE MOVE ...
//
// S in hundredths of a piece from the side to move. The search's own score
// is in evaluation units, where a piece is worth the material weight of the
// position's phase (81 with every piece on the board, 136 with none, mixed
// in proportion to the pieces left): S = score * 100 / that weight, rounded.
// A proved result (a win score) is "win N" / "loss N", N plies to the end.

#include <string>

#include "search/pro_search.h"

namespace tovrane {

// The evaluation units that make a piece in a position with pieces pieces on
// the board (0..24).
int proPieceUnits(int pieces);

// The thinking line of one finished iteration, for a position with pieces
// pieces on the board.
std::string proInfoLine(const ProResult& result, int pieces);

}  // namespace tovrane
