#pragma once
// Ending a decided game early from what both engines say they think
// (their thinking lines, thinking_line.h), as long test matches do:
//
//   win SCORE:MOVES   both engines' last MOVES thinking lines each put the
//                     same side ahead by at least SCORE hundredths of a
//                     piece (a proved result counts as any score), or one
//                     engine's last MOVES lines all report the same proved
//                     result: that side wins.
//   draw SCORE:MOVES:FROMPLY  from ply FROMPLY on, both engines' last MOVES
//                     thinking lines all lie within SCORE of 0: a draw.
//
// A move without a thinking line breaks the run. Off unless asked.

#include <string>
#include <vector>

#include "match/game_record.h"

namespace tovrane {

struct Adjudication {
  bool win = false;
  int winScore = 0;
  int winMoves = 0;
  bool draw = false;
  int drawScore = 0;
  int drawMoves = 0;
  int drawFromPly = 0;

  bool on() const { return win || draw; }
  bool operator==(const Adjudication&) const = default;
};

// Reads SCORE:MOVES (SCORE 1..100000, MOVES 1..1000) into the win part,
// and SCORE:MOVES:FROMPLY (SCORE 0..100000, FROMPLY 0..100000) into the draw
// part. False, leaving rules alone, for anything else.
bool parseAdjudicateWin(const std::string& text, Adjudication& rules);
bool parseAdjudicateDraw(const std::string& text, Adjudication& rules);

// "win 400:4 draw 10:8:60", the parts that are on; "" when off.
std::string adjudicationText(const Adjudication& rules);
bool parseAdjudicationText(const std::string& text, Adjudication& rules);

struct AdjudicationVerdict {
  bool decided = false;
  Side winner = 0;  // 0: a draw
  std::string reason;
};

// The verdict on the game after its last move.
AdjudicationVerdict adjudicate(const Adjudication& rules, const std::vector<PlayedMove>& moves);

}  // namespace tovrane
