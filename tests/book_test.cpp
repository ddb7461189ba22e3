// Opening books made by 'tovrane book': the players' move scores against a
// plain reference search, a small book read back by the engines' own reader
// and played by a real engine, an interrupted build resumed, and the checker.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "book/book_builder.h"
#include "book/book_file.h"
#include "book/book_player.h"
#include "eval/evaluator.h"
#include "game/opening_book.h"
#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/search_engine.h"
#include "tests/process_util.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

namespace fs = std::filesystem;

// Plain negamax over the whole tree with the standard evaluation: the score
// of every move, without any pruning.
int32_t negamax(const Board& board, int depth, Side side, Evaluator& evaluator) {
  if (depth == 0) return evaluator.evaluate(board, side);
  if (!hasAnyMove(board, opponent(side))) return kWinScore;
  MoveList list;
  list.generateMoves(board, side);
  if (list.size() == 0) return kLossScore;
  int32_t best = -kInfinity;
  for (int i = 0; i < list.size(); ++i) {
    Board child = board;
    applyMove(child, list.moves[i]);
    best = std::max(best, -negamax(child, depth - 1, opponent(side), evaluator));
  }
  return best;
}

TEST(BookPlayer, MoveScoresMatchAPlainSearch) {
  Evaluator evaluator;
  const std::vector<Board> positions = test::randomGamePositions(7, 3);
  for (int depth : {1, 2, 3}) {
    const std::unique_ptr<book::BookPlayer> player = book::makePlayer({"engine", depth, 0, {}});
    for (size_t p = 0; p < positions.size(); p += 9) {
      const Board& board = positions[p];
      const Side side = p % 2 == 0 ? kBlack : kWhite;
      MoveList list;
      list.generateMoves(board, side);
      if (list.size() == 0 || !hasAnyMove(board, opponent(side))) continue;
      std::vector<book::ScoredMove> reference;
      for (int i = 0; i < list.size(); ++i) {
        Board child = board;
        applyMove(child, list.moves[i]);
        reference.push_back({list.moves[i], -negamax(child, depth - 1, opponent(side), evaluator)});
      }
      const int32_t margin = 40;
      const auto expected = book::selectBookMoves(reference, 9, margin);
      const auto found = player->analyse(board, side, 9, margin);
      ASSERT_EQ(found.size(), expected.size()) << boardDigits(board) << " depth " << depth;
      for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].move, expected[i].move) << boardDigits(board) << " depth " << depth << " #" << i;
        EXPECT_EQ(found[i].score, expected[i].score) << boardDigits(board) << " depth " << depth << " #" << i;
      }
      // One move: the program's own root search, which keeps the first of equal moves.
      const auto single = player->analyse(board, side, 1, 0);
      ASSERT_EQ(single.size(), 1u);
      EXPECT_EQ(single[0].move, expected[0].move);
      EXPECT_EQ(single[0].score, expected[0].score);
    }
  }
}

TEST(BookPlayer, SelectionKeepsTheBestWithinTheMargin) {
  const Move a = test::mv("1020"), b = test::mv("1121"), c = test::mv("1222"), d = test::mv("1323"),
             e = test::mv("1424");
  const std::vector<book::ScoredMove> scored = {{a, 10}, {b, 30}, {c, 30}, {d, 25}, {e, 5}};
  auto moves = [](const std::vector<book::ScoredMove>& list) {
    std::vector<Move> out;
    for (const auto& s : list) out.push_back(s.move);
    return out;
  };
  EXPECT_EQ(moves(book::selectBookMoves(scored, 3, 5)), (std::vector<Move>{b, c, d}));
  EXPECT_EQ(moves(book::selectBookMoves(scored, 9, 0)), (std::vector<Move>{b, c}));
  EXPECT_EQ(moves(book::selectBookMoves(scored, 9, 20)), (std::vector<Move>{b, c, d, a}));
  EXPECT_EQ(moves(book::selectBookMoves(scored, 1, 100)), (std::vector<Move>{b}));
}

// Every file of a folder by name, with its content.
std::map<std::string, std::string> folderContents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = book::readWholeFile(entry.path());
  }
  return files;
}

OpeningBook::Candidates readWithEngineReader(const fs::path& file) {
  std::FILE* handle = std::fopen(file.string().c_str(), "r");
  EXPECT_NE(handle, nullptr) << file;
  OpeningBook::Candidates found = OpeningBook::readRecords(handle);
  std::fclose(handle);
  return found;
}

Move searchAt(const Board& position, Side side, int depth) {
  SearchEngine search(kDeepEngine, nullptr);
  Board board = position;
  Move move{};
  bool moved = false;
  search.searchAtDepth(board, side, depth, move, moved);
  return move;
}

TEST(BookBuild, SmallBookIsReadByTheEnginesAndPlayed) {
  test::TempDir dir;
  const std::string out = dir.path().string();
  const auto built =
      test::runTovrane({"book", "build", "--out", out, "--plies", "2", "--player", "engine-deep", "--depth", "1"});
  ASSERT_EQ(built.status, 0) << built.err;
  const auto checked = test::runTovrane({"book", "check", out});
  EXPECT_EQ(checked.status, 0) << checked.out;
  EXPECT_NE(checked.out.find("17 files, 17 good records, 0 problems"), std::string::npos) << checked.out;

  // Black's book at the initial position, white's after each black first move.
  const Board initial = test::initialBoard();
  const fs::path folder = dir.path() / "startgame";
  const auto black = readWithEngineReader(folder / book::bookFileName(initial));
  ASSERT_EQ(black.blackCount, 1);
  EXPECT_EQ(black.whiteCount, 0);
  EXPECT_EQ(black.black[0], searchAt(initial, kBlack, 1));
  std::string input = "new black\n";
  std::vector<Move> expected = {black.black[0]};
  MoveList first;
  first.generateMoves(initial, kBlack);
  int differs = 0;
  for (int i = 0; i < first.size(); ++i) {
    Board after = initial;
    applyMove(after, first.moves[i]);
    const auto white = readWithEngineReader(folder / book::bookFileName(after));
    ASSERT_EQ(white.whiteCount, 1);
    EXPECT_EQ(white.blackCount, 0);
    EXPECT_EQ(white.white[0], searchAt(after, kWhite, 1));
    input += "new white\nmove " + moveText(first.moves[i]) + "\n";
    expected.push_back(white.white[0]);
    differs += white.white[0] == searchAt(after, kWhite, 5) ? 0 : 1;
  }
  EXPECT_EQ(folderContents(folder).size(), 1u + first.size());
  // The program's own search would differ somewhere, so its answers show it read the book.
  ASSERT_GT(differs, 0);
  const test::ProgramRun run = test::runProgram(test::programPath("engine"), {}, input + "stop\n", out);
  std::string answers;
  for (const Move& m : expected) answers += "move " + moveText(m) + "\n";
  EXPECT_EQ(run.out, answers);
}

// The rules engine-pro plays for are part of a build's settings: a folder
// built under one set is not extended under another, and the exact players
// take none.
TEST(BookBuild, RulesAreKeptWithTheBuild) {
  test::TempDir dir;
  const std::string out = dir.path().string();
  const std::vector<std::string> build = {"book", "build", "--out", out, "--plies", "1", "--depth", "2"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = build;
    args.insert(args.end(), more.begin(), more.end());
    return test::runTovrane(args);
  };
  const auto built = with({"--rules", "pieces50-repetition"});
  ASSERT_EQ(built.status, 0) << built.err;
  std::ifstream settings(dir.path() / book::kBuildSettingsFile);
  std::string text((std::istreambuf_iterator<char>(settings)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("engine-pro depth 2 rules pieces50-repetition"), std::string::npos) << text;
  const auto other = with({});
  EXPECT_NE(other.status, 0);
  EXPECT_NE(other.err.find("records other build settings"), std::string::npos) << other.err;
  const auto exact = with({"--player", "engine", "--rules", "pieces80"});
  EXPECT_EQ(exact.status, 2);
  EXPECT_NE(exact.err.find("--rules is for --player engine-pro only"), std::string::npos) << exact.err;
}

// Starts tovrane with args and kills it once folder holds at least files entries.
void runAndKill(const std::vector<std::string>& args, const fs::path& folder, size_t files) {
  const std::string path = test::programPath("tovrane");
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    freopen("/dev/null", "w", stderr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    std::error_code error;
    size_t count = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); ++it) ++count;
    if (count >= files || std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the build ended before it was killed";
}

TEST(BookBuild, KilledBuildResumesToTheSameFolder) {
  test::TempDir dir;
  const std::string whole = (dir.path() / "whole").string();
  const std::string killed = (dir.path() / "killed").string();
  const std::vector<std::string> settings = {"--plies", "3", "--player", "engine-pro", "--depth", "6"};
  auto args = [&](const std::string& out, const char* jobs) {
    std::vector<std::string> list = {"book", "build", "--out", out, "--jobs", jobs};
    list.insert(list.end(), settings.begin(), settings.end());
    return list;
  };
  const test::ProgramRun plain = test::runProgram(test::programPath("tovrane"), args(whole, "1"), "", "", 300);
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  const auto expected = folderContents(fs::path(whole) / "startgame");

  runAndKill(args(killed, "2"), fs::path(killed) / "startgame", 5);
  const auto partial = folderContents(fs::path(killed) / "startgame");
  EXPECT_LT(partial.size(), expected.size());
  for (const auto& [name, text] : partial) EXPECT_EQ(text, expected.at(name)) << name;  // only whole files

  const test::ProgramRun resumed = test::runProgram(test::programPath("tovrane"), args(killed, "2"), "", "", 300);
  ASSERT_EQ(resumed.exitStatus, 0) << resumed.err;
  EXPECT_NE(resumed.out.find(std::to_string(partial.size()) + " kept"), std::string::npos) << resumed.out;
  EXPECT_EQ(folderContents(fs::path(killed) / "startgame"), expected);
  EXPECT_EQ(folderContents(killed), folderContents(whole));  // the settings file, no temporary left

  // Other settings into the same folder are refused.
  auto other = args(killed, "1");
  other.back() = "4";
  EXPECT_EQ(test::runTovrane(other).status, 1);
}

TEST(BookCheck, ReportsEveryKindOfFault) {
  test::TempDir dir;
  const std::string initial = test::kInitialDigits;
  dir.writeBook(initial,
                "black 1 2 2 2\n"    // good
                "red 1 2 2 2\n"      // line 2: not a colour
                "black 1 2 2 6\n"    // line 3: off the board
                "black -1 2 2 2\n"   // line 4: off the board
                "white 4 1 3 1\n"    // line 5: white's move, legal for white
                "black 4 1 3 1\n"    // line 6: not black's piece
                "black 1 2 3 2\n"    // line 7: two rows at once
                "black 1 0 2 0 black 1 1 2 1 black 1 3 2 3 black 1 4 2 4\n"  // line 8: more, fine
                "black 1 5 2 5 black 1 0 2 1 black 1 1 2 2\n"                // line 9: the tenth
                "black 1 2 2 x\n");  // line 10: not a number, reading stops
  dir.writeBook("222222222222000000000000111111111113", "black 1 2 2 2\n");
  dir.writeBook("22222222222200000000000011111111111", "black 1 2 2 2\n");
  dir.writeBook("222222222222222000000000111111111111", "");  // 15 black pieces
  dir.writeBook("222222222222000000000000111111111110", "white 4 0 3 0\nblack 1 0\n");
  fs::create_directories(dir.path() / "startgame" / "222222222222000000000000011111111111.zjb");
  test::writeFile(dir.path() / "startgame" / "notes.txt", "hello\n");

  const auto result = test::runTovrane({"book", "check", dir.path().string()});
  EXPECT_EQ(result.status, 1);
  const std::string folder = (dir.path() / "startgame").string() + "/";
  const std::string file = folder + initial + ".zjb:";
  for (const std::string& expected : {
           file + "2: colour word 'red' is neither black nor white",
           file + "3: number '6' is outside 0..5",
           file + "4: number '-1' is outside 0..5",
           file + "6: move 4131 is not legal for black",
           file + "7: move 1232 is not legal for black",
           file + "9: more than 9 moves for black",
           file + "10: 'x' is not a whole number; the engines stop reading here",
           folder + "222222222222000000000000111111111113.zjb:0: name is not a position",
           folder + "22222222222200000000000011111111111.zjb:0: name is not a position",
           folder + "222222222222222000000000111111111111.zjb:0: name is not a position",
           folder + "222222222222000000000000111111111110.zjb:2: record 'black' is not a colour word and four",
           folder + "222222222222000000000000011111111111.zjb:0: not a regular file",
           folder + "notes.txt:0: name is not a position",
       }) {
    EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
  }
  EXPECT_NE(result.out.find("13 problems"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find(file + "1:"), std::string::npos);  // the good record
  EXPECT_EQ(result.out.find(file + "5:"), std::string::npos);
  EXPECT_EQ(result.out.find(file + "8:"), std::string::npos);

  // show marks what the engine would play from, legal or not.
  const auto shown = test::runTovrane({"book", "show", initial, "2", "--dir", dir.path().string()});
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.out.find("black 1 2 2 2  move 1222  legal\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("black 4 1 3 1  move 4131  ILLEGAL\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("9 moves for black"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace tovrane
