#pragma once
// The engines the web page can play against, run in-process. Each request
// builds its own search objects, so searches of different games never share
// state.

#include <cstdint>
#include <string_view>
#include <vector>

#include "game/board.h"

namespace tovrane {

struct EngineAnswer {
  bool moved = false;  // false: the side has no legal move
  Move move{};
  int32_t score = 0;   // root score for the side to move
  int depth = 0;       // root depth searched
};

// What an engine is asked: the position, and the game that led to it (for
// an engine that knows about repetitions and the quiet-ply draw).
struct EngineQuestion {
  Board board{};
  Side side = kBlack;
  std::vector<Move> history;  // every move from the initial position
  double budgetSeconds = 0;   // for engines with a time budget
};

struct EngineKind {
  const char* id;     // the program's name: engine, engine-deep, ...
  const char* label;  // what the page shows
  bool timeBudget;    // searches for a given number of seconds per move
  EngineAnswer (*think)(const EngineQuestion& question);
};

// In the order the page offers them.
const std::vector<EngineKind>& engineKinds();
const EngineKind* findEngineKind(std::string_view id);

}  // namespace tovrane
