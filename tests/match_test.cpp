// End-to-end tests of `tovrane match` and `tovrane replay`: matches between
// scripted fake engines (tests/fake_engine.sh) that play legal moves or
// misbehave on purpose, run through the tool's command line.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tool_run.h"
#include "tools/cli.h"
#include "match/engine_process.h"
#include "match/game_record.h"
#include "match/match_report.h"
#include "match/openings.h"

namespace tovrane {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(TOVRANE_BIN_DIR) + "/tools/tovrane";
const std::string kFake = std::string(TOVRANE_SOURCE_DIR) + "/tests/fake_engine.sh";

using test::runTovrane;
using test::ToolResult;

// A fake engine on the command line: --engine cmd=fake TOVRANE NAME [extra...].
void addFake(cli::Args& args, const std::string& name, const std::vector<std::string>& extra = {}) {
  args.insert(args.end(), {"--engine", "cmd=" + kFake, kTool, name});
  args.insert(args.end(), extra.begin(), extra.end());
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

// The progress lines: "game k/N: ...".
std::vector<std::string> progressLines(const std::string& text) {
  std::vector<std::string> lines;
  for (const std::string& line : linesStartingWith(text, "game ")) {
    if (line.find('/') != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// Games, wins, draws and losses from an engine's row of the final table.
std::vector<std::string> tableCounts(const std::string& text, const std::string& name) {
  const std::vector<std::string> rows = linesStartingWith(text, name + " ");
  if (rows.size() != 1) return {};
  std::istringstream in(rows[0].substr(name.size()));
  std::vector<std::string> counts(4);
  for (std::string& c : counts) in >> c;
  return counts;
}

std::vector<GameRecord> readRecord(const std::string& path) {
  std::ifstream in(path);
  return readGameRecords(in);
}

class MatchTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("match_test_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "tmp");
    // The referee's temporary working directories go here, to be counted.
    const char* old = getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
  }
  // Later tests in the same process need a TMPDIR that exists.
  void TearDown() override {
    if (hadTmp_) {
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    fs::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string writeFile(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name) << text;
    return path(name);
  }
  bool tempDirsCleaned() const { return fs::is_empty(dir_ / "tmp"); }

  fs::path dir_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(MatchTest, PlaysEveryOpeningWithBothColoursAndRecordsTheGames) {
  cli::Args args = {"match"};
  addFake(args, "First");
  addFake(args, "Last", {"pick=last"});
  const std::string record = path("games.txt");
  args.insert(args.end(), {"--openings", "3", "--plies", "4", "--seed", "11", "--draw-plies", "20", "--record",
                           record, "--concurrency", "2"});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;

  const std::vector<std::string> progress = progressLines(run.out);
  ASSERT_EQ(progress.size(), 6u) << run.out;
  EXPECT_EQ(progress[0].rfind("game 1/6: First (black) - Last (white): ", 0), 0u) << progress[0];
  EXPECT_EQ(progress[1].rfind("game 2/6: Last (black) - First (white): ", 0), 0u) << progress[1];
  EXPECT_NE(progress[5].find("score First "), std::string::npos);
  for (const char* name : {"First", "Last"}) {
    const std::vector<std::string> counts = tableCounts(run.out, name);
    ASSERT_EQ(counts.size(), 4u) << run.out;
    EXPECT_EQ(counts[0], "6") << run.out;
  }
  EXPECT_EQ(run.out.find("did not play the opening"), std::string::npos) << run.out;

  const std::vector<GameRecord> games = readRecord(record);
  ASSERT_EQ(games.size(), 6u);
  const std::vector<OpeningLine> openings = randomOpenings(3, 4, 11);
  for (size_t i = 0; i < games.size(); ++i) {
    const GameRecord& g = games[i];
    EXPECT_EQ(g.number, static_cast<int>(i) + 1);
    EXPECT_EQ(g.blackName, i % 2 == 0 ? "First" : "Last");
    EXPECT_EQ(g.opening, openings[i / 2]);
    // The engines played the opening through their book folders.
    ASSERT_GE(g.plies(), 4);
    for (size_t p = 0; p < 4; ++p) EXPECT_EQ(g.moves[p].move, openings[i / 2][p]) << "game " << i + 1;
    EXPECT_FALSE(g.reason.empty());
  }
  EXPECT_TRUE(tempDirsCleaned());
}

TEST_F(MatchTest, ConcurrencyDoesNotChangeTheResults) {
  auto play = [&](const std::string& concurrency, const std::string& record) {
    cli::Args args = {"match"};
    addFake(args, "First");
    addFake(args, "Last", {"pick=last"});
    args.insert(args.end(), {"--openings", "4", "--plies", "3", "--seed", "5", "--draw-plies", "12", "--record",
                             record, "--concurrency", concurrency});
    return runTovrane(args);
  };
  const ToolResult serial = play("1", path("serial.txt"));
  const ToolResult parallel = play("3", path("parallel.txt"));
  ASSERT_EQ(serial.status, 0) << serial.err;
  ASSERT_EQ(parallel.status, 0) << parallel.err;
  EXPECT_EQ(progressLines(serial.out), progressLines(parallel.out));
  const std::vector<GameRecord> a = readRecord(path("serial.txt"));
  const std::vector<GameRecord> b = readRecord(path("parallel.txt"));
  ASSERT_EQ(a.size(), 8u);
  ASSERT_EQ(b.size(), 8u);
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].winner, b[i].winner);
    EXPECT_EQ(a[i].reason, b[i].reason);
    ASSERT_EQ(a[i].plies(), b[i].plies());
    for (int p = 0; p < a[i].plies(); ++p) EXPECT_EQ(a[i].moves[p].move, b[i].moves[p].move);
  }
}

struct FaultCase {
  const char* fault;  // the fake engine's fault word
  GameEnd end;
  const char* reasonPart;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.fault; }

class FaultTest : public MatchTest, public testing::WithParamInterface<FaultCase> {};

// The faulty engine misbehaves at its second reply of every game; it loses
// each game with the right reason, is restarted, and the match goes on.
TEST_P(FaultTest, FaultyEngineLosesEveryGameAndTheMatchGoesOn) {
  const FaultCase& c = GetParam();
  cli::Args args = {"match"};
  addFake(args, "Good");
  addFake(args, "Bad", {"pick=last", std::string(c.fault) + "@2"});
  const std::string record = path("games.txt");
  args.insert(args.end(), {"--openings", "2", "--plies", "1", "--time", "1", "--record", record});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<GameRecord> games = readRecord(record);
  ASSERT_EQ(games.size(), 4u) << run.out;
  for (const GameRecord& g : games) {
    const Side bad = g.blackName == "Bad" ? kBlack : kWhite;
    EXPECT_EQ(g.winner, opponent(bad)) << g.reason;
    EXPECT_EQ(g.end, c.end) << g.reason;
    const std::string who = std::string(bad == kBlack ? "black" : "white") + " (Bad) ";
    EXPECT_EQ(g.reason.rfind(who, 0), 0u) << g.reason;
    EXPECT_NE(g.reason.find(c.reasonPart), std::string::npos) << g.reason;
    // The second reply of black is ply 3, of white ply 4: the plies before it stand.
    EXPECT_EQ(g.plies(), bad == kBlack ? 2 : 3);
  }
  EXPECT_EQ(tableCounts(run.out, "Bad"), (std::vector<std::string>{"4", "0", "0", "4"})) << run.out;
  EXPECT_EQ(tableCounts(run.out, "Good"), (std::vector<std::string>{"4", "4", "0", "0"})) << run.out;
  EXPECT_TRUE(tempDirsCleaned());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTest,
    testing::Values(FaultCase{"illegal", GameEnd::kIllegal, "played 0000, which is not a legal move"},
                    FaultCase{"malformed", GameEnd::kMalformed, "sent 'move thinking...' instead of a move"},
                    FaultCase{"silent", GameEnd::kTimeout, "gave no move within 1.000 s"},
                    FaultCase{"exit", GameEnd::kCrash, "exited with status 3"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.fault); });

// Games made to end by each rule: the opening lines below are played
// through the engines' books, and the limits are set so that each game ends
// on the line's last ply, whatever the engines would play after it.
TEST_F(MatchTest, EachRuleEndsTheGameItShould) {
  const std::string openings = writeFile("openings.txt",
                                         "# black takes on ply 5, then five quiet plies: 12 to 11\n"
                                         "1021 4030 0010 3020 0220 4140 0100 4030 0001 3041\n"
                                         "# white takes on ply 4, then five quiet plies: 11 to 12\n"
                                         "1021 4030 2132 5332 0010 3040 0100 3231 0001\n"
                                         "# five quiet plies: 12 each\n"
                                         "1021 4030 0010 3040 0100\n"
                                         "# both sides step out and back: the start position again\n"
                                         "1121 4131 2111 3141\n");
  struct Expected {
    GameEnd end;
    Side winner;
    int plies;
    const char* reason;
  };
  auto play = [&](const std::string& name, const std::vector<std::string>& rules) {
    cli::Args args = {"match"};
    addFake(args, "First");
    addFake(args, "Last", {"pick=last"});
    args.insert(args.end(), {"--opening-file", openings, "--record", path(name)});
    args.insert(args.end(), rules.begin(), rules.end());
    const ToolResult run = runTovrane(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return readRecord(path(name));
  };
  auto check = [&](const std::vector<GameRecord>& games, const std::vector<Expected>& expected) {
    ASSERT_EQ(games.size(), 2 * expected.size());
    for (size_t i = 0; i < games.size(); ++i) {
      const Expected& e = expected[i / 2];
      EXPECT_EQ(gameEndCode(games[i].end), std::string(gameEndCode(e.end))) << "game " << i + 1;
      EXPECT_EQ(games[i].winner, e.winner) << "game " << i + 1 << ": " << games[i].reason;
      if (e.plies > 0) {
        EXPECT_EQ(games[i].plies(), e.plies) << "game " << i + 1;
      } else {
        EXPECT_GT(games[i].plies(), -e.plies) << "game " << i + 1;
      }
      EXPECT_EQ(games[i].reason, e.reason) << "game " << i + 1;
    }
  };
  // The tournament rules, with the quiet limit lowered to five plies.
  check(play("tournament.txt", {"--rules", "pieces50-repetition", "--draw-plies", "5"}),
        {{GameEnd::kQuietLimit, kBlack, 10, "5 plies without a capture; black has more pieces (12 to 11)"},
         {GameEnd::kQuietLimit, kWhite, 9, "5 plies without a capture; white has more pieces (12 to 11)"},
         {GameEnd::kQuietLimit, 0, 5, "5 plies without a capture; equal pieces (12 each)"},
         {GameEnd::kRepetition, 0, 4, "the position came back; equal pieces (12 each)"}});
  std::ifstream header(path("tournament.txt"));
  std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\n# match rules time 10 quiet-plies 5 pieces repetition pieces max-plies 400 pieces\n"),
            std::string::npos)
      << text;
  // The default rules: the same quiet runs are draws, with the old end code,
  // and the repetition plays on.
  const std::string quietDraw = "5 plies without a capture";
  check(play("default.txt", {"--draw-plies", "5"}),
        {{GameEnd::kQuietDraw, 0, 10, quietDraw.c_str()},
         {GameEnd::kQuietDraw, 0, 9, quietDraw.c_str()},
         {GameEnd::kQuietDraw, 0, 5, quietDraw.c_str()},
         {GameEnd::kQuietDraw, 0, -4, quietDraw.c_str()}});
  // The cap by pieces, on the first line cut at ply 7.
  const std::vector<GameRecord> capped = play("cap.txt", {"--rules", "pieces80", "--max-plies", "7"});
  ASSERT_EQ(capped.size(), 8u);
  EXPECT_EQ(capped[0].end, GameEnd::kPlyCap);
  EXPECT_EQ(capped[0].winner, kBlack);
  EXPECT_EQ(capped[0].reason, "the ply cap of 7 was reached; black has more pieces (12 to 11)");
  EXPECT_GT(capped[7].plies(), 4) << "a repetition ended a game under pieces80";
}

// A clock of one second: an engine that takes 0.3 s a move has used it up
// by its fourth move and loses on time; with half a second added after each
// move it never runs out; a time per move given too still applies.
TEST_F(MatchTest, AFlagFallLosesAndTheIncrementKeepsTheClockGoing) {
  auto play = [&](const std::string& name, const std::vector<std::string>& limits) {
    cli::Args args = {"match"};
    addFake(args, "Slow", {"delay=0.3"});
    addFake(args, "Quick", {"pick=last"});
    args.insert(args.end(), {"--openings", "1", "--plies", "2", "--record", path(name)});
    args.insert(args.end(), limits.begin(), limits.end());
    ToolResult run = runTovrane(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return std::make_pair(run.out, readRecord(path(name)));
  };
  const auto [flagOut, flagged] = play("flag.txt", {"--tc", "1", "--draw-plies", "12"});
  ASSERT_EQ(flagged.size(), 2u) << flagOut;
  for (const GameRecord& g : flagged) {
    const Side slow = g.blackName == "Slow" ? kBlack : kWhite;
    EXPECT_EQ(g.end, GameEnd::kTimeForfeit) << g.reason;
    EXPECT_EQ(g.winner, opponent(slow)) << g.reason;
    EXPECT_NE(g.reason.find("ran out of time (clock 1, "), std::string::npos) << g.reason;
    // Three moves of 0.3 s leave less than the fourth needs; more than three never fit.
    const int slowMoves = (g.plies() + (slow == kBlack ? 1 : 0)) / 2;
    EXPECT_GE(slowMoves, 1) << g.reason;
    EXPECT_LE(slowMoves, 3) << g.reason;
    EXPECT_EQ(clockLeftAtEnd(g, slow, GameClock{1, 0}), 0);
  }
  EXPECT_NE(flagOut.find("max move  min left  med left\n"), std::string::npos) << flagOut;
  EXPECT_NE(linesStartingWith(flagOut, "Slow ")[0].find("0.000 s   0.000 s"), std::string::npos) << flagOut;

  const auto [incOut, kept] = play("increment.txt", {"--tc", "1+0.5", "--draw-plies", "6"});
  ASSERT_EQ(kept.size(), 2u) << incOut;
  for (const GameRecord& g : kept) {
    EXPECT_EQ(g.end, GameEnd::kQuietDraw) << g.reason;
    double slowSeconds = 0;
    const int first = g.blackName == "Slow" ? 0 : 1;
    for (int i = first; i < g.plies(); i += 2) slowSeconds += g.moves[static_cast<size_t>(i)].seconds;
    EXPECT_NEAR(clockLeftAtEnd(g, first == 0 ? kBlack : kWhite, GameClock{1, 0.5}), 1 + 3 * 0.5 - slowSeconds, 1e-9);
  }
  std::ifstream header(path("increment.txt"));
  std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\n# match rules time none draw-plies 6 max-plies 400\n# match clock 1+0.5\n"),
            std::string::npos)
      << text;

  const auto [moveOut, timed] = play("movetime.txt", {"--tc", "100", "--time", "0.2", "--draw-plies", "6"});
  ASSERT_EQ(timed.size(), 2u) << moveOut;
  for (const GameRecord& g : timed) EXPECT_EQ(g.end, GameEnd::kTimeout) << g.reason;
}

// engine-pro on a clock of one second per game keeps to it under the
// referee's clock of three: at its default of a second a move it would lose
// on time within a few moves.
TEST_F(MatchTest, EngineProKeepsToItsClock) {
  const std::string pro = std::string(TOVRANE_BIN_DIR) + "/app/engine-pro";
  cli::Args args = {"match", "--engine", "cmd=" + pro, "arg=--clock", "arg=1", "arg=--hash", "arg=4"};
  addFake(args, "Fake");
  args.insert(args.end(), {"--openings", "1", "--plies", "2", "--tc", "3", "--draw-plies", "30", "--record",
                           path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<GameRecord> games = readRecord(path("games.txt"));
  ASSERT_EQ(games.size(), 2u);
  for (const GameRecord& g : games) {
    EXPECT_TRUE(endedByRule(g.end)) << g.reason;
    EXPECT_GT(g.plies(), 8) << g.reason;
  }
}

// An engine that prints a banner, debug lines, a board row and thinking
// lines around its moves plays whole games: its thinking is in the record's
// move lines, its first other lines are comments there, and replay shows
// the thinking. Under --strict the first line that is no move loses.
TEST_F(MatchTest, AnEngineThatPrintsMoreThanItsMovesIsRefereed) {
  auto play = [&](const std::string& name, const std::vector<std::string>& more) {
    cli::Args args = {"match"};
    addFake(args, "Chatty", {"chatty"});
    addFake(args, "Quiet", {"pick=last"});
    args.insert(args.end(), {"--openings", "1", "--plies", "2", "--draw-plies", "10", "--record", path(name)});
    args.insert(args.end(), more.begin(), more.end());
    const ToolResult run = runTovrane(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return readRecord(path(name));
  };
  const std::vector<GameRecord> games = play("games.txt", {});
  ASSERT_EQ(games.size(), 2u);
  for (const GameRecord& g : games) {
    EXPECT_EQ(g.end, GameEnd::kQuietDraw) << g.reason;
    const int chatty = g.blackName == "Chatty" ? 0 : 1;
    for (int i = 0; i < g.plies(); ++i) {
      const PlayedMove& m = g.moves[static_cast<size_t>(i)];
      ASSERT_EQ(m.thinking.has_value(), i % 2 == chatty) << "ply " << i + 1;
      if (m.thinking) {
        EXPECT_EQ(m.thinking->depth, 1);
        EXPECT_EQ(m.thinking->score.value, 12);
        EXPECT_EQ(m.thinking->pv, std::vector<Move>{m.move});
      }
    }
  }
  std::ifstream in(path("games.txt"));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\n# black said before ply 1: debug: black to play, reply 1\n# black said before ply 1: . x x "
                      "o . .\n1 black "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" more line(s) from the engines, not kept\n"), std::string::npos) << text;
  const ToolResult replay = runTovrane({"replay", path("games.txt"), "1"});
  EXPECT_NE(replay.out.find("\n  thought: +0.12 at depth 1, 100 nodes, expecting "), std::string::npos) << replay.out;

  const std::vector<GameRecord> strict = play("strict.txt", {"--strict"});
  ASSERT_EQ(strict.size(), 2u);
  for (const GameRecord& g : strict) {
    EXPECT_EQ(g.end, GameEnd::kMalformed) << g.reason;
    EXPECT_NE(g.reason.find("(Chatty) sent 'debug: "), std::string::npos) << g.reason;
  }
}

// --debug logs every line each way with the time, game and engine; an
// engine's standard error is relayed so labelled with or without it.
TEST_F(MatchTest, TheProtocolLogShowsEveryLineWithItsEngineAndGame) {
  auto play = [&](const std::vector<std::string>& more) {
    cli::Args args = {"match"};
    addFake(args, "Talker", {"stderr"});
    addFake(args, "Quiet", {"pick=last"});
    args.insert(args.end(), {"--openings", "1", "--plies", "2", "--draw-plies", "4", "--concurrency", "1"});
    args.insert(args.end(), more.begin(), more.end());
    std::ostringstream log;
    std::streambuf* const old = std::cerr.rdbuf(log.rdbuf());
    const ToolResult run = runTovrane(args);
    std::cerr.rdbuf(old);
    EXPECT_EQ(run.status, 0) << run.err;
    return log.str();
  };
  const std::regex stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
  const std::string debug = play({"--debug"});
  for (const char* line : {" start engine 1 > name?\n", " start engine 1 < name Talker\n", " game 1 Quiet > new white\n",
                           " game 1 Talker > new black\n", " game 2 Talker < move ", " game 1 Talker ! about to play "}) {
    EXPECT_NE(debug.find(line), std::string::npos) << line << "\n" << debug;
  }
  std::istringstream lines(debug);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_search(line, stamp)) << line;
  const std::string quiet = play({});
  EXPECT_NE(quiet.find(" game 2 Talker ! about to play "), std::string::npos) << quiet;
  EXPECT_EQ(quiet.find(" > "), std::string::npos) << quiet;
}

// A flood of 20 MB without a line end: the referee keeps at most a line's
// bound of it and the engine loses on time; the match goes on.
TEST_F(MatchTest, AFloodOfOutputLosesOnTimeWithinBoundedMemory) {
  EngineProcess process;
  std::string error;
  ASSERT_TRUE(process.start("/bin/sh", {"-c", "head -c 20000000 /dev/zero | tr '\\0' x; echo; echo move 1121"},
                            dir_.string(), error))
      << error;
  std::string line;
  size_t lines = 0;
  size_t most = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (process.readLine(deadline, line) == EngineProcess::ReadStatus::kLine && line != "move 1121") {
    ++lines;
    most = std::max(most, process.bufferedBytes());
    EXPECT_LE(line.size(), kMaxLineBytes);
  }
  EXPECT_EQ(line, "move 1121");
  EXPECT_EQ(lines, 1u);  // the first 64 KiB; the rest of the line is dropped
  EXPECT_LE(most, kMaxLineBytes + 4096);

  cli::Args args = {"match"};
  addFake(args, "Good");
  addFake(args, "Flood", {"pick=last", "flood@2"});
  args.insert(args.end(), {"--openings", "1", "--plies", "1", "--time", "2", "--record", path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<GameRecord> games = readRecord(path("games.txt"));
  ASSERT_EQ(games.size(), 2u);
  for (const GameRecord& g : games) EXPECT_EQ(g.end, GameEnd::kTimeout) << g.reason;
}

// engine-pro --info: its thinking of every searched move is in the record.
TEST_F(MatchTest, EngineProInfoLinesReachTheRecord) {
  const std::string pro = std::string(TOVRANE_BIN_DIR) + "/app/engine-pro";
  cli::Args args = {"match", "--engine", "cmd=" + pro, "arg=--info", "arg=--nodes", "arg=3000", "arg=--hash", "arg=1"};
  addFake(args, "Fake");
  args.insert(args.end(), {"--openings", "1", "--plies", "2", "--draw-plies", "12", "--strict", "--record",
                           path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<GameRecord> games = readRecord(path("games.txt"));
  ASSERT_EQ(games.size(), 2u);
  int thought = 0;
  for (const GameRecord& g : games) {
    const int pro = g.blackName == "Fake" ? 1 : 0;
    for (int i = 2 + pro; i < g.plies(); i += 2) {
      const std::optional<Thinking>& t = g.moves[static_cast<size_t>(i)].thinking;
      ASSERT_TRUE(t) << "ply " << i + 1;
      ++thought;
      EXPECT_GE(t->depth, 1);
      // The pv of the last finished iteration; the move may come from a later one cut short.
      EXPECT_FALSE(t->pv.empty()) << "ply " << i + 1;
    }
  }
  EXPECT_GT(thought, 2);
}

TEST_F(MatchTest, OpeningMoveWinsOverTheEnginesOwnBook) {
  // The engine's own book plays 1020 from the start position; the opening
  // line says 1121.
  fs::create_directories(dir_ / "own" / "startgame");
  writeFile("own/startgame/222222222222000000000000111111111111.zjb", "black 1 0 2 0\n");
  const std::string openings = writeFile("openings.txt", "1121\n");
  for (const bool withOpening : {true, false}) {
    cli::Args args = {"match"};
    addFake(args, "Booked", {"dir=" + path("own")});
    addFake(args, "Plain");
    const std::string record = path(withOpening ? "opening.txt" : "own.txt");
    args.insert(args.end(), {"--draw-plies", "4", "--record", record});
    if (withOpening) {
      args.insert(args.end(), {"--opening-file", openings});
    } else {
      args.insert(args.end(), {"--openings", "1", "--plies", "0"});
    }
    const ToolResult run = runTovrane(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<GameRecord> games = readRecord(record);
    ASSERT_EQ(games.size(), 2u);
    ASSERT_GE(games[0].plies(), 1);
    ASSERT_GE(games[1].plies(), 1);
    // Game 1: Booked is black; game 2: Plain is black and has no book, so it
    // plays the first generated move, 1021.
    EXPECT_EQ(moveText(games[0].moves[0].move), withOpening ? "1121" : "1020");
    EXPECT_EQ(moveText(games[1].moves[0].move), withOpening ? "1121" : "1021");
  }
}

TEST_F(MatchTest, AnEngineThatIgnoresBooksIsReported) {
  const std::string openings = writeFile("openings.txt", "1222 4232\n");
  cli::Args args = {"match"};
  addFake(args, "Reader");
  addFake(args, "Ignorer", {"nobook"});
  args.insert(args.end(), {"--opening-file", openings, "--draw-plies", "4", "--record", path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("note: Ignorer did not play the opening move from its book folder in 2 game(s) (game 1, 2)"),
            std::string::npos)
      << run.out;
  // Game 1: Reader plays 1222 as black, Ignorer answers with its own first
  // move, 4030, not 4232. Game 2: Ignorer opens with 1021.
  const std::vector<GameRecord> games = readRecord(path("games.txt"));
  ASSERT_EQ(games.size(), 2u);
  ASSERT_GE(games[0].plies(), 2);
  EXPECT_EQ(moveText(games[0].moves[0].move), "1222");
  EXPECT_EQ(moveText(games[0].moves[1].move), "4030");
  EXPECT_EQ(moveText(games[1].moves[0].move), "1021");
  // The records say so: game 1 at ply 2 (white), game 2 at ply 1 (black).
  EXPECT_EQ(games[0].leftOpeningPly, 2);
  EXPECT_EQ(games[1].leftOpeningPly, 1);

  // Required, the opening decides: Ignorer loses both games at that ply.
  cli::Args required = {"match"};
  addFake(required, "Reader");
  addFake(required, "Ignorer", {"nobook"});
  required.insert(required.end(), {"--opening-file", openings, "--draw-plies", "4", "--openings-required", "--record",
                                   path("required.txt")});
  const ToolResult strict = runTovrane(required);
  ASSERT_EQ(strict.status, 0) << strict.err;
  const std::vector<GameRecord> lost = readRecord(path("required.txt"));
  ASSERT_EQ(lost.size(), 2u);
  for (const GameRecord& g : lost) {
    EXPECT_EQ(g.end, GameEnd::kLeftOpening) << g.reason;
    EXPECT_EQ(g.winner, g.blackName == "Ignorer" ? kWhite : kBlack) << g.reason;
    EXPECT_EQ(g.plies(), g.number == 1 ? 1 : 0) << g.reason;
  }
  EXPECT_NE(lost[0].reason.find("white (Ignorer) played 4030 instead of the opening's 4232"), std::string::npos)
      << lost[0].reason;
}

// Engines that agree on the score end their games early: A reckons it is
// 5 pieces up, B that it is 5 down, so A wins by adjudication once each has
// said so twice; level scores make a draw. A resumed run keeps the
// adjudicated games and the setting; another setting is another match.
TEST_F(MatchTest, AdjudicationEndsAgreedGamesAndResumeKeepsIt) {
  auto match = [&](const std::string& record, const std::string& scoreA, const std::string& scoreB,
                   const std::vector<std::string>& more) {
    cli::Args args = {"match"};
    addFake(args, "A", {"chatty", "score=" + scoreA});
    addFake(args, "B", {"pick=last", "chatty", "score=" + scoreB});
    args.insert(args.end(), {"--openings", "2", "--plies", "1", "--draw-plies", "30", "--record", path(record)});
    args.insert(args.end(), more.begin(), more.end());
    return runTovrane(args);
  };
  const ToolResult won = match("win.txt", "500", "-500", {"--adjudicate-win", "400:2"});
  ASSERT_EQ(won.status, 0) << won.err;
  const std::vector<GameRecord> games = readRecord(path("win.txt"));
  ASSERT_EQ(games.size(), 4u);
  for (const GameRecord& g : games) {
    EXPECT_EQ(g.end, GameEnd::kAdjudicated) << g.reason;
    EXPECT_EQ(g.winner, g.blackName == "A" ? kBlack : kWhite) << g.reason;
    EXPECT_EQ(g.plies(), 4) << g.reason;  // each side's second thinking line decides
  }
  EXPECT_NE(games[0].reason.find("both engines put black ahead by 400 or more for 2 move(s)"), std::string::npos)
      << games[0].reason;
  // Not enough: they play on.
  ASSERT_EQ(match("short.txt", "300", "-300", {"--adjudicate-win", "400:2"}).status, 0);
  for (const GameRecord& g : readRecord(path("short.txt"))) EXPECT_NE(g.end, GameEnd::kAdjudicated) << g.reason;

  const ToolResult resumed = match("win.txt", "500", "-500", {"--adjudicate-win", "400:2", "--resume"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.out.find("resumed: 4 game(s) were already in"), std::string::npos) << resumed.out;
  EXPECT_EQ(progressLines(resumed.out), progressLines(won.out));
  const ToolResult other = match("win.txt", "500", "-500", {"--resume"});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("belongs to another match (referee 'adjudicate win 400:2' vs ''"), std::string::npos)
      << other.err;

  ASSERT_EQ(match("draw.txt", "3", "-2", {"--adjudicate-draw", "5:3:8"}).status, 0);
  for (const GameRecord& g : readRecord(path("draw.txt"))) {
    EXPECT_EQ(g.end, GameEnd::kAdjudicated) << g.reason;
    EXPECT_EQ(g.winner, 0);
    EXPECT_EQ(g.plies(), 8) << g.reason;  // from ply 8, with three level lines each
  }
}

TEST_F(MatchTest, SprtStopsWhenTheRatioCrossesABound) {
  // Line 1020: A misbehaves in both games; 1222: both draw; 1121: B
  // misbehaves. Results for A in game order: L L D D W W W ... With every
  // outcome seen the ratio for elo0 0, elo1 200 after 2 losses, 2 draws and
  // w wins is -2.13, -1.21, ..., 2.57 (w = 8) and 3.38 (w = 9): the match
  // stops after game 13 of 24.
  const std::string openings =
      writeFile("openings.txt", "1020\n1222\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n");
  cli::Args args = {"match"};
  addFake(args, "A", {"illegal@2", "if=1020"});
  addFake(args, "B", {"pick=last", "illegal@2", "if=1121"});
  args.insert(args.end(), {"--opening-file", openings, "--draw-plies", "6", "--sprt", "0", "200", "--sprt-model",
                           "trinomial", "--concurrency", "2", "--record", path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> progress = progressLines(run.out);
  ASSERT_EQ(progress.size(), 13u) << run.out;
  EXPECT_NE(progress[11].find("LLR 2.57 (-2.94, 2.94)"), std::string::npos) << progress[11];
  EXPECT_NE(progress[12].find("LLR 3.38 (-2.94, 2.94)"), std::string::npos) << progress[12];
  EXPECT_NE(run.out.find("H1 accepted: A - B = 200 Elo rather than 0"), std::string::npos) << run.out;
  EXPECT_EQ(readRecord(path("games.txt")).size(), 13u);
  EXPECT_TRUE(tempDirsCleaned());
}

TEST_F(MatchTest, ReplayShowsTheRecordedGame) {
  cli::Args args = {"match"};
  addFake(args, "First");
  addFake(args, "Last", {"pick=last"});
  const std::string record = path("games.txt");
  args.insert(args.end(), {"--openings", "1", "--plies", "2", "--draw-plies", "6", "--record", record});
  ASSERT_EQ(runTovrane(args).status, 0);
  const std::vector<GameRecord> games = readRecord(record);
  ASSERT_EQ(games.size(), 2u);

  const ToolResult replay = runTovrane({"replay", record, "2"});
  ASSERT_EQ(replay.status, 0) << replay.err;
  EXPECT_EQ(replay.out.rfind("game 2: black Last, white First\n", 0), 0u) << replay.out;
  // One board for the start and one per ply.
  EXPECT_EQ(linesStartingWith(replay.out, "     0 1 2 3 4 5").size(), static_cast<size_t>(games[1].plies()) + 1);
  EXPECT_NE(replay.out.find("  0  x x x x x x\n"), std::string::npos);
  EXPECT_NE(replay.out.find("ply 1: black " + moveText(games[1].moves[0].move)), std::string::npos);
  EXPECT_NE(replay.out.find("white to move"), std::string::npos);
  EXPECT_NE(replay.out.find("result: draw, 6 plies without a capture"), std::string::npos) << replay.out;

  EXPECT_EQ(runTovrane({"replay", record, "3"}).status, 2);
  EXPECT_EQ(runTovrane({"replay", path("missing.txt")}).status, 2);
  // A record whose move is not legal in its position is refused.
  const std::string bad = writeFile("bad.txt", "game 1\nresult draw\n1 black 4131 0.1\n");
  const ToolResult refused = runTovrane({"replay", bad});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("move 1 (4131) is not legal"), std::string::npos) << refused.err;
}

TEST_F(MatchTest, EnginesThatCannotStartEndTheMatchWithAMessage) {
  auto run = [&](const std::string& program) {
    cli::Args args = {"match", "--engine", "cmd=" + program};
    addFake(args, "Good");
    return runTovrane(args);
  };
  const ToolResult missing = run(path("no-such-engine"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("there is no file " + path("no-such-engine")), std::string::npos) << missing.err;
  const std::string script = writeFile("engine.sh", "#!/bin/sh\n");
  const ToolResult plain = run(script);
  EXPECT_NE(plain.err.find("is not executable; make it so with: chmod +x " + script), std::string::npos) << plain.err;
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  const ToolResult bare = run("engine.sh");
  fs::current_path(cwd);
  EXPECT_NE(bare.err.find("'engine.sh' is not a program in PATH; to run the file in this folder give cmd=./engine.sh"),
            std::string::npos)
      << bare.err;
  EXPECT_NE(runTovrane({"match", "--engine", "cmd=" + kFake}).err.find("only one --engine given"), std::string::npos);
  // cat echoes "name?" back: not a name reply.
  const ToolResult echo = run("cat");
  EXPECT_EQ(echo.status, 1);
  EXPECT_NE(echo.err.find("engine 1 cannot be started"), std::string::npos) << echo.err;
  EXPECT_NE(echo.err.find("answered 'name?'"), std::string::npos) << echo.err;
  const ToolResult quits = run("false");
  EXPECT_EQ(quits.status, 1);
  EXPECT_NE(quits.err.find("engine 1 cannot be started"), std::string::npos) << quits.err;
  EXPECT_TRUE(tempDirsCleaned());
}

TEST_F(MatchTest, BadArgumentsAreRefused) {
  const std::string openings = writeFile("openings.txt", "1121\n");
  const std::vector<cli::Args> bad = {
      {"match"},
      {"match", "--engine", "cmd=" + kFake},
      {"match", "--engine", "dir=/", "--engine", "cmd=" + kFake},
      // Three engines make a tournament: two cannot, nor a sequential test.
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--tournament", "gauntlet"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--engine", "cmd=c", "--tournament", "swiss"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--engine", "cmd=c", "--sprt", "0", "5"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--rules", "draw50"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--tc", "0"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--tc", "1+x"},
      {"match", "--engine", "cmd=a", "dir=" + path("nowhere"), "--engine", "cmd=b"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--sprt", "5", "0"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--time", "0"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--openings"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--games", "4"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--opening-file", openings, "--plies", "2"},
      {"match", "--engine", "cmd=a", "--engine", "cmd=b", "--opening-file", path("none.txt")},
  };
  for (const cli::Args& args : bad) {
    const ToolResult run = runTovrane(args);
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_EQ(run.err.rfind("tovrane match: ", 0), 0u) << run.err;
  }
  const ToolResult help = runTovrane({"match", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--sprt ELO0 ELO1"), std::string::npos);
  for (const RulesPreset& preset : rulesPresets()) EXPECT_NE(help.out.find(preset.name), std::string::npos);
}

TEST_F(MatchTest, EnginesThatAnswerAlikeAreToldApart) {
  cli::Args args = {"match"};
  addFake(args, "Twin");
  addFake(args, "Twin", {"pick=last"});
  args.insert(args.end(), {"--openings", "1", "--plies", "0", "--draw-plies", "4"});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  // Same answer and the same program: the program name and a number are added.
  EXPECT_EQ(tableCounts(run.out, "Twin [fake_engine.sh] #1").size(), 4u) << run.out;
  EXPECT_EQ(tableCounts(run.out, "Twin [fake_engine.sh] #2").size(), 4u) << run.out;
}

TEST_F(MatchTest, ArgWordsReachTheProgramVerbatim) {
  // arg= passes words that would otherwise end the engine's words (--Dashed)
  // or be taken by the referee (name=...); plain words still pass through.
  cli::Args args = {"match", "--engine", "cmd=" + kFake, kTool, "arg=--Dashed", "pick=last"};
  args.insert(args.end(), {"--engine", "cmd=" + kFake, "arg=" + kTool, "arg=name=Eq"});
  args.insert(args.end(), {"--openings", "1", "--plies", "0", "--draw-plies", "4", "--record", path("games.txt")});
  const ToolResult run = runTovrane(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(tableCounts(run.out, "--Dashed").size(), 4u) << run.out;
  EXPECT_EQ(tableCounts(run.out, "name=Eq").size(), 4u) << run.out;
  // pick=last reached the first engine: its first move as black is the last generated one.
  const std::vector<GameRecord> games = readRecord(path("games.txt"));
  ASSERT_EQ(games.size(), 2u);
  ASSERT_GE(games[0].plies(), 1);
  EXPECT_EQ(moveText(games[0].moves[0].move), "1524") << run.out;
}

// A short match between the real programs: every game ends by the rules,
// not by a fault, and the engines follow the openings through their books.
TEST_F(MatchTest, RealEnginesPlayAShortMatch) {
  const std::string app = std::string(TOVRANE_BIN_DIR) + "/app/";
  const std::string record = path("games.txt");
  const ToolResult run = runTovrane({"match", "--engine", "cmd=" + app + "engine", "--engine",
                               "cmd=" + app + "engine-classic", "--openings", "1", "--plies", "4", "--seed", "3",
                               "--record", record});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("did not play the opening"), std::string::npos) << run.out;
  const std::vector<GameRecord> games = readRecord(record);
  ASSERT_EQ(games.size(), 2u) << run.out;
  const std::vector<OpeningLine> openings = randomOpenings(1, 4, 3);
  for (const GameRecord& g : games) {
    EXPECT_TRUE(g.end == GameEnd::kNoMoves || g.end == GameEnd::kQuietDraw || g.end == GameEnd::kPlyCap)
        << g.reason;
    ASSERT_GT(g.plies(), 4);
    for (size_t p = 0; p < 4; ++p) EXPECT_EQ(g.moves[p].move, openings[0][p]);
  }
  EXPECT_EQ(games[0].blackName, "Tovrane(2.2)");
  EXPECT_EQ(games[0].whiteName, "Tovrane(2.0)");
  EXPECT_EQ(games[1].blackName, "Tovrane(2.0)");
  const std::vector<std::string> counts = tableCounts(run.out, "Tovrane(2.2)");
  ASSERT_EQ(counts.size(), 4u) << run.out;
  EXPECT_EQ(counts[0], "2");
  EXPECT_TRUE(tempDirsCleaned());
}

}  // namespace
}  // namespace tovrane
