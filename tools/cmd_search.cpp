#include <chrono>
#include <cstdio>
#include <iostream>
#include <ostream>

#include "search/engine_settings.h"
#include "search/search_engine.h"
#include "tools/bench_positions.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

using Clock = std::chrono::steady_clock;

const EngineSettings& settingsFromFlags(Args& args) {
  const bool deep = takeFlag(args, "--deep");
  const bool classic = takeFlag(args, "--classic");
  if (deep && classic) throw UsageError("--deep and --classic cannot be combined");
  if (deep) return kDeepEngine;
  if (classic) return kClassicEngine;
  return kStandardEngine;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// FNV-1a over the text of the chosen moves and root scores.
struct Signature {
  uint32_t value = 2166136261u;
  void add(const std::string& text) {
    for (unsigned char ch : text) {
      value ^= ch;
      value *= 16777619u;
    }
  }
};

}  // namespace

int runChoose(Args& args, std::ostream& out) {
  const EngineSettings& settings = settingsFromFlags(args);
  expectCount(args, 2, "choose BOARD SIDE [--deep | --classic]");
  Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  SearchEngine search(settings, nullptr);
  Move best{};
  const auto start = Clock::now();
  const bool moved = search.chooseMove(board, side, best);
  const double seconds = secondsSince(start);
  out << (moved ? moveText(best) : std::string("none")) << "\n";
  std::cerr << "depth " << search.rootDepth() << " score " << search.lastScore() << " nodes " << search.nodes()
            << " time " << seconds << " s\n";
  return 0;
}

int runBench(Args& args, std::ostream& out) {
  const EngineSettings& settings = settingsFromFlags(args);
  expectCount(args, 0, "bench [--deep | --classic]");
  SearchEngine search(settings, nullptr);
  Signature signature;
  uint64_t totalNodes = 0;
  const auto start = Clock::now();
  int index = 0;
  for (const BenchPosition& p : benchPositions()) {
    Board board = parseBoard(p.board);
    Move best{};
    const bool moved = search.chooseMove(board, p.side, best);
    const int32_t score = search.lastScore();
    totalNodes += search.nodes();
    const std::string move = moved ? moveText(best) : std::string("none");
    signature.add(move + " " + std::to_string(score) + "\n");
    out << ++index << " " << p.board << " " << p.side << " depth " << search.rootDepth() << " move " << move
        << " score " << score << " nodes " << search.nodes() << "\n";
  }
  const double seconds = secondsSince(start);
  out << "nodes " << totalNodes << "\n";
  out << "time " << seconds << " s\n";
  out << "nps " << static_cast<uint64_t>(seconds > 0 ? totalNodes / seconds : 0) << "\n";
  out << "signature " << signature.value << "\n";
  return 0;
}

}  // namespace tovrane::cli
