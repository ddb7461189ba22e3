#include "search/search_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rules/move_generator.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

Board withPieces(int count) {
  Board board{};
  for (int i = 0; i < count; ++i) board.cells[i] = i % 2 == 0 ? kBlack : kWhite;
  return board;
}

TEST(SearchDepth, TiersFollowThePiecesLeft) {
  const SearchEngine standard(kStandardEngine, nullptr);
  const SearchEngine deep(kDeepEngine, nullptr);
  const SearchEngine classic(kClassicEngine, nullptr);
  const int pieces[] = {24, 14, 13, 6, 5, 3};
  const int standardDepth[] = {5, 5, 6, 6, 7, 7};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(standard.rootDepthFor(withPieces(pieces[i])), standardDepth[i]) << pieces[i];
    EXPECT_EQ(deep.rootDepthFor(withPieces(pieces[i])), standardDepth[i] + 1) << pieces[i];
    EXPECT_EQ(classic.rootDepthFor(withPieces(pieces[i])), 5) << pieces[i];
  }
}

// Plain minimax with the same end-of-game rules, written independently of the
// engine, to check that alpha-beta returns the exact value and the first of
// the best root moves.
template <typename Eval>
int32_t minimax(const Board& board, int depth, Side side, Eval& eval) {
  if (depth == 0) return eval.evaluate(board, side);
  MoveList list;
  list.generateMoves(board, opponent(side));
  if (list.lastIndex < 0) return kWinScore;
  list.generateMoves(board, side);
  if (list.lastIndex < 0) return kLossScore;
  int32_t best = -kInfinity;
  for (int i = 0; i <= list.lastIndex; ++i) {
    Board child = board;
    applyMove(child, list.moves[i]);
    best = std::max(best, -minimax(child, depth - 1, opponent(side), eval));
  }
  return best;
}

struct RootResult {
  int32_t value;
  Move move;
};

template <typename Eval>
RootResult minimaxRoot(const Board& board, int depth, Side side, Eval& eval) {
  MoveList list;
  list.generateMoves(board, side);
  RootResult best{-kInfinity, {}};
  for (int i = 0; i <= list.lastIndex; ++i) {
    Board child = board;
    applyMove(child, list.moves[i]);
    const int32_t value = -minimax(child, depth - 1, opponent(side), eval);
    if (value > best.value) best = {value, list.moves[i]};
  }
  return best;
}

// Positions along a game with varied move picks; captures come first in the
// lists, so the board thins out.
std::vector<Board> gamePositions() {
  std::vector<Board> positions;
  Board board = test::initialBoard();
  Side side = kBlack;
  MoveList list;
  for (int ply = 0; ply < 60; ++ply) {
    if (ply % 5 == 0) positions.push_back(board);
    list.generateMoves(board, side);
    if (list.lastIndex < 0) break;
    applyMove(board, list.moves[(ply * 7) % list.size()]);
    side = opponent(side);
  }
  return positions;
}

template <typename Eval>
void expectSameAsMinimax(const EngineSettings& settings, int depth) {
  SearchEngine search(settings, nullptr);
  Eval eval;
  int checked = 0;
  for (const Board& start : gamePositions()) {
    for (Side side : {kWhite, kBlack}) {
      if (!hasAnyMove(start, side) || !hasAnyMove(start, opponent(side))) continue;
      const RootResult expected = minimaxRoot(start, depth, side, eval);
      Board board = start;
      Move out{};
      bool moved = false;
      const int32_t score = search.searchAtDepth(board, side, depth, out, moved);
      EXPECT_EQ(score, expected.value) << boardDigits(start) << " side " << side;
      EXPECT_TRUE(moved);
      EXPECT_EQ(out, expected.move) << boardDigits(start) << " side " << side;
      EXPECT_EQ(board, start);
      ++checked;
    }
  }
  EXPECT_GT(checked, 10);
}

TEST(AlphaBeta, StandardSearchMatchesMinimax) { expectSameAsMinimax<Evaluator>(kStandardEngine, 3); }

TEST(AlphaBeta, ClassicSearchMatchesMinimax) { expectSameAsMinimax<ClassicEvaluator>(kClassicEngine, 3); }

// Plain alpha-beta on Boards that scores every leaf, counting nodes as the
// engine does: the engine may leave out leaves that cannot matter, but never
// a node, and its root score and move stay the same.
template <typename Eval>
int32_t plainAlphaBeta(const Board& board, int depth, int32_t alpha, int32_t beta, Side side, Eval& eval,
                       uint64_t& nodes) {
  ++nodes;
  if (depth == 0) return eval.evaluate(board, side);
  MoveList list;
  list.generateMoves(board, opponent(side));
  if (list.lastIndex < 0) return kWinScore;
  list.generateMoves(board, side);
  if (list.lastIndex < 0) return kLossScore;
  for (int i = 0; i <= list.lastIndex && alpha < beta; ++i) {
    Board child = board;
    applyMove(child, list.moves[i]);
    alpha = std::max(alpha, -plainAlphaBeta(child, depth - 1, -beta, -alpha, opponent(side), eval, nodes));
  }
  return alpha;
}

template <typename Eval>
void expectSameNodesAsPlainAlphaBeta(const EngineSettings& settings) {
  SearchEngine search(settings, nullptr);
  Eval eval;
  std::vector<Board> boards = test::randomGamePositions(43, 12);
  int checked = 0;
  for (size_t i = 0; i < boards.size(); i += 5) {
    for (Side side : {kWhite, kBlack}) {
      const int depth = 3 + static_cast<int>(i % 2);
      uint64_t nodes = 0;
      const int32_t expected = plainAlphaBeta(boards[i], depth, -kInfinity, kInfinity, side, eval, nodes);
      Board board = boards[i];
      Move out{};
      bool moved = false;
      ASSERT_EQ(search.searchAtDepth(board, side, depth, out, moved), expected) << boardDigits(boards[i]);
      ASSERT_EQ(search.nodes(), nodes) << boardDigits(boards[i]) << " side " << side;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

TEST(AlphaBeta, StandardNodesMatchPlainAlphaBeta) { expectSameNodesAsPlainAlphaBeta<Evaluator>(kDeepEngine); }

TEST(AlphaBeta, ClassicNodesMatchPlainAlphaBeta) { expectSameNodesAsPlainAlphaBeta<ClassicEvaluator>(kClassicEngine); }

TEST(AlphaBeta, OpponentWithoutMovesIsAWinEvenWhenWeCannotMove) {
  SearchEngine search(kStandardEngine, nullptr);
  Move out{};
  // White has no piece: black to move wins at once.
  Board board = boardWith({{2, 2, kBlack}});
  EXPECT_EQ(search.alphaBeta(board, 3, -kInfinity, kInfinity, kBlack, out), kWinScore);
  // Neither side can move (an empty board): still a win for the side to move.
  Board empty{};
  EXPECT_EQ(search.alphaBeta(empty, 3, -kInfinity, kInfinity, kWhite, out), kWinScore);
  Board none = boardWith({{0, 0, kBlack}, {0, 1, kWhite}, {1, 0, kWhite}, {1, 1, kWhite}});
  // Here black (boxed in the corner) cannot move, white can: black loses.
  EXPECT_EQ(search.alphaBeta(none, 2, -kInfinity, kInfinity, kBlack, out), kLossScore);
  EXPECT_EQ(search.alphaBeta(none, 2, -kInfinity, kInfinity, kWhite, out), kWinScore);
}

TEST(AlphaBeta, LeavesOutAloneBelowTheRoot) {
  SearchEngine search(kStandardEngine, nullptr);
  Board board = test::initialBoard();
  Move out{3, 3, 3, 3};
  bool moved = false;
  search.searchAtDepth(board, kBlack, 2, out, moved);
  ASSERT_TRUE(moved);
  MoveList list;
  list.generateMoves(test::initialBoard(), kBlack);
  bool listed = false;
  for (int i = 0; i <= list.lastIndex; ++i) listed = listed || list.moves[i] == out;
  EXPECT_TRUE(listed) << moveText(out);
}

TEST(ChooseMove, SingleLegalMoveIsPlayedWhateverItsScore) {
  SearchEngine search(kStandardEngine, nullptr);
  // Black's only piece in the corner, boxed by two whites and one free square.
  Board board = boardWith({{0, 0, kBlack}, {0, 1, kWhite}, {1, 0, kWhite}, {4, 4, kWhite}});
  MoveList list;
  list.generateMoves(board, kBlack);
  ASSERT_EQ(list.size(), 1);
  Move out{};
  const Board before = board;
  ASSERT_TRUE(search.chooseMove(board, kBlack, out));
  EXPECT_EQ(out, list.moves[0]);
  EXPECT_EQ(board, before);
  EXPECT_EQ(search.cache()->entryCount(), 0u);
}

TEST(ChooseMove, OpponentWithoutMovesStillGetsOurFirstMove) {
  SearchEngine search(kStandardEngine, nullptr);
  Board board = boardWith({{2, 2, kBlack}, {3, 4, kBlack}});
  Move out{9, 9, 9, 9};
  ASSERT_TRUE(search.chooseMove(board, kBlack, out));
  MoveList list;
  list.generateMoves(board, kBlack);
  EXPECT_EQ(out, list.moves[0]);
}

TEST(ChooseMove, NoLegalMoveMeansNoMove) {
  SearchEngine search(kStandardEngine, nullptr);
  Board board = boardWith({{0, 0, kBlack}, {0, 1, kWhite}, {1, 0, kWhite}, {1, 1, kWhite}});
  Move out{9, 9, 9, 9};
  EXPECT_FALSE(search.chooseMove(board, kBlack, out));
  EXPECT_EQ(out, (Move{9, 9, 9, 9}));
  Board empty{};
  EXPECT_FALSE(search.chooseMove(empty, kWhite, out));
}

TEST(ChooseMove, BookMoveSkipsTheSearch) {
  test::TempDir dir(true);
  dir.writeBook("222222222222000000000000111111111111", "black 1 5 2 5\n");
  OpeningBook book;
  SearchEngine search(kStandardEngine, &book);
  Board board = test::initialBoard();
  Move out{};
  ASSERT_TRUE(search.chooseMove(board, kBlack, out));
  EXPECT_EQ(out, test::mv("1525"));
  EXPECT_EQ(search.nodes(), 0u);
  // Asked for white, the same file has nothing: the search decides.
  ASSERT_TRUE(search.chooseMove(board, kWhite, out));
  EXPECT_GT(search.nodes(), 0u);
}

TEST(ChooseMove, CacheDoesNotChangeTheResult) {
  // The same search with and without the leaf cache, and with a cache that
  // fills up almost at once, must agree on move and score.
  for (const Board& start : gamePositions()) {
    SearchEngine cached(kStandardEngine, nullptr);
    EngineSettings uncachedSettings = kStandardEngine;
    uncachedSettings.leafCache = false;
    SearchEngine uncached(uncachedSettings, nullptr);
    SearchEngine starved(kStandardEngine, nullptr);
    starved.cache()->limitEntries(50);
    Move a{}, b{}, c{};
    bool ma = false, mb = false, mc = false;
    Board board = start;
    const int32_t sa = cached.searchAtDepth(board, kBlack, 3, a, ma);
    const int32_t sb = uncached.searchAtDepth(board, kBlack, 3, b, mb);
    const int32_t sc = starved.searchAtDepth(board, kBlack, 3, c, mc);
    EXPECT_EQ(sa, sb);
    EXPECT_EQ(sa, sc);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_LE(cached.leafEvaluations(), uncached.leafEvaluations());
  }
}

}  // namespace
}  // namespace tovrane
