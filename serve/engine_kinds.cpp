#include "serve/engine_kinds.h"

#include <memory>

#include "search/engine_settings.h"
#include "search/pro_search.h"
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

// engine-pro searches for the time budget, after being told the game so
// far (it knows repetitions and the quiet-ply draw). No book, the default
// 64 MiB table, built per request like the program builds it per process.
EngineAnswer thinkPro(const EngineQuestion& question) {
  auto pro = std::make_unique<ProSearch>(nullptr, 64);
  pro->setTimeBudget(question.budgetSeconds);
  Board board{};
  resetBoard(board);
  pro->gameStarted(board);
  Side side = kBlack;
  for (const Move& move : question.history) {
    applyMove(board, move);
    side = opponent(side);
    pro->movePlayed(board, side);
  }
  const ProResult result = pro->search(question.board, question.side);
  EngineAnswer answer;
  answer.moved = result.hasMove;
  answer.move = result.move;
  answer.score = result.score;
  answer.depth = result.depth;
  return answer;
}

}  // namespace

const std::vector<EngineKind>& engineKinds() {
  static const std::vector<EngineKind> kinds = {
      {"engine", "engine (depth 5)", false, thinkExact<kStandardEngine>},
      {"engine-deep", "engine-deep (depth 6)", false, thinkExact<kDeepEngine>},
      {"engine-classic", "engine-classic (depth 5, classic evaluation)", false, thinkExact<kClassicEngine>},
      {"engine-pro", "engine-pro (the strong one, time per move)", true, thinkPro},
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
