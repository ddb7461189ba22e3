#pragma once
// engine-pro's learned evaluation: a small network read incrementally.
//
// Inputs: for each perspective (black's and white's), 72 on/off inputs, one
// per square for that side's own pieces and one per square for the enemy's,
// each side looking from its own home row (white's squares mirrored top to
// bottom, a symmetry of the rules). The first layer's sums for both
// perspectives (the accumulator) change by one weight row per input that
// changes: a step turns two inputs off and on per perspective, a capture
// three. The search keeps one accumulator per ply (NetStack), so taking a
// move back is a pop and a node costs a few vector additions.
//
// Then: the side to move's sums and the other side's, clipped to 0..1,
// weighted into one score in the search's units (a piece about 100).
//
// All integer: int16 weights and sums, int32 output, so every build and
// processor gives the same score to the last unit. A plain path and
// vectorised ones (SSE2, AVX2 where the processor has them, chosen at
// start-up) compute exactly the same numbers.

#include <cstddef>
#include <cstdint>
#include <string>

#include "game/bitboard.h"
#include "game/board.h"

namespace tovrane {

constexpr int kNetInputs = 2 * kCellCount;  // own pieces, then enemy pieces
constexpr int kNetMaxHidden = 64;           // per perspective; files give 16, 32, 48 or 64
constexpr int kNetHiddenStep = 16;          // the widest vector's int16 lanes
constexpr int32_t kNetActivationOne = 127;  // a clipped first-layer sum of 1.0
constexpr int32_t kNetOutputOne = 64;       // an output weight of 1.0
constexpr uint32_t kNetFileVersion = 1;
constexpr char kNetFileMagic[4] = {'T', 'V', 'N', 'N'};
constexpr size_t kNetHeaderBytes = 16;  // magic, version, inputs, hidden (little-endian uint32)

// The network's weights, rows padded to kNetMaxHidden so every row is
// aligned for the widest vectors. A fixed size: nothing allocated.
struct NetWeights {
  int hidden = 0;  // sums per perspective
  alignas(64) int16_t input[kNetInputs][kNetMaxHidden];
  alignas(64) int16_t inputBias[kNetMaxHidden];
  alignas(64) int16_t output[2 * kNetMaxHidden];  // the side to move's hidden units, then the other's
  int32_t outputBias = 0;
};

// The bytes a network file of hidden units per perspective has.
constexpr size_t netFileBytes(int hidden) {
  return kNetHeaderBytes + 2 * static_cast<size_t>(kNetInputs * hidden + hidden + 2 * hidden) + 4;
}

// Reads a network from a file's bytes; false with a one-line reason in
// error for a wrong magic, version or shape or a wrong length.
bool parseNetBytes(const unsigned char* data, size_t size, NetWeights& net, std::string& error);
// The same from a file; the reason names the file.
bool loadNetFile(const std::string& path, NetWeights& net, std::string& error);
// The network built into the programs (eval/default_net.tvnn).
const NetWeights& defaultNet();

// The built-in network's scale: in its self-play games (1,221,797 positions,
// 1,500-node searches) the result for the side to move fits
// 1 / (1 + exp(-score / 90)) best. About a piece's worth; the hand-made
// evaluation's searches fit 100 on the same kind of games.
constexpr int32_t kNetChanceScale = 90;

// The input of a piece of colour pieceSide on cell, for the perspective of side.
constexpr int netInput(Side perspective, Side pieceSide, int cell) {
  const int seen = perspective == kBlack ? cell : (kBoardSize - 1 - cell / kBoardSize) * kBoardSize + cell % kBoardSize;
  return (pieceSide == perspective ? 0 : kCellCount) + seen;
}

// Both perspectives' first-layer sums: [0] black's, [1] white's.
struct NetAccumulator {
  alignas(64) int16_t sums[2][kNetMaxHidden];
};
constexpr int netPerspectiveIndex(Side side) { return side == kBlack ? 0 : 1; }

// The vector routines, one set per instruction set.
struct NetKernels {
  const char* name;
  // after = before + add - sub - sub2 (sub2 may be null), hidden lanes.
  void (*update)(const int16_t* before, int16_t* after, const int16_t* add, const int16_t* sub,
                 const int16_t* sub2, int hidden);
  // Sum over the hidden lanes of clip(us) * weights[i] + clip(them) * weights[hidden + i].
  int32_t (*output)(const int16_t* us, const int16_t* them, const int16_t* weights, int hidden);
};
const NetKernels& netPlainKernels();
// The vectorised kernels this processor runs (the best it has; the plain
// ones when none): chosen once.
const NetKernels& netKernels();
// The x86 kernels, when this build and processor have them (one file per
// processor family): null otherwise.
const NetKernels* netSse2Kernels();
const NetKernels* netAvx2Kernels();

// From scratch: the accumulator of a position.
void netRefresh(const NetWeights& net, const Occupancy& occ, NetAccumulator& acc);
// after = before with mover's piece moved from `from` to `to` (and an enemy
// piece on `to` taken when capture).
void netAfterMove(const NetWeights& net, const NetKernels& kernels, const NetAccumulator& before,
                  NetAccumulator& after, Side mover, int from, int to, bool capture);
// The score for side to move: never a win or loss score.
int32_t netScore(const NetWeights& net, const NetKernels& kernels, const NetAccumulator& acc, Side side);
// A position from scratch (tools and tests; the search keeps a NetStack).
int32_t netEvaluate(const NetWeights& net, const Occupancy& occ, Side side);

// The accumulators of a search's path, one per ply.
constexpr int kNetStackDepth = 160;
struct NetStack {
  const NetWeights* net = nullptr;
  const NetKernels* kernels = nullptr;
  int top = 0;
  NetAccumulator acc[kNetStackDepth];

  void use(const NetWeights& weights) {
    net = &weights;
    kernels = &netKernels();
  }
  void reset(const Occupancy& occ) {
    top = 0;
    netRefresh(*net, occ, acc[0]);
  }
  void push(Side mover, int from, int to, bool capture) {
    netAfterMove(*net, *kernels, acc[top], acc[top + 1], mover, from, to, capture);
    ++top;
  }
  void pop() { --top; }
  int32_t score(Side side) const { return netScore(*net, *kernels, acc[top], side); }
};

}  // namespace tovrane
