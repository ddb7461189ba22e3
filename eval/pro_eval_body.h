#pragma once
// The body of engine-pro's evaluation, shared by the builds of it for
// processors with and without a bit-count instruction (pro_eval.cpp picks
// one at start-up). Count::of(mask) counts a mask's bits. Everything here
// is inlined into the caller, so it is compiled for the caller's processor.

#include <bit>

#include "eval/pro_eval.h"

namespace tovrane::pro_eval_detail {

struct SquareMasks {
  CellMask crossing;  // crossing points of their circuit
  CellMask shared;    // squares on both circuits
  CellMask corner;    // the four corners (on no circuit)
};

constexpr SquareMasks buildSquareMasks() {
  SquareMasks m{};
  for (int cell = 0; cell < kCellCount; ++cell) {
    const int row = cell / kBoardSize;
    const int col = cell % kBoardSize;
    const bool smallLine = row == 1 || row == 4 || col == 1 || col == 4;
    const bool largeLine = row == 2 || row == 3 || col == 2 || col == 3;
    const bool smallCross = (row == 1 || row == 4) && (col == 1 || col == 4);
    const bool largeCross = (row == 2 || row == 3) && (col == 2 || col == 3);
    if (!smallLine && !largeLine) {
      m.corner |= cellBit(cell);
    } else if (smallCross || largeCross) {
      m.crossing |= cellBit(cell);
    } else if (smallLine && largeLine) {
      m.shared |= cellBit(cell);
    }
  }
  return m;
}
constexpr SquareMasks kSquares = buildSquareMasks();

constexpr CellMask kNotColumn0 = kAllCells & ~columnMask(0);
constexpr CellMask kNotColumn5 = kAllCells & ~columnMask(kBoardSize - 1);

// The squares of from whose neighbour in direction offset (a cell offset of
// a king step) lies in to. Rows need no mask: shifts past row 0 or row 5
// leave the 36 bits.
template <int kOffset>
[[gnu::always_inline]] inline CellMask withNeighbourIn(CellMask from, CellMask to) {
  constexpr int kColumnStep = (kOffset + 12) % kBoardSize == 1 ? 1 : (kOffset + 12) % kBoardSize == 5 ? -1 : 0;
  constexpr CellMask kValid = kColumnStep == 1 ? kNotColumn5 : kColumnStep == -1 ? kNotColumn0 : kAllCells;
  const CellMask shifted = kOffset > 0 ? to >> kOffset : (to << -kOffset) & kAllCells;
  return from & shifted & kValid;
}

// Pairs (piece of own, empty neighbour): the steps of own's pieces.
template <class Count>
[[gnu::always_inline]] inline int32_t stepCount(CellMask own, CellMask empty) {
  return Count::of(withNeighbourIn<7>(own, empty)) + Count::of(withNeighbourIn<6>(own, empty)) +
         Count::of(withNeighbourIn<5>(own, empty)) + Count::of(withNeighbourIn<-1>(own, empty)) +
         Count::of(withNeighbourIn<-7>(own, empty)) + Count::of(withNeighbourIn<-6>(own, empty)) +
         Count::of(withNeighbourIn<-5>(own, empty)) + Count::of(withNeighbourIn<1>(own, empty));
}

// Friendly neighbours summed over own's pieces: each adjacent pair counts
// twice, so four directions suffice.
template <class Count>
[[gnu::always_inline]] inline int32_t neighbourPairs(CellMask own) {
  return 2 * (Count::of(withNeighbourIn<1>(own, own)) + Count::of(withNeighbourIn<5>(own, own)) +
              Count::of(withNeighbourIn<6>(own, own)) + Count::of(withNeighbourIn<7>(own, own)));
}

[[gnu::always_inline]] inline int32_t mixPhases(const ProFeatures& f, int pieces, const ProWeights& weights) {
  const int phase = pieces < kProPhaseMax ? pieces : kProPhaseMax;
  int32_t total = 0;
  for (int i = 0; i < kProFeatureCount; ++i) {
    total += f[i] * (weights.opening[i] * phase + weights.endgame[i] * (kProPhaseMax - phase));
  }
  return total / kProPhaseMax;
}

template <class Count>
[[gnu::always_inline]] inline ProFeatures computeProFeatures(const Occupancy& occ, RingMask rings, Side side) {
  // Index by colour (cell value 1 or 2).
  const CellMask pieceMask[3] = {0, occ.white, occ.black};

  // Along a ring, pieces that follow each other see each other when a loop
  // lies between them. Within one side of the ring there is no loop, so
  // only the last piece of a side and the first of the next occupied side
  // (a lap further on when one side holds all) are such neighbours; the
  // loops between them are the side boundaries crossed.
  CellMask attacked[3] = {0, 0, 0};  // pieces of colour c that the other colour attacks
  CellMask guarded[3] = {0, 0, 0};
  int loopAccess[3] = {0, 0, 0};
  for (int circuit = 0; circuit < 2; ++circuit) {
    const uint32_t ring = static_cast<uint32_t>(rings >> (circuit * kLargeRingShift)) & kLapBits;
    if ((ring & (ring - 1)) == 0) continue;  // fewer than two entries
    int firsts[4];
    int lasts[4];
    int sides = 0;
    for (int start = 0; start < kLapLength; start += 6) {
      const uint32_t inSide = (ring >> start) & 63;
      if (inSide == 0) continue;
      firsts[sides] = start + std::countr_zero(inSide);
      lasts[sides] = start + 31 - std::countl_zero(inSide);
      ++sides;
    }
    for (int i = 0; i < sides; ++i) {
      const int a = lasts[i];
      const int b = i + 1 < sides ? firsts[i + 1] : firsts[0] + kLapLength;
      const int cellA = kRingTables.cellOf[circuit][a];
      const int cellB = kRingTables.cellOf[circuit][b % kLapLength];
      if (cellA == cellB) continue;  // a crossing point meeting itself
      const int loops = b / 6 - a / 6;
      const int colourA = (occ.black & cellBit(cellA)) != 0 ? kBlack : kWhite;
      const int colourB = (occ.black & cellBit(cellB)) != 0 ? kBlack : kWhite;
      loopAccess[colourA] += loops;
      loopAccess[colourB] += loops;
      if (colourA != colourB) {
        attacked[colourA] |= cellBit(cellA);
        attacked[colourB] |= cellBit(cellB);
      } else {
        guarded[colourA] |= cellBit(cellA) | cellBit(cellB);
      }
    }
  }

  const Side us = side;
  const Side them = opponent(side);
  const CellMask ours = pieceMask[us];
  const CellMask theirs = pieceMask[them];
  const CellMask empty = occ.empty();
  const int32_t piecesUs = Count::of(ours);
  const int32_t piecesThem = Count::of(theirs);
  ProFeatures f{};
  f[kFeatMaterial] = piecesUs - piecesThem;
  f[kFeatCrossing] = Count::of(ours & kSquares.crossing) - Count::of(theirs & kSquares.crossing);
  f[kFeatShared] = Count::of(ours & kSquares.shared) - Count::of(theirs & kSquares.shared);
  f[kFeatCorner] = Count::of(ours & kSquares.corner) - Count::of(theirs & kSquares.corner);
  f[kFeatMobility] = stepCount<Count>(ours, empty) - stepCount<Count>(theirs, empty);
  f[kFeatTargets] = Count::of(attacked[them]);
  f[kFeatThreats] = Count::of(attacked[us]);
  f[kFeatLooseOurs] = Count::of(attacked[us] & ~guarded[us]);
  f[kFeatLooseTheirs] = Count::of(attacked[them] & ~guarded[them]);
  f[kFeatGuarded] = Count::of(guarded[us]) - Count::of(guarded[them]);
  f[kFeatLoopAccess] = loopAccess[us] - loopAccess[them];
  f[kFeatCrowding] = neighbourPairs<Count>(ours) - neighbourPairs<Count>(theirs);
  f[kFeatEndgameMaterial] = f[kFeatMaterial] * (2 * kPiecesPerSide - piecesUs - piecesThem) / 4;
  f[kFeatTempo] = 1;
  return f;
}

template <class Count>
[[gnu::always_inline]] inline int32_t computeProScore(const Occupancy& occ, RingMask rings, Side side,
                                                      const ProWeights& weights) {
  return mixPhases(computeProFeatures<Count>(occ, rings, side), Count::of(occ.pieces()), weights);
}

}  // namespace tovrane::pro_eval_detail
