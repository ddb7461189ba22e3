// tovrane selfplay: the recorded positions are reachable in their games and
// are the capture search's quiet leaves; a run gives the same file however
// it is split into shards, threads or interrupted runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "eval/pro_eval.h"
#include "match/openings.h"
#include "rules/move_generator.h"
#include "rules/perft.h"
#include "selfplay/position_file.h"
#include "selfplay/quiet_leaf.h"
#include "tests/temp_dir.h"
#include "tests/net_test_util.h"
#include "tests/test_util.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

// Plain minimax over captures, as the capture search defines it: a side
// without a move has lost, otherwise the better of standing pat and each
// distinct capture.
int32_t plainCaptureValue(const Board& board, Side side, int ply) {
  MoveList list;
  list.generateMoves(board, side);
  if (list.lastIndex < 0) return -(1000000 - ply);
  int32_t best = proEvaluate(board, side);
  if (ply >= kMaxQuietCaptures) return best;
  Move moves[kMaxMoves];
  const int n = distinctMoves(list, moves);
  for (int i = 0; i < n && board.at(moves[i].toRow, moves[i].toCol) != kEmpty; ++i) {
    Board next = board;
    applyMove(next, moves[i]);
    best = std::max(best, -plainCaptureValue(next, opponent(side), ply + 1));
  }
  return best;
}

TEST(SelfplayLeaf, FollowsTheCaptureSearchToAQuietPosition) {
  int withCaptures = 0;
  std::mt19937 rng(5);
  static NetWeights net;
  test::randomNet(rng, 32, net);
  // Positions of random games (crowded ones included) and sparse random
  // boards, where captures reach far; the plain reference is slow on
  // crowded random boards.
  std::vector<Board> boards = test::randomGamePositions(11, 2);
  for (int k = 0; k < 300; ++k) boards.push_back(test::randomBoard(rng, 4 + static_cast<int>(rng() % 8)));
  for (size_t k = 0; k < boards.size(); ++k) {
    const Board& board = boards[k];
    const Side side = k % 2 == 0 ? kBlack : kWhite;
    if (!hasAnyMove(board, side)) continue;
    const QuietLeaf leaf = settleCaptures(board, side);
    ASSERT_EQ(leaf.score, plainCaptureValue(board, side, 0)) << boardDigits(board) << " " << side;
    // The line is legal captures, and the leaf's own evaluation is the score.
    Board replay = board;
    Side toMove = side;
    for (int c = 0; c < leaf.captureCount; ++c) {
      const Move m = leaf.captures[c];
      ASSERT_TRUE(isLegalMove(replay, toMove, m));
      ASSERT_EQ(replay.at(m.toRow, m.toCol), opponent(toMove));
      applyMove(replay, m);
      toMove = opponent(toMove);
    }
    ASSERT_EQ(replay, leaf.board);
    ASSERT_EQ(toMove, leaf.side);
    if (leaf.lost) continue;
    const int32_t leafScore = proEvaluate(leaf.board, leaf.side);
    EXPECT_EQ(leaf.captureCount % 2 == 0 ? leafScore : -leafScore, leaf.score);
    withCaptures += leaf.captureCount > 0 ? 1 : 0;
    // With a network, the network stands pat: the leaf is scored by it.
    const QuietLeaf netLeaf = settleCaptures(board, side, &net);
    if (netLeaf.lost) continue;
    const int32_t netScore = netEvaluate(net, occupancyOf(netLeaf.board), netLeaf.side);
    EXPECT_EQ(netLeaf.captureCount % 2 == 0 ? netScore : -netScore, netLeaf.score) << boardDigits(board);
  }
  EXPECT_GT(withCaptures, 20);
}

TEST(SelfplayGame, PositionsReplayFromTheGamesMoves) {
  SelfplaySettings settings;
  settings.seed = 3;
  settings.nodes = 400;
  settings.hashMegabytes = 1;
  settings.randomRate = 0.3;
  std::ostringstream file;
  for (int64_t number = 1; number <= 4; ++number) file << selfplayGameText(playSelfplayGame(settings, number));
  EXPECT_EQ(selfplayGameText(playSelfplayGame(settings, 2)), selfplayGameText(playSelfplayGame(settings, 2)));

  // Read back through the file format, as tune does.
  std::istringstream in(file.str());
  std::string line;
  std::vector<SelfplayRecord> records;
  int games = 0, randomMoves = 0, leavesAfterCaptures = 0;
  while (std::getline(in, line)) {
    SelfplayRecord record;
    if (parsePositionLine(line, record)) {
      records.push_back(record);
      continue;
    }
    SelfplayGameLine game;
    ASSERT_TRUE(parseGameLine(line, game)) << line;
    ++games;
    randomMoves += static_cast<int>(game.randomPlies.size());
    ASSERT_EQ(game.number, games);
    const OpeningLine opening = randomOpenings(1, settings.openingPlies, selfplayGameSeed(settings.seed, games))[0];
    ASSERT_EQ(game.openingPlies, settings.openingPlies);
    ASSERT_TRUE(std::equal(opening.begin(), opening.end(), game.moves.begin()));
    // The game's moves from the start, each legal; the recorded positions in
    // order of ply, each its game's position at that ply after its captures.
    Board board = test::initialBoard();
    Side side = kBlack;
    size_t next = 0;
    int lastPly = -1;
    for (size_t ply = 0; ply <= game.moves.size(); ++ply) {
      for (; next < records.size() && records[next].ply == static_cast<int>(ply); ++next) {
        const SelfplayRecord& r = records[next];
        ASSERT_EQ(r.game, game.number);
        ASSERT_GE(r.ply, settings.openingPlies);
        Board leaf = board;
        Side toMove = side;
        for (const Move& m : r.captures) {
          ASSERT_TRUE(isLegalMove(leaf, toMove, m));
          ASSERT_EQ(leaf.at(m.toRow, m.toCol), opponent(toMove));
          applyMove(leaf, m);
          toMove = opponent(toMove);
        }
        EXPECT_EQ(leaf, r.board);
        EXPECT_EQ(toMove, r.side);
        EXPECT_TRUE(hasAnyMove(leaf, toMove));
        EXPECT_EQ(r.result, game.winner == 0 ? 0.5f : game.winner == r.side ? 1.0f : 0.0f);
        leavesAfterCaptures += r.captures.empty() ? 0 : 1;
        lastPly = r.ply;
      }
      if (ply == game.moves.size()) break;
      ASSERT_TRUE(isLegalMove(board, side, game.moves[ply])) << "game " << games << " ply " << ply;
      applyMove(board, game.moves[ply]);
      side = opponent(side);
    }
    EXPECT_EQ(next, records.size()) << "a position of game " << games << " is not at one of its plies";
    EXPECT_GT(lastPly, settings.openingPlies);
    // The game ended as the rules say: here, by a side without a move or the quiet limit.
    if (game.end == "no-moves") {
      EXPECT_FALSE(hasAnyMove(board, side));
      EXPECT_EQ(game.winner, opponent(side));
    } else {
      EXPECT_EQ(game.end, "quiet-limit");
      EXPECT_EQ(game.winner, 0);
    }
    records.clear();
  }
  EXPECT_EQ(games, 4);
  EXPECT_GT(randomMoves, 0);
  EXPECT_GT(leavesAfterCaptures, 0);
}

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string withoutComments(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') out += line + "\n";
  }
  return out;
}

TEST(ToolSelfplay, ShardsThreadsAndResumptionMakeTheSameRun) {
  test::TempDir dir;
  const cli::Args run = {"selfplay", "--games", "5", "--nodes", "300", "--hash", "1", "--seed", "9"};
  auto with = [&](std::initializer_list<std::string> extra) {
    cli::Args args = run;
    args.insert(args.end(), extra);
    return test::runTovrane(args);
  };
  const std::string whole = (dir.path() / "whole.txt").string();
  ASSERT_EQ(with({"--out", whole}).status, 0);
  const std::string text = readAll(whole);
  ASSERT_NE(text.find("game 5 "), std::string::npos);

  const std::string threaded = (dir.path() / "threads.txt").string();
  ASSERT_EQ(with({"--out", threaded, "--threads", "3"}).status, 0);
  EXPECT_EQ(readAll(threaded), text);

  std::string shards;
  for (const char* shard : {"1/3", "2/3", "3/3"}) {
    const std::string path = (dir.path() / (std::string("shard") + shard[0] + ".txt")).string();
    ASSERT_EQ(with({"--out", path, "--shard", shard}).status, 0);
    shards += withoutComments(readAll(path));
  }
  EXPECT_EQ(shards, withoutComments(text));

  // A run killed in the middle of a game: resumed, it drops the cut game and
  // ends with the file of the whole run; so does one killed between games.
  const size_t thirdGame = text.find("\ngame 3 ");
  for (const size_t cut : {text.find('\n', thirdGame + 1) + 40, text.find('\n', thirdGame + 1) + 1}) {
    const std::filesystem::path part = dir.path() / "part.txt";
    test::writeFile(part, text.substr(0, cut));
    EXPECT_EQ(with({"--out", part.string()}).status, 1);  // refused: it exists
    EXPECT_EQ(readAll(part), text.substr(0, cut));
    const test::ToolResult resumed = with({"--out", part.string(), "--resume"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("3 games resumed"), std::string::npos) << resumed.out;
    EXPECT_EQ(readAll(part), text);
  }
  // Another run's file is not resumed; --overwrite starts afresh.
  const test::ToolResult other = test::runTovrane(
      {"selfplay", "--games", "5", "--nodes", "301", "--hash", "1", "--seed", "9", "--out", whole, "--resume"});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("'nodes' is 300 in the file, 301 in this run"), std::string::npos) << other.err;
  ASSERT_EQ(test::runTovrane({"selfplay", "--games", "2", "--nodes", "300", "--hash", "1", "--out", whole,
                              "--overwrite"}).status, 0);
  EXPECT_EQ(readAll(whole).find("game 3 "), std::string::npos);
  EXPECT_EQ(with({"--out", whole, "--nodes", "5", "--depth", "3"}).status, 2);
  EXPECT_EQ(with({"--out", whole, "--random", "2"}).status, 2);
}

}  // namespace
}  // namespace tovrane
