#include <chrono>
#include <cstdlib>
#include <memory>
#include <cstdio>
#include <iostream>
#include <ostream>

#include "search/engine_settings.h"
#include "search/pro_search.h"
#include "search/selectivity_names.h"
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

// Takes "--name VALUE" from args; false when absent.
bool takeOption(Args& args, const std::string& name, std::string& value) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it != name) continue;
    if (it + 1 == args.end()) throw UsageError(name + " needs a value");
    value = *(it + 1);
    args.erase(it, it + 2);
    return true;
  }
  return false;
}

std::string proMoveText(ProMove m) { return moveText(toMove(m)); }

// The fixed depth of `bench --pro`.
constexpr int kProBenchDepth = 7;

int runProChoose(Args& args, std::ostream& out) {
  std::string text;
  double seconds = 1.0;
  int depth = 0;
  if (takeOption(args, "--movetime", text)) {
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0.01 && seconds <= 60)) {
      throw UsageError("--movetime must be a number of seconds from 0.01 to 60, got '" + text + "'");
    }
  }
  if (takeOption(args, "--depth", text)) depth = parseInt(text, 1, kProMaxPly - 1, "--depth");
  expectCount(args, 2, "choose BOARD SIDE --pro [--movetime S | --depth N]");
  const Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  auto search = std::make_unique<ProSearch>(nullptr, 64);
  search->setNetwork(&defaultNet());
  if (depth > 0) {
    search->setFixedDepth(depth);
  } else {
    search->setTimeBudget(seconds);
  }
  search->setIterationReport([](const ProResult& r) {
    std::cerr << "depth " << r.depth << " score " << r.score << " nodes " << r.nodes << " time " << r.seconds
              << " s pv";
    for (int k = 0; k < r.pvLength; ++k) std::cerr << " " << proMoveText(r.pv[k]);
    std::cerr << "\n";
  });
  const ProResult result = search->search(board, side);
  out << (result.hasMove ? moveText(result.move) : std::string("none")) << "\n";
  std::cerr << "played depth " << result.depth << " nodes " << result.nodes << " time " << result.seconds
            << " s nps " << static_cast<uint64_t>(result.seconds > 0 ? result.nodes / result.seconds : 0) << "\n";
  return 0;
}

int runProBench(std::ostream& out, const NetWeights* net, const ProSelectivity& selectivity) {
  auto search = std::make_unique<ProSearch>(nullptr, 16);
  search->setNetwork(net);
  search->setSelectivity(selectivity);
  search->setFixedDepth(kProBenchDepth);
  Signature signature;
  uint64_t totalNodes = 0;
  const auto start = Clock::now();
  int index = 0;
  for (const BenchPosition& p : benchPositions()) {
    const Board board = parseBoard(p.board);
    const ProResult r = search->search(board, p.side);
    totalNodes += r.nodes;
    const std::string move = r.hasMove ? moveText(r.move) : std::string("none");
    signature.add(move + " " + std::to_string(r.score) + " " + std::to_string(r.nodes) + "\n");
    out << ++index << " " << p.board << " " << p.side << " depth " << r.depth << " move " << move << " score "
        << r.score << " nodes " << r.nodes << "\n";
  }
  const double seconds = secondsSince(start);
  out << "nodes " << totalNodes << "\n";
  out << "time " << seconds << " s\n";
  out << "nps " << static_cast<uint64_t>(seconds > 0 ? totalNodes / seconds : 0) << "\n";
  out << "signature " << signature.value << "\n";
  return 0;
}

}  // namespace

int runChoose(Args& args, std::ostream& out) {
  if (takeFlag(args, "--pro")) {
    if (takeFlag(args, "--deep") || takeFlag(args, "--classic")) throw UsageError("--pro cannot be combined");
    return runProChoose(args, out);
  }
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
  if (takeFlag(args, "--pro")) {
    std::string eval = "net";
    std::string netFile;
    takeOption(args, "--eval", eval);
    if (eval != "classic" && eval != "net") throw UsageError("--eval must be classic or net, got '" + eval + "'");
    static NetWeights loaded;
    std::string error;
    if (takeOption(args, "--eval-file", netFile) && !loadNetFile(netFile, loaded, error)) throw UsageError(error);
    ProSelectivity selectivity;
    std::string parts;
    if (takeOption(args, "--selectivity", parts) && !parseSelectivity(parts, selectivity, error)) {
      throw UsageError(error);
    }
    expectCount(args, 0, "bench --pro [--eval classic|net | --eval-file NET] [--selectivity LIST]");
    return runProBench(out, !netFile.empty() ? &loaded : eval == "net" ? &defaultNet() : nullptr, selectivity);
  }
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
