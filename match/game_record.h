#pragma once
// One finished game of a match, and its text form in a record file.
//
// A record file is plain text, one game after another. Lines starting with
// '#' are comments. A game is a block of lines "key value":
//
//   game 3
//   black Tovrane(2.2)
//   white Tovrane(2.0)
//   opening 1121 4232 0111 5241
//   result white
//   end no-moves
//   reason black has no legal move
//   plies 61
//   1 black 1121 0.051
//   2 white 4232 0.052 depth 8 score -35 nodes 12345 pv 4232 1121
//   # black said before ply 3: thinking about 1121
//   ...
//
// A record written by 'tovrane match' starts with comment lines
// "# match KEY VALUE" that say which match it belongs to (match_header.h).
// Each game is written whole and ends with an empty line, so a game cut
// short (the writer killed mid-write) is recognised by its missing end.
//
// result is black, white or draw (none for a game saved before its end, whose
// end is "unfinished"); end is a code (see gameEndCode) and reason
// the same in words; each move line is: ply number, colour, the move in
// four-digit form (from-row from-col to-row to-col), the seconds the engine
// took, and optionally what the engine last thought before it (the fields
// of its thinking line, thinking_line.h). The opening's moves are among the
// moves: the engines play them. A line "opening-left PLY SIDE" says that the
// side's engine did not play the opening's move at that ply (the opening
// line says what was asked, the moves what was played). Comment lines inside
// a game keep what the engines printed besides their moves, for the
// engines' authors; every reader skips them.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "game/board.h"
#include "match/openings.h"
#include "match/thinking_line.h"

namespace tovrane {

enum class GameEnd {
  kNoMoves,    // the side to move has no legal move and loses
  kIllegal,    // a reply "move dddd" whose move is not legal: loss
  kMalformed,  // a reply that is not "move dddd": loss
  kTimeout,    // no reply within the time limit: loss
  kCrash,      // the engine exited or closed its output: loss
  kNoStart,    // the engine could not be (re)started: loss
  kQuietDraw,  // the run of plies without a capture reached its limit: draw
  kPlyCap,     // the game reached the ply cap: a draw, or by pieces
  kUnfinished, // saved before its end (a game from the web page); no result
  kRepetition,   // a position came back: a draw, or by pieces
  kQuietLimit,   // the quiet limit where it goes to the side with more pieces
  kTimeForfeit,  // the side's game clock ran out: loss
  kResigned,     // a player gave up (a game from the web page): loss
  kAdjudicated,  // both engines' thinking agreed on the result (match --adjudicate-*)
  kLeftOpening,  // the engine did not play its opening move (match --openings-required): loss
};

// Whether the game ended by the rules of play (a side without a move, a
// repetition, the quiet limit, the cap), not by a fault or a clock.
bool endedByRule(GameEnd end);

const char* gameEndCode(GameEnd end);
bool parseGameEndCode(const std::string& code, GameEnd& end);

struct PlayedMove {
  Move move;
  double seconds;  // from writing the command to reading the reply
  std::optional<Thinking> thinking = std::nullopt;  // the engine's last thinking line before its move
};

// A line an engine printed that was not its reply, kept for its author.
struct EngineNote {
  int ply;      // the ply the engine was to play (1-based)
  Side side;
  std::string text;
};

struct GameRecord {
  int number = 0;         // 1-based, in match order
  int blackEngine = 0;    // which of the match's engines (0-based) played black
  int whiteEngine = 1;    // and which white; neither is written: the game's number says
  std::string blackName;
  std::string whiteName;
  OpeningLine opening;
  Side winner = 0;        // kBlack, kWhite, or 0 for a draw
  GameEnd end = GameEnd::kNoMoves;
  std::string reason;
  std::vector<PlayedMove> moves;
  bool leftOpening = false;  // an engine did not play the opening's move
  int leftOpeningPly = 0;    // at which ply (1-based) it did not, 0: unknown (old records)
  std::vector<EngineNote> notes;  // written as comment lines; not read back
  int notesDropped = 0;           // lines past the kept ones

  int plies() const { return static_cast<int>(moves.size()); }
};

// "black", "white" or "draw".
std::string resultWord(Side winner);

void writeGameRecord(std::ostream& out, const GameRecord& game);

// The game's text form as writeGameRecord writes it.
std::string gameRecordText(const GameRecord& game);

// Reads every game of a record file. Throws std::runtime_error with the line
// number for a line it cannot read.
std::vector<GameRecord> readGameRecords(std::istream& in);

// A record file as a match reads it back to resume or merge.
struct RecordFile {
  std::vector<std::string> comments;  // the '#' lines before the first game, without '#'
  std::vector<GameRecord> games;      // the complete games
  size_t completeBytes = 0;           // the length of the file up to the end of the last complete game
  bool droppedPartial = false;        // a game cut short at the end was dropped
};

// Reads the complete games; text after the last empty line that ends a game
// is a game cut short and dropped. Throws std::runtime_error for a line it
// cannot read among the complete games.
RecordFile readRecordFile(const std::string& text);

}  // namespace tovrane
