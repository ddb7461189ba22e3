// engine-pro's main function: options, then the same referee loop as the
// exact programs, driving the time-budgeted search, on its own game clock
// when it has one.

#include <chrono>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "engine/pro_info.h"
#include "engine/pro_options.h"
#include "engine/referee_loop.h"
#include "engine/time_manager.h"
#include "eval/net_eval.h"
#include "game/opening_book.h"
#include "search/engine_settings.h"
#include "search/pro_search.h"

namespace tovrane {

namespace {

// The search on a game clock: before each move the clock's plan becomes the
// search's time plan; the clock is charged with the whole turn, from the
// command read to the reply about to be written.
class ClockedSearch : public MoveChooser {
 public:
  ClockedSearch(ProSearch& search, const ClockControl& control, double moveCap)
      : search_(search), clock_(control), moveCap_(moveCap) {}

  bool chooseMove(Board& board, Side side, Move& out) override {
    const auto start = std::chrono::steady_clock::now();
    const MovePlan plan = moveCap_ > 0 ? cappedPlan(clock_.plan(), moveCap_) : clock_.plan();
    search_.setTimePlan(plan.softSeconds, plan.hardSeconds);
    const bool moved = search_.chooseMove(board, side, out);
    clock_.charge(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), plan.hardSeconds);
    return moved;
  }
  void gameStarted(const Board& board) override {
    clock_.reset();
    search_.gameStarted(board);
  }
  void movePlayed(const Board& board, Side sideToMove) override { search_.movePlayed(board, sideToMove); }
  double left() const { return clock_.left(); }

 private:
  ProSearch& search_;
  GameClock clock_;
  double moveCap_;  // seconds; 0: none
};

// --log FILE: a line per searched move after the player's own work.
class LoggedPlayer : public MoveChooser {
 public:
  LoggedPlayer(MoveChooser& player, ProSearch& search, const ClockedSearch* clock, const std::string& path)
      : player_(player), clock_(clock), log_(path, std::ios::app) {
    search.setIterationReport([this](const ProResult& r) { iterationDone(r); });
  }
  bool good() const { return log_.good(); }
  void iterationDone(const ProResult& r) { last_ = r; }

  bool chooseMove(Board& board, Side side, Move& out) override {
    last_ = ProResult{};
    const bool moved = player_.chooseMove(board, side, out);
    if (last_.depth > 0) {
      log_ << "move " << ++moves_ << " depth " << last_.depth << " score " << last_.score << " nodes " << last_.nodes
           << " seconds " << last_.seconds;
      if (clock_ != nullptr) log_ << " left " << clock_->left();
      log_ << "\n" << std::flush;
    }
    return moved;
  }
  void gameStarted(const Board& board) override {
    moves_ = 0;
    log_ << "new game\n";
    player_.gameStarted(board);
  }
  void movePlayed(const Board& board, Side sideToMove) override { player_.movePlayed(board, sideToMove); }

 private:
  MoveChooser& player_;
  const ClockedSearch* clock_;
  std::ofstream log_;
  ProResult last_;
  int moves_ = 0;
};

// --info: the thinking line of each finished iteration goes out before the
// move; its score needs the number of pieces of the position searched. The
// search has one report: the log's, if any, is told from here.
class InfoReporter : public MoveChooser {
 public:
  InfoReporter(ProSearch& search, MoveChooser& player, LoggedPlayer* logged, std::ostream& out) : player_(player) {
    search.setIterationReport([this, logged, &out](const ProResult& result) {
      if (logged != nullptr) logged->iterationDone(result);
      out << proInfoLine(result, pieces_) << "\n";
    });
  }
  bool chooseMove(Board& board, Side side, Move& out) override {
    pieces_ = countPieces(board, kBlack) + countPieces(board, kWhite);
    return player_.chooseMove(board, side, out);
  }
  void gameStarted(const Board& board) override { player_.gameStarted(board); }
  void movePlayed(const Board& board, Side sideToMove) override { player_.movePlayed(board, sideToMove); }

 private:
  MoveChooser& player_;
  int pieces_ = 0;
};

}  // namespace

int runProProgram(int argc, const char* const* argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  ProOptions options;
  std::string error;
  if (!parseProOptions(args, options, error)) {
    std::cerr << "engine-pro: " << error << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << proHelpText() << std::flush;
    return 0;
  }
  static NetWeights net;
  if (!options.evalFile.empty() && !loadNetFile(options.evalFile, net, error)) {
    std::cerr << "engine-pro: " << error << "\n";
    return 2;
  }
  static OpeningBook book;
  ProSearch* search = nullptr;
  try {
    static ProSearch pro(&book, options.hashMegabytes);
    search = &pro;
  } catch (const std::bad_alloc&) {
    std::cerr << "engine-pro: cannot allocate a " << options.hashMegabytes << " MB table; try a smaller --hash\n";
    return 2;
  }
  search->setTimeBudget(options.moveSeconds);
  if (options.nodes > 0) {
    if (options.clock.base <= 0) search->setTimePlan(kRunawaySeconds, kRunawaySeconds);
    search->setNodeLimit(options.nodes);
  }
  if (options.depth > 0) search->setFixedDepth(options.depth);
  if (options.netEval) search->setNetwork(options.evalFile.empty() ? &defaultNet() : &net);
  search->setRules(options.rules);
  search->setThreads(options.threads);
  search->setSelectivity(options.selectivity);
  if (options.drawPlies > 0) search->setDrawPlies(options.drawPlies);
  MoveChooser* player = search;
  ClockedSearch* clocked = nullptr;
  if (options.clock.base > 0) {
    static ClockedSearch onClock(*search, options.clock, options.moveSecondsGiven ? options.moveSeconds : 0);
    clocked = &onClock;
    player = clocked;
  }
  LoggedPlayer* loggedPlayer = nullptr;
  if (!options.logPath.empty()) {
    static LoggedPlayer logged(*player, *search, clocked, options.logPath);
    if (!logged.good()) {
      std::cerr << "engine-pro: cannot open the log file '" << options.logPath << "'\n";
      return 2;
    }
    loggedPlayer = &logged;
    player = &logged;
  }
  if (options.info) {
    static InfoReporter reporter(*search, *player, loggedPlayer, std::cout);
    player = &reporter;
  }
  static RefereeLoop loop(kProEngine, *player, std::cin, std::cout, nullptr);
  return loop.run();
}

}  // namespace tovrane
