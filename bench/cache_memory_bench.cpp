// How much memory the leaf cache takes in the deepest searches, and proof
// that its ceiling holds.
//
// Runs engine-deep's search (base depth 6: 7 plies below 14 pieces, 8 below
// 6) over the `tovrane bench` positions, a set of endgames with four or five
// pieces, and the heaviest middle games found (positions chosen to maximise
// the leaves stored). For each it prints the leaves stored and the cache's
// reserved bytes; then the process's peak resident memory. Finally it
// searches the heaviest position again with the ceiling lowered to half the
// starting table and checks that the cache stayed within it and that move and score
// are unchanged. Exit status 1 when a check fails.
//
//   build/release/bench/cache_memory_bench [--quick]
// --quick leaves out the heavy middle games (each takes seconds).

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "search/engine_settings.h"
#include "search/eval_cache.h"
#include "search/search_engine.h"
#include "tools/bench_positions.h"

namespace tovrane {
namespace {

struct Position {
  const char* board;
  Side side;
};

// Four or five pieces: from random games and random placements.
constexpr Position kEndgames[] = {
    {"000000000010002000000000000001010000", kBlack}, {"000100000000000000000000110001000020", kWhite},
    {"000000000000000020000020000100100001", kWhite}, {"000000000000000000001002100000000011", kWhite},
    {"020020000000000100000000000020000000", kBlack}, {"000002000100000100000000200000000002", kBlack},
    {"000000000000001001000000020000000002", kBlack}, {"000002000100000100000000100000000001", kBlack},
    {"010000000000000200002000000000000001", kWhite}, {"000000020010000000002000000001100000", kBlack},
};

// The largest searches found: a position from a random game and positions
// improved by random changes towards more stored leaves.
constexpr Position kHeavy[] = {
    {"220002000000000200210020000120102001", kBlack},  // 12 pieces, 7 plies
    {"020000202200020020001110000000011100", kBlack},  // 12 pieces, 7 plies
    {"012100000000200100000121010000201202", kWhite},  // 13 pieces, 7 plies
    {"001000021122000000200020112000100200", kBlack},  // 13 pieces, 7 plies
    {"202020210000001221020100010200100011", kWhite},  // 16 pieces, 6 plies
};

struct Result {
  Move move{};
  bool moved = false;
  int32_t score = 0;
  int depth = 0;
  size_t entries = 0;
  size_t reserved = 0;
  double seconds = 0;
};

Board boardOf(const char* digits) {
  Board board{};
  parseBoardDigits(digits, board);
  return board;
}

// A fresh engine per search, so that reserved bytes belong to this search.
Result search(const Position& p, uint32_t limit = EvalCache::kMaxEntries) {
  SearchEngine engine(kDeepEngine, nullptr);
  engine.cache()->limitEntries(limit);
  Board board = boardOf(p.board);
  Result r;
  const auto start = std::chrono::steady_clock::now();
  r.score = engine.searchRoot(board, p.side, r.move, r.moved);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.depth = engine.rootDepth();
  r.entries = engine.cache()->peakEntries();
  r.reserved = engine.cache()->reservedBytes();
  return r;
}

double mebibytes(size_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

}  // namespace
}  // namespace tovrane

int main(int argc, char** argv) {
  using namespace tovrane;
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  std::vector<Position> positions;
  for (const cli::BenchPosition& p : cli::benchPositions()) positions.push_back({p.board, p.side});
  for (const Position& p : kEndgames) positions.push_back(p);
  if (!quick) {
    for (const Position& p : kHeavy) positions.push_back(p);
  }

  size_t largest = 0;
  size_t largestReserved = 0;
  Position heaviest = positions[0];
  Result heaviestResult;
  for (const Position& p : positions) {
    const Result r = search(p);
    std::printf("%s %d depth %d leaves %zu reserved %.1f MiB time %.2f s\n", p.board, p.side, r.depth, r.entries,
                mebibytes(r.reserved), r.seconds);
    if (r.entries >= largest) {
      largest = r.entries;
      heaviest = p;
      heaviestResult = r;
    }
    if (r.reserved > largestReserved) largestReserved = r.reserved;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const size_t ceilingBytes = sizeof(EvalCache) + size_t{EvalCache::kMaxSlots} * sizeof(EvalCacheEntry);
  std::printf("largest search: %zu leaves, cache %.1f MiB\n", largest, mebibytes(largestReserved));
  std::printf("ceiling: %u leaves, cache at most %.1f MiB\n", EvalCache::kMaxEntries, mebibytes(ceilingBytes));
  std::printf("peak resident memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024);

  // The ceiling at work: the starting table for a search that needs more.
  const uint32_t smallLimit = EvalCache::kInitialSlots / 2;
  const Result capped = search(heaviest, smallLimit);
  const size_t smallTable = sizeof(EvalCache) + size_t{EvalCache::kInitialSlots} * sizeof(EvalCacheEntry);
  std::printf("capped at %u leaves: %s held %zu, cache %.1f MiB (limit %.1f MiB), time %.2f s\n", smallLimit,
              heaviest.board, capped.entries, mebibytes(capped.reserved), mebibytes(smallTable), capped.seconds);
  bool ok = true;
  if (largest > EvalCache::kMaxEntries || largestReserved > ceilingBytes) {
    std::printf("FAIL: a search went past the ceiling\n");
    ok = false;
  }
  if (capped.entries > smallLimit || capped.reserved > smallTable) {
    std::printf("FAIL: the lowered ceiling did not hold\n");
    ok = false;
  }
  if (capped.move != heaviestResult.move || capped.score != heaviestResult.score) {
    std::printf("FAIL: the ceiling changed the result\n");
    ok = false;
  }
  if (largest <= smallLimit) {
    std::printf("FAIL: no search needed more than the starting table, so the lowered ceiling proves nothing\n");
    ok = false;
  }
  std::printf("%s\n", ok ? "ceiling holds" : "ceiling check failed");
  return ok ? 0 : 1;
}
