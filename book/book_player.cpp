#include "book/book_player.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/pro_search.h"
#include "search/search_engine.h"

namespace tovrane::book {

namespace {

using Clock = std::chrono::steady_clock;

struct ProgramEntry {
  const char* name;
  const EngineSettings* settings;  // null: engine-pro's search
  int bookDepth;
};

// engine-pro, the strongest program, searches 7 plies of an opening position
// in about a tenth of a second (8 plies take three times as long).
const ProgramEntry kPrograms[] = {
    {"engine-pro", nullptr, 7},
    // One ply deeper than the deep engine searches in the opening, so that
    // its book tells the programs something their own search does not.
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

// Scores every root move by searching the position after it one ply less;
// search(board, side, depth) gives the score for side to move.
template <typename Search>
std::vector<ScoredMove> scoreEachMove(const Board& board, Side side, int depth, int maxMoves, int32_t margin,
                                      Search&& search) {
  MoveList list;
  list.generateMoves(board, side);
  std::vector<ScoredMove> scored;
  for (int i = 0; i < list.size(); ++i) {
    Board child = board;
    applyMove(child, list.moves[i]);
    scored.push_back({list.moves[i], -search(child, opponent(side), depth - 1)});
  }
  return selectBookMoves(std::move(scored), maxMoves, margin);
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
    return scoreEachMove(board, side, depth, maxMoves, margin, [this](Board& child, Side toMove, int childDepth) {
      Move reply{};
      bool moved = false;
      return search_.searchAtDepth(child, toMove, childDepth, reply, moved);
    });
  }

  SearchEngine search_;
  MoveList list_{};
  int depth_;
  double movetime_;
};

// engine-pro's search. At a fixed depth it starts from an empty table every
// time, so results do not depend on the positions searched before.
class ProPlayer : public BookPlayer {
 public:
  ProPlayer(int depth, double movetime, const GameRules& rules)
      : pro_(nullptr, kTableMegabytes), depth_(depth), timed_(movetime > 0), budget_(movetime) {
    pro_.setNetwork(&defaultNet());
    pro_.setRules(rules);
    if (timed_) {
      pro_.setTimeBudget(budget_);
    } else {
      pro_.setFixedDepth(depth_);
    }
  }

  std::vector<ScoredMove> analyse(const Board& board, Side side, int maxMoves, int32_t margin) override {
    if (!hasAnyMove(board, side)) return {};
    if (maxMoves == 1) {
      if (!timed_) pro_.setFixedDepth(depth_);
      const ProResult r = pro_.search(board, side);
      return {{r.move, r.score}};
    }
    if (timed_) {
      // Share the time among the moves.
      MoveList list;
      list.generateMoves(board, side);
      pro_.setTimeBudget(budget_ / list.size());
    }
    return scoreEachMove(board, side, depth_, maxMoves, margin, [this](Board& child, Side toMove, int depth) {
      if (!timed_) pro_.setFixedDepth(std::max(depth, 1));
      // A child without a legal move is lost for its side to move.
      if (!hasAnyMove(child, toMove)) return -kProWinScore;
      return pro_.search(child, toMove).score;
    });
  }

 private:
  static constexpr size_t kTableMegabytes = 16;
  ProSearch pro_;
  int depth_;
  bool timed_;
  double budget_;
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

std::string describePlayer(const PlayerChoice& choice) {
  std::string text = choice.program;
  if (choice.movetime > 0) {
    text += " movetime " + std::to_string(choice.movetime);
  } else {
    text += " depth " + std::to_string(choice.depth > 0 ? choice.depth : defaultBookDepth(choice.program));
  }
  // Books built under the default rules keep their old settings line.
  if (!(choice.rules == GameRules{})) {
    const std::string name = rulesName(choice.rules);
    text += " rules " + (name.empty() ? rulesWords(choice.rules) : name);
  }
  return text;
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

std::unique_ptr<BookPlayer> makePlayer(const PlayerChoice& choice) {
  const ProgramEntry& program = findProgram(choice.program);
  const int depth = choice.depth > 0 ? choice.depth : program.bookDepth;
  if (program.settings == nullptr) return std::make_unique<ProPlayer>(depth, choice.movetime, choice.rules);
  if (!(choice.rules == GameRules{})) {
    throw std::invalid_argument("--rules is for engine-pro only: " + choice.program + " searches as its program does");
  }
  return std::make_unique<SearchPlayer>(*program.settings, depth, choice.movetime);
}

}  // namespace tovrane::book
