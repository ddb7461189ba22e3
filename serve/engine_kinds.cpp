#include "serve/engine_kinds.h"

#include <algorithm>
#include <memory>
#include <random>

#include "rules/move_generator.h"
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

// Tells pro the game from its start up to the question's position, plus
// the moves in extra (the search's root then lies after them).
void tellGame(ProSearch& pro, const EngineQuestion& question, const Move* extra = nullptr) {
  pro.setRules(question.rules);
  Board board = question.start;
  Side side = question.startSide;
  pro.gameStarted(board, side);
  for (const Move& move : question.history) {
    applyMove(board, move);
    side = opponent(side);
    pro.movePlayed(board, side);
  }
  if (extra != nullptr) {
    applyMove(board, *extra);
    pro.movePlayed(board, opponent(side));
  }
}

// engine-pro searches for the time budget, after being told the game so
// far. No book, the default 64 MiB table, built per request like the
// program builds it per process.
EngineAnswer thinkPro(const EngineQuestion& question) {
  auto pro = std::make_unique<ProSearch>(nullptr, 64);
  pro->setNetwork(&defaultNet());
  pro->setTimeBudget(question.budgetSeconds);
  pro->setStopSignal(question.stop);
  tellGame(*pro, question);
  const ProResult result = pro->search(question.board, question.side);
  EngineAnswer answer;
  answer.moved = result.hasMove;
  answer.move = result.move;
  answer.score = result.score;
  answer.depth = result.depth;
  return answer;
}

template <const WeakLevel& level>
EngineAnswer thinkLevel(const EngineQuestion& question) {
  return thinkWeak(level, question);
}

// Margins in pieces (2.5, 0.9, a quarter), a piece being about one scale
// of the network's win-chance curve.
constexpr WeakLevel kBeginner{1, kNetChanceScale * 5 / 2, 30};
constexpr WeakLevel kCasual{2, kNetChanceScale * 9 / 10, 10};
constexpr WeakLevel kClub{4, kNetChanceScale / 4, 0};

}  // namespace

EngineAnswer thinkWeak(const WeakLevel& level, const EngineQuestion& question) {
  MoveList list{};
  list.generateMoves(question.board, question.side);
  std::vector<Move> moves;
  for (int i = 0; i < list.size(); ++i) {
    if (std::find(moves.begin(), moves.end(), list.moves[i]) == moves.end()) moves.push_back(list.moves[i]);
  }
  EngineAnswer answer;
  if (moves.empty()) return answer;
  auto pro = std::make_unique<ProSearch>(nullptr, 1);
  pro->setNetwork(&defaultNet());
  pro->setFixedDepth(level.childDepth);
  std::vector<int32_t> scores;
  for (const Move& move : moves) {
    if (question.stop != nullptr && question.stop->load() && !scores.empty()) {
      moves.resize(scores.size());  // stopped: a choice among the moves scored so far
      break;
    }
    Board child = question.board;
    applyMove(child, move);
    const Side other = opponent(question.side);
    if (!hasAnyMove(child, other)) {
      scores.push_back(kProWinScore - 1);  // the opponent is left without a move
      continue;
    }
    tellGame(*pro, question, &move);
    const ProResult reply = pro->search(child, other);
    scores.push_back(-reply.score);
  }
  std::mt19937_64 random(question.seed);
  const int32_t best = *std::max_element(scores.begin(), scores.end());
  std::vector<size_t> candidates;
  const bool blunder = std::uniform_int_distribution<int>(0, 99)(random) < level.blunderPercent;
  for (size_t i = 0; i < moves.size(); ++i) {
    // A proved loss is only played when every move loses.
    const bool lost = scores[i] < -kProWinBound && best >= -kProWinBound;
    if (!lost && (blunder || scores[i] >= best - level.marginScore)) candidates.push_back(i);
  }
  const size_t pick = candidates[std::uniform_int_distribution<size_t>(0, candidates.size() - 1)(random)];
  answer.moved = true;
  answer.move = moves[pick];
  answer.score = scores[pick];
  answer.depth = level.childDepth + 1;
  return answer;
}

PositionJudge::PositionJudge(uint64_t nodes) : pro_(std::make_unique<ProSearch>(nullptr, 16)) {
  pro_->setNetwork(&defaultNet());
  pro_->setFixedDepth(kProMaxPly / 2);
  pro_->setNodeLimit(nodes);
}

PositionJudge::~PositionJudge() = default;

EngineAnswer PositionJudge::judge(const EngineQuestion& question) {
  tellGame(*pro_, question);
  const ProResult result = pro_->search(question.board, question.side);
  EngineAnswer answer;
  answer.moved = result.hasMove;
  answer.move = result.move;
  answer.score = result.score;
  answer.depth = result.depth;
  return answer;
}

const std::vector<EngineKind>& engineKinds() {
  static const std::vector<EngineKind> kinds = {
      {"level-1", "Level 1 · beginner", true, false, 0, thinkLevel<kBeginner>},
      {"level-2", "Level 2 · casual", true, false, 0, thinkLevel<kCasual>},
      {"level-3", "Level 3 · club", true, false, 0, thinkLevel<kClub>},
      {"level-4", "Level 4 · strong (engine-pro 0.1 s)", true, false, 0.1, thinkPro},
      {"level-5", "Level 5 · expert (engine-pro 1 s)", true, false, 1, thinkPro},
      {"level-6", "Level 6 · strongest (engine-pro 10 s)", true, false, 10, thinkPro},
      {"engine", "engine (depth 5)", false, false, 0, thinkExact<kStandardEngine>},
      {"engine-deep", "engine-deep (depth 6)", false, false, 0, thinkExact<kDeepEngine>},
      {"engine-classic", "engine-classic (depth 5, classic evaluation)", false, false, 0, thinkExact<kClassicEngine>},
      {"engine-pro", "engine-pro (time per move of your choice)", false, true, 0, thinkPro},
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
