#pragma once
// What an engine thought about its move: the fields of the last thinking
// line it sent before its "move" reply,
//
//   info depth D score S [nodes N] [pv MOVE MOVE ...]
//
// as the referee reads them and a record keeps them at the end of the
// move's line. S is a whole number of hundredths of a piece from the side of
// the engine that moves, or "win N" / "loss N": a result the engine has
// proved, N plies from the position. depth, score and nodes may come in any
// order; pv, when there, comes last and takes the rest of the line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/board.h"

namespace tovrane {

struct ThinkingScore {
  enum class Kind { kCentis, kWin, kLoss };
  Kind kind = Kind::kCentis;
  int value = 0;  // hundredths of a piece (kCentis), or plies to the proved end

  bool operator==(const ThinkingScore&) const = default;
};

struct Thinking {
  int depth = 0;
  ThinkingScore score;
  std::optional<uint64_t> nodes;
  std::vector<Move> pv;  // at most kMaxPvMoves; a longer one is cut

  bool operator==(const Thinking&) const = default;
};

constexpr size_t kMaxPvMoves = 32;
constexpr int kMaxThinkingDepth = 1000;
constexpr int kMaxCentis = 1000000;     // larger scores are refused
constexpr int kMaxProvedPlies = 100000;

// Reads "depth D score S [nodes N] [pv ...]" (no "info"). False, leaving
// thinking alone, for anything else.
bool parseThinkingFields(std::string_view text, Thinking& thinking);

// Reads an engine's line "info ..." (its fields as above).
bool parseInfoLine(std::string_view line, Thinking& thinking);

// The fields as a record writes them, in the order above.
std::string thinkingFieldsText(const Thinking& thinking);

// "win 7", "loss 4" or "-35".
std::string scoreText(const ThinkingScore& score);

}  // namespace tovrane
