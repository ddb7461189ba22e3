#include "book/book_player.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/search_engine.h"

namespace tovrane::book {

namespace {

using Clock = std::chrono::steady_clock;

struct ProgramEntry {
  const char* name;
  const EngineSettings* settings;
  int bookDepth;
};

// One ply deeper than the deep engine searches in the opening, so that a
// book tells the programs something their own search does not.
const ProgramEntry kPrograms[] = {
    {"engine-deep", &kDeepEngine, 7},
    {"engine", &kStandardEngine, 6},
    {"engine-classic", &kClassicEngine, 6},
};

const ProgramEntry& findProgram(const std::string& name) {
  for (const ProgramEntry& p : kPrograms) {
    if (name == p.name) return p;
  }
  throw std::invalid_argument("unknown book player '" + name + "'");
}

// A program's own search at a given depth, or deepening for a time.
class SearchPlayer : public BookPlayer {
 public:
  SearchPlayer(const EngineSettings& settings, int depth, double movetime)
      : search_(settings, nullptr), depth_(depth), movetime_(movetime) {}

  std::vector<ScoredMove> analyse(const Board& board, Side side, int maxMoves, int32_t margin) override {
    if (!hasAnyMove(board, side)) return {};
    if (movetime_ <= 0) return analyseAtDepth(board, side, depth_, maxMoves, margin);
    // Deepen while the next depth is expected to end within the time: the
    // last depth's time times its growth over the depth before.
    const auto start = Clock::now();
    std::vector<ScoredMove> best;
    double previous = 0;
    for (int depth = 1; depth <= kMaxDepth; ++depth) {
      const auto begin = Clock::now();
      best = analyseAtDepth(board, side, depth, maxMoves, margin);
      const double took = std::chrono::duration<double>(Clock::now() - begin).count();
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      const double growth = previous > 0 ? std::max(took / previous, 2.0) : 4.0;
      if (elapsed + took * growth > movetime_) break;
      previous = took;
    }
    return best;
  }

 private:
  static constexpr int kMaxDepth = 40;

  std::vector<ScoredMove> analyseAtDepth(const Board& position, Side side, int depth, int maxMoves, int32_t margin) {
    Board board = position;
    if (maxMoves == 1) {
      Move move{};
      bool moved = false;
      const int32_t score = search_.searchAtDepth(board, side, depth, move, moved);
      if (!moved) {
        // As the engines do: with no root move recorded, play the first one.
        list_.generateMoves(board, side);
        move = list_.moves[0];
      }
      return {{move, score}};
    }
    // Every root move searched with a full window gives its own score.
    list_.generateMoves(board, side);
    const int count = list_.size();
    const std::vector<Move> moves(list_.moves, list_.moves + count);
    std::vector<ScoredMove> scored;
    for (const Move& m : moves) {
      Board child = board;
      applyMove(child, m);
      Move reply{};
      bool moved = false;
      scored.push_back({m, -search_.searchAtDepth(child, opponent(side), depth - 1, reply, moved)});
    }
    return selectBookMoves(std::move(scored), maxMoves, margin);
  }

  SearchEngine search_;
  MoveList list_{};
  int depth_;
  double movetime_;
};

}  // namespace

const std::vector<std::string>& playerPrograms() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const ProgramEntry& p : kPrograms) list.push_back(p.name);
    return list;
  }();
  return names;
}

int defaultBookDepth(const std::string& program) { return findProgram(program).bookDepth; }

std::string describePlayer(const PlayerSpec& spec) {
  if (spec.movetime > 0) return spec.program + " movetime " + std::to_string(spec.movetime);
  return spec.program + " depth " + std::to_string(spec.depth > 0 ? spec.depth : defaultBookDepth(spec.program));
}

std::vector<ScoredMove> selectBookMoves(std::vector<ScoredMove> scored, int maxMoves, int32_t margin) {
  std::stable_sort(scored.begin(), scored.end(),
                   [](const ScoredMove& a, const ScoredMove& b) { return a.score > b.score; });
  std::vector<ScoredMove> chosen;
  for (const ScoredMove& s : scored) {
    if (static_cast<int>(chosen.size()) >= maxMoves) break;
    if (!chosen.empty() && static_cast<int64_t>(s.score) < static_cast<int64_t>(chosen[0].score) - margin) break;
    chosen.push_back(s);
  }
  return chosen;
}

std::unique_ptr<BookPlayer> makePlayer(const PlayerSpec& spec) {
  const ProgramEntry& program = findProgram(spec.program);
  const int depth = spec.depth > 0 ? spec.depth : program.bookDepth;
  return std::make_unique<SearchPlayer>(*program.settings, depth, spec.movetime);
}

}  // namespace tovrane::book
