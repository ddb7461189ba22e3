// Long matches: a match stopped by a signal or killed outright is resumed
// from its record to the same result as an uninterrupted run, and shards
// run side by side by GNU parallel merge to the output of a single run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "match/engine_process.h"
#include "tests/process_util.h"
#include "tests/temp_dir.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(TOVRANE_BIN_DIR) + "/tools/tovrane";
const std::string kFake = std::string(TOVRANE_SOURCE_DIR) + "/tests/fake_engine.sh";

using test::runTovrane;
using test::ToolResult;

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The game lines of a report, and its table and verdict without the
// measured move times, which differ from run to run.
std::string reportWithoutTimes(const std::string& text) {
  static const std::regex times(R"( +[0-9.]+ s +[0-9.]+ s$)");
  std::istringstream in(text);
  std::string line;
  std::string kept;
  while (std::getline(in, line)) {
    if (line.rfind("resumed:", 0) == 0 || line.rfind("note: a game cut short", 0) == 0) continue;
    kept += std::regex_replace(line, times, "") + "\n";
  }
  return kept;
}

// Whether a process whose command line holds marker is still running.
bool processWith(const std::string& marker) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(getpid())) continue;
    if (readText(entry.path().string() + "/cmdline").find(marker) != std::string::npos) return true;
  }
  return false;
}

// Starts tovrane as a child process writing to outFile.
pid_t startTovrane(const cli::Args& args, const std::string& outFile) {
  std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    signal(SIGINT, SIG_DFL);
    execv(kTool.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for the child's end (at most a minute); its wait status, or -1.
int waitFor(pid_t pid) {
  for (int i = 0; i < 6000; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

class MatchResumeTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "tmp");
    // The referee's temporary working folders go here, to be counted.
    const char* old = getenv("TMPDIR");
    oldTmp_ = old != nullptr ? old : "";
    setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
    // Line 1020: A misbehaves in both games; 1222: both draw; 1121: B
    // misbehaves. Every kind of result, and an SPRT 0/200 decision after
    // game 13 of 24.
    std::ofstream(path("openings.txt"))
        << "1020\n1222\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n1121\n";
  }
  void TearDown() override {
    if (oldTmp_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    }
  }

  std::string path(const std::string& name) const { return (dir_.path() / name).string(); }
  bool tempDirsCleaned() const { return fs::is_empty(dir_.path() / "tmp"); }

  // The match of 24 games between the two fake engines; delay slows every move.
  cli::Args match(const std::string& record, const std::string& delay, const std::string& nameA = "A") const {
    return {"match",         "--engine",  "cmd=" + kFake, kTool,           nameA,          "illegal@2", "if=1020",
            "delay=" + delay, "--engine", "cmd=" + kFake, kTool,           "B",            "pick=last", "illegal@2",
            "if=1121",       "delay=" + delay, "--opening-file", path("openings.txt"), "--draw-plies", "6",
            "--concurrency", "2",         "--record",     record};
  }

  test::TempDir dir_;
  std::string oldTmp_;
};

cli::Args with(cli::Args args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(MatchResumeTest, ResumeAfterAKillGivesTheResultOfAnUninterruptedRun) {
  const ToolResult whole = runTovrane(match(path("whole.txt"), "0.05"));
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::string expected = reportWithoutTimes(whole.out);
  ASSERT_NE(expected.find("game 24/24"), std::string::npos) << whole.out;

  std::random_device device;
  const unsigned seed = device();
  std::mt19937 random(seed);
  SCOPED_TRACE("random seed " + std::to_string(seed));

  // Killed outright at a random moment, then resumed.
  const std::string record = path("killed.txt");
  const pid_t pid = startTovrane(match(record, "0.05"), path("killed.out"));
  std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(200, 2000)(random)));
  kill(pid, SIGKILL);
  waitFor(pid);
  const ToolResult resumed = runTovrane(with(match(record, "0.05"), {"--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(reportWithoutTimes(resumed.out), expected);
  EXPECT_NE(resumed.out.find("resumed: "), std::string::npos);

  // Killed in the middle of writing a game: the record cut at a random byte
  // after its header. The cut game is dropped and played again.
  const std::string full = readText(path("whole.txt"));
  const size_t headerEnd = full.find("\n\n") + 2;
  const size_t cut = std::uniform_int_distribution<size_t>(headerEnd, full.size() - 1)(random);
  SCOPED_TRACE("record cut at byte " + std::to_string(cut) + " of " + std::to_string(full.size()));
  std::ofstream(path("cut.txt"), std::ios::binary) << full.substr(0, cut);
  const ToolResult repaired = runTovrane(with(match(path("cut.txt"), "0.05"), {"--resume"}));
  ASSERT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_EQ(reportWithoutTimes(repaired.out), expected);
  // The record now reads back as the whole match.
  const ToolResult merged = runTovrane({"merge", path("cut.txt")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(reportWithoutTimes(merged.out), expected);
}

TEST_F(MatchResumeTest, SigintStopsCleanlyAndASecondEndsAtOnce) {
  const std::string marker = "Stopper" + std::to_string(getpid());
  for (const int signals : {1, 2}) {
    const std::string record = path("stopped" + std::to_string(signals) + ".txt");
    const std::string out = path("stopped" + std::to_string(signals) + ".out");
    // The first engine hangs on after "stop", so the first signal's clean stop
    // waits for it to be killed, and a second signal meets a match still stopping.
    cli::Args args = match(record, "0.1", marker);
    args.insert(std::find(args.begin(), args.end(), marker) + 1, "linger");
    const pid_t pid = startTovrane(args, out);
    // Stop once the first game is recorded: the engines are mid-game then.
    for (int i = 0; i < 1000 && readText(record).find("\ngame ") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    if (signals == 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      kill(pid, SIGINT);
    }
    const int status = waitFor(pid);
    EXPECT_FALSE(processWith(marker)) << "an engine outlived the match";
    const std::string text = readText(out);
    if (signals == 2) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << text;
      break;
    }
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 130) << text;
    EXPECT_TRUE(tempDirsCleaned());
    // The finished games are reported and recorded, and only they.
    std::smatch stopped;
    ASSERT_TRUE(std::regex_search(text, stopped, std::regex("stopped by SIGINT after ([0-9]+) of 24 games"))) << text;
    const int finished = std::stoi(stopped[1]);
    EXPECT_GE(finished, 1);
    EXPECT_LT(finished, 24);
    EXPECT_NE(text.find("\n" + marker + " "), std::string::npos) << text;
    const ToolResult merged = runTovrane({"merge", record});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_NE(merged.out.find(std::to_string(24 - finished) + " of the match's 24 games are in none"),
              std::string::npos)
        << merged.out;
  }
}

// A record made by hand, in the form records had before thinking lines
// and pairs: merge reads it and counts its pairs of games as done by hand.
// A wins games 1, 2 and 3, draws 4, 5 and 6, loses 7 and wins 8: pairs of
// 2, 3/2, 1 and 1 points; game 9 has no pair.
TEST_F(MatchResumeTest, MergeCountsThePairsOfAnOldRecord) {
  std::string text =
      "# tovrane match record: A vs B\n# match name1 A\n# match name2 B\n# match engine1 cmd=a\n"
      "# match engine2 cmd=b\n# match openings 5 random plies 0 seed 1 digest 0\n"
      "# match rules time 10 draw-plies 80 max-plies 400\n# match sprt none\n# match shard 1/1\n\n";
  const char* results[] = {"black", "white", "black", "draw", "draw", "draw", "white", "white", "white"};
  for (int g = 1; g <= 9; ++g) {
    const bool aBlack = g % 2 == 1;
    text += "game " + std::to_string(g) + "\nblack " + (aBlack ? "A" : "B") + "\nwhite " + (aBlack ? "B" : "A") +
            "\nopening \nresult " + results[g - 1] + "\nend no-moves\nreason r\nplies 1\n1 black 1121 0.010\n\n";
  }
  std::ofstream(path("old.txt")) << text;
  const ToolResult merged = runTovrane({"merge", path("old.txt"), "--sprt", "0", "200"});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_NE(merged.out.find("\n  A - B: 0: 0  1/2: 0  1: 2  3/2: 1  2: 1 (4 pairs); 1 game(s) without their pair, "
                            "left out\n    elo +137.0 +- 187.6 from pairs; "),
            std::string::npos)
      << merged.out;
  EXPECT_NE(merged.out.find("on pairs of games: LLR 0.00 (on single games "), std::string::npos) << merged.out;
  EXPECT_EQ(runTovrane({"merge", path("old.txt"), "--sprt-model", "trinomial"}).status, 2);
}

TEST_F(MatchResumeTest, RecordsOfAnotherMatchAreRefused) {
  auto small = [&](const std::string& record, const std::vector<std::string>& more) {
    return runTovrane(with({"match", "--engine", "cmd=" + kFake, kTool, "A", "--engine", "cmd=" + kFake, kTool, "B",
                            "pick=last", "--openings", "2", "--plies", "2", "--draw-plies", "4", "--record", record},
                           more));
  };
  const std::string record = path("games.txt");
  ASSERT_EQ(small(record, {}).status, 0);
  const std::string before = readText(record);
  struct Refusal {
    std::vector<std::string> more;
    const char* message;
  };
  const std::vector<Refusal> refusals = {
      {{}, "games.txt exists; give --resume to continue its match or --overwrite to replace it"},
      {{"--resume", "--seed", "2"}, "belongs to another match (openings '2 random plies 2 seed 1 digest"},
      {{"--resume", "--draw-plies", "5"}, "belongs to another match (rules 'time 10 draw-plies 4"},
      {{"--resume", "--sprt", "0", "10"}, "belongs to another match (sprt 'none' vs 'elo0 0 elo1 10"},
      {{"--resume", "--shard", "1/2"}, "belongs to another match (shard '1/1' vs '1/2')"},
      {{"--resume", "--shard", "3/3"}, "--shard 3/3 with only 2 openings"},
  };
  for (const Refusal& r : refusals) {
    const ToolResult run = small(record, r.more);
    EXPECT_EQ(run.status, 1) << r.message;
    EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
  }
  // Another engine under the same name is another match too.
  const ToolResult other = runTovrane({"match", "--engine", "cmd=" + kFake, kTool, "A", "nobook", "--engine",
                                       "cmd=" + kFake, kTool, "B", "pick=last", "--openings", "2", "--plies", "2",
                                       "--draw-plies", "4", "--record", record, "--resume"});
  EXPECT_NE(other.err.find("(engine1 'cmd=" + kFake + " arg=" + kTool + " arg=A' vs"), std::string::npos)
      << other.err;
  EXPECT_EQ(small(record, {"--resume", "--overwrite"}).status, 2);
  EXPECT_EQ(small(path("none.txt"), {"--overwrite", "--shard", "2/1"}).status, 2);
  EXPECT_EQ(readText(record), before) << "a refused run changed the record";
  // A finished match resumes to itself without playing.
  const ToolResult again = small(record, {"--resume"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readText(record), before);

  // Merging: records of different matches, or a game twice.
  ASSERT_EQ(small(path("other.txt"), {"--seed", "2"}).status, 0);
  const ToolResult mixed = runTovrane({"merge", record, path("other.txt")});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.err.find("belong to different matches (openings"), std::string::npos) << mixed.err;
  const ToolResult twice = runTovrane({"merge", record, record});
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("game 1 is in both"), std::string::npos) << twice.err;
  EXPECT_EQ(runTovrane({"merge", path("missing.txt")}).status, 1);
  EXPECT_EQ(runTovrane({"merge"}).status, 2);
}

// Three shards run at once by GNU parallel; merged, their records give the
// game lines, table and SPRT verdict of one run (which stops after game 13).
TEST_F(MatchResumeTest, ShardsRunByGnuParallelMergeToOneRun) {
  if (resolveProgram("parallel").empty()) GTEST_SKIP() << "GNU parallel is not installed (apt-get install parallel)";
  const std::vector<std::string> sprt = {"--sprt", "0", "200"};
  const ToolResult single = runTovrane(with(match(path("single.txt"), "0"), sprt));
  ASSERT_EQ(single.status, 0) << single.err;
  ASSERT_NE(single.out.find("H1 accepted"), std::string::npos) << single.out;

  std::vector<std::string> args = {"--will-cite", "--halt", "now,fail=1", kTool};
  const cli::Args shard = with(match(path("shard{}.txt"), "0"), sprt);
  args.insert(args.end(), shard.begin(), shard.end());
  args.insert(args.end(), {"--shard", "{}/3", ":::", "1", "2", "3"});
  const test::ProgramRun run = test::runProgram(resolveProgram("parallel"), args, "", dir_.path().string(), 120);
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

  const ToolResult merged = runTovrane({"merge", path("shard3.txt"), path("shard1.txt"), path("shard2.txt")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(reportWithoutTimes(merged.out), reportWithoutTimes(single.out));
  EXPECT_TRUE(tempDirsCleaned());
}

}  // namespace
}  // namespace tovrane

namespace tovrane {
namespace {

// The words of each line of the cross table, engine rows only.
std::vector<std::vector<std::string>> crossTable(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text.substr(std::min(text.size(), text.find("cross table:"))));
  std::string line;
  std::getline(in, line);  // the title
  std::getline(in, line);  // the column numbers
  while (std::getline(in, line) && !line.empty()) {
    std::istringstream words(line);
    rows.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
  }
  return rows;
}

// Four fake engines: A and B play on and draw every game between them at the
// quiet limit on the opening's last ply; C plays an illegal first move and D
// exits at its first move, so each loses to A and B, and between them the
// one with black faults first. A round robin over two openings, whole, in
// two shards merged, and resumed; then a gauntlet.
TEST_F(MatchResumeTest, TournamentsGiveTheCrossTableAndMergeFromShards) {
  std::ofstream(path("quiet.txt")) << "1021 4030 0010 3040\n1121 4131 2111 3141\n";
  auto tournament = [&](const std::string& record, const std::vector<std::string>& more) {
    cli::Args args = {"match", "--engine", "cmd=" + kFake, kTool, "A", "--engine", "cmd=" + kFake, kTool, "B",
                      "pick=last", "--engine", "cmd=" + kFake, kTool, "C", "illegal@1", "--engine", "cmd=" + kFake,
                      kTool, "D", "exit@1", "--opening-file", path("quiet.txt"), "--draw-plies", "4",
                      "--concurrency", "2", "--record", record};
    args.insert(args.end(), more.begin(), more.end());
    return runTovrane(args);
  };
  const ToolResult whole = tournament(path("whole.txt"), {});
  ASSERT_EQ(whole.status, 0) << whole.err;
  using Row = std::vector<std::string>;
  const std::vector<Row> expected = {{"1", "A", "-", "2/4", "4/4", "4/4"},
                                     {"2", "B", "2/4", "-", "4/4", "4/4"},
                                     {"3", "C", "0/4", "0/4", "-", "2/4"},
                                     {"4", "D", "0/4", "0/4", "2/4", "-"}};
  EXPECT_EQ(crossTable(whole.out), expected) << whole.out;
  // Each engine's row: games, wins, draws, losses, score.
  const std::regex aRow(R"(\nA +12 +8 +4 +0 +83\.3%)");
  const std::regex cRow(R"(\nC +12 +2 +0 +10 +16\.7%)");
  EXPECT_TRUE(std::regex_search(whole.out, aRow)) << whole.out;
  EXPECT_TRUE(std::regex_search(whole.out, cRow)) << whole.out;
  // Six pairings, twelve games an opening: game 13 is the second opening's first.
  EXPECT_NE(whole.out.find("game 13/24: A (black) - B (white): draw"), std::string::npos) << whole.out;
  EXPECT_NE(whole.out.find("game 12/24: D (black) - C (white): white wins"), std::string::npos) << whole.out;

  for (const char* shard : {"1/2", "2/2"}) {
    const ToolResult run = tournament(path(std::string("shard") + shard[0] + ".txt"), {"--shard", shard});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  const ToolResult merged = runTovrane({"merge", path("shard2.txt"), path("shard1.txt")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(reportWithoutTimes(merged.out), reportWithoutTimes(whole.out));

  // A record cut after its header and first games resumes to the whole.
  const std::string full = readText(path("whole.txt"));
  size_t cut = full.find("\ngame 5\n");
  ASSERT_NE(cut, std::string::npos);
  std::ofstream(path("cut.txt"), std::ios::binary) << full.substr(0, cut + 3);
  const ToolResult resumed = tournament(path("cut.txt"), {"--resume"});
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(reportWithoutTimes(resumed.out), reportWithoutTimes(whole.out));
  // A record of the tournament does not resume a match of its first two engines.
  const ToolResult two = runTovrane({"match", "--engine", "cmd=" + kFake, kTool, "A", "--engine", "cmd=" + kFake,
                                     kTool, "B", "pick=last", "--opening-file", path("quiet.txt"), "--draw-plies",
                                     "4", "--record", path("whole.txt"), "--resume"});
  EXPECT_EQ(two.status, 1);
  EXPECT_NE(two.err.find("belongs to another match (engines '4' vs '2')"), std::string::npos) << two.err;

  // The gauntlet: A against each other engine, no more.
  const ToolResult gauntlet = tournament(path("gauntlet.txt"), {"--tournament", "gauntlet"});
  ASSERT_EQ(gauntlet.status, 0) << gauntlet.err;
  EXPECT_NE(gauntlet.out.find("game 12/12: "), std::string::npos) << gauntlet.out;
  const std::vector<Row> gauntletTable = {{"1", "A", "-", "2/4", "4/4", "4/4"},
                                          {"2", "B", "2/4", "-"},
                                          {"3", "C", "0/4", "-"},
                                          {"4", "D", "0/4", "-"}};
  EXPECT_EQ(crossTable(gauntlet.out), gauntletTable) << gauntlet.out;
  EXPECT_TRUE(tempDirsCleaned());
}

}  // namespace
}  // namespace tovrane
