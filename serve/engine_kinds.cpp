#include "serve/engine_kinds.h"

#include "search/engine_settings.h"
#include "search/search_engine.h"

namespace tovrane {

namespace {

// The exact programs: a fixed-depth search, no book (the server reads no
// files), so the move is what `tovrane choose` prints.
template <const EngineSettings& settings>
EngineAnswer thinkExact(const EngineQuestion& question) {
  SearchEngine search(settings, nullptr);
  Board work = question.board;
  EngineAnswer answer;
  answer.moved = search.chooseMove(work, question.side, answer.move);
  answer.score = search.lastScore();
  answer.depth = search.rootDepth();
  return answer;
}

}  // namespace

const std::vector<EngineKind>& engineKinds() {
  static const std::vector<EngineKind> kinds = {
      {"engine", "engine (depth 5)", false, thinkExact<kStandardEngine>},
      {"engine-deep", "engine-deep (depth 6)", false, thinkExact<kDeepEngine>},
      {"engine-classic", "engine-classic (depth 5, classic evaluation)", false, thinkExact<kClassicEngine>},
      // engine-pro goes here once it exists: timeBudget true, and a think
      // function that searches for budgetSeconds.
  };
  return kinds;
}

const EngineKind* findEngineKind(std::string_view id) {
  for (const EngineKind& kind : engineKinds()) {
    if (id == kind.id) return &kind;
  }
  return nullptr;
}

}  // namespace tovrane
