#pragma once
// The engines the web page can play against, run in-process: six named
// levels from a beginner's opponent to engine-pro at its strongest, and the
// programs by name. Each request builds its own search objects, so searches
// of different games never share state.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "game/board.h"
#include "rules/game_rules.h"

namespace tovrane {

struct EngineAnswer {
  bool moved = false;  // false: the side has no legal move
  Move move{};
  int32_t score = 0;   // root score for the side to move
  int depth = 0;       // root depth searched
};

// What an engine is asked: the position, and the game that led to it (for
// an engine that knows about repetitions and the quiet limit).
struct EngineQuestion {
  Board board{};
  Side side = kBlack;
  Board start{};               // where the game began
  Side startSide = kBlack;
  std::vector<Move> history;   // every move from start
  GameRules rules{};
  double budgetSeconds = 0;    // for engines with a time budget
  uint64_t seed = 0;           // for the levels that choose at random
  // Raised when nobody waits for the answer any more: the engine answers
  // soon with the best move it has (engine-pro and the levels built on it).
  const std::atomic<bool>* stop = nullptr;
};

struct EngineKind {
  const char* id;     // a level (level-1 ... level-6) or a program's name
  const char* label;  // what the page shows
  bool isLevel;
  bool askSeconds;    // the request says the seconds per move (engine-pro)
  double seconds;     // a level's own time per move; 0: not timed
  EngineAnswer (*think)(const EngineQuestion& question);
};

// In the order the page offers them: the levels, weakest first, then the
// programs.
const std::vector<EngineKind>& engineKinds();
const EngineKind* findEngineKind(std::string_view id);

// The levels' weakness: every legal move is scored by engine-pro's search
// of the position after it to childDepth plies; one is picked at random
// among those within marginScore of the best, or with blunderPercent
// chance among all moves. Exposed for the tests.
struct WeakLevel {
  int childDepth;
  int32_t marginScore;
  int blunderPercent;
};
EngineAnswer thinkWeak(const WeakLevel& level, const EngineQuestion& question);

class ProSearch;

// The page's evaluation of positions (the bar, the graph, the hint):
// engine-pro's search stopped after about nodes nodes, so the same on every
// run and machine. One table serves a whole request.
class PositionJudge {
 public:
  explicit PositionJudge(uint64_t nodes);
  ~PositionJudge();
  EngineAnswer judge(const EngineQuestion& question);

 private:
  std::unique_ptr<ProSearch> pro_;
};

}  // namespace tovrane
