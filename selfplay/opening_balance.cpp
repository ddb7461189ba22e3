#include "selfplay/opening_balance.h"

#include <cstdlib>
#include <memory>

#include "eval/net_eval.h"
#include "search/pro_search.h"

namespace tovrane {

namespace {

constexpr int kDrawsPerWanted = 50;
// A small table: a few thousand nodes per line, a fresh table each.
constexpr size_t kTableMegabytes = 2;

int32_t scoreAfter(const OpeningLine& line, uint64_t nodes) {
  auto search = std::make_unique<ProSearch>(nullptr, kTableMegabytes);
  search->setNetwork(&defaultNet());
  search->setNodeLimit(nodes);
  search->setTimePlan(1e9, 1e9);  // the node budget decides, never the clock
  Board board{};
  resetBoard(board);
  Side side = kBlack;
  search->gameStarted(board, side);
  for (const Move& m : line) {
    applyMove(board, m);
    side = opponent(side);
    search->movePlayed(board, side);
  }
  return search->search(board, side).score;
}

}  // namespace

OpeningBalanceReport balancedOpenings(const OpeningBalanceSettings& settings,
                                      const std::function<void(const OpeningBalanceReport&)>& progress) {
  const int draws = settings.draws > 0 ? settings.draws : settings.count * kDrawsPerWanted;
  const std::vector<OpeningLine> lines = randomOpenings(draws, settings.plies, settings.seed);
  OpeningBalanceReport report;
  for (const OpeningLine& line : lines) {
    if (static_cast<int>(report.kept.size()) >= settings.count) break;
    const int32_t score = scoreAfter(line, settings.nodes);
    ++report.scored;
    if (std::abs(score) <= settings.margin) report.kept.push_back({line, score});
    if (progress) progress(report);
  }
  return report;
}

}  // namespace tovrane
