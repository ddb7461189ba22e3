// The tovrane subcommands for moves, perft and search, called in-process.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/tool_run.h"
#include "tools/cli.h"

namespace tovrane::cli {
namespace {

constexpr const char* kInitial = test::kInitialDigits;
using Result = test::ToolResult;

Result run(const Args& argv) { return test::runTovrane(argv); }

int lineCount(const std::string& text) {
  int n = 0;
  for (char ch : text) n += ch == '\n' ? 1 : 0;
  return n;
}

TEST(ToolCommands, MovesListsDuplicatesInGenerationOrder) {
  // White on (1,1), black on (0,1) and (0,4): 1104 is listed twice.
  const Result r = run({"moves", "020020010000000000000000000000000000", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1104\n1101\n1104\n1122\n1121\n1120\n1110\n1100\n1102\n1112\n");
}

TEST(ToolCommands, PerftAndDivideAgree) {
  const Result perft = run({"perft", "020020010000000000000000000000000000", "1", "2"});
  const Result divide = run({"divide", "020020010000000000000000000000000000", "1", "2"});
  ASSERT_EQ(perft.status, 0);
  ASSERT_EQ(divide.status, 0);
  EXPECT_EQ(lineCount(divide.out), 10);  // nine distinct moves, then the total
  EXPECT_EQ(divide.out.substr(divide.out.rfind("total ") + 6), perft.out);
  EXPECT_EQ(run({"perft", kInitial, "2", "3"}).out, "5382\n");
}

TEST(ToolCommands, ChooseReportsNoneOnlyWithoutALegalMove) {
  // A lone black piece: black moves (its first step), white has nothing.
  EXPECT_EQ(run({"choose", "000000000000002000000000000000000000", "2"}).out, "2233\n");
  EXPECT_EQ(run({"choose", "000000000000002000000000000000000000", "1"}).out, "none\n");
}

TEST(ToolCommands, MalformedArgumentsGetOneLineAndStatusTwo) {
  const Args bad[] = {
      {"moves", kInitial},
      {"moves", kInitial, "0"},
      {"moves", "22222222222200000000000011111111111x", "1"},
      {"moves", "222222222222222000000000111111111111", "1"},  // 15 black pieces
      {"perft", kInitial, "2", "-1"},
      {"perft", kInitial, "2", "3x"},
      {"perft", kInitial, "2", "99"},
      {"divide", kInitial, "2", "0"},
      {"choose", kInitial, "2", "--deep", "--classic"},
      {"bench", "extra"},
      {"bench", "--fast"},
      {"frobnicate"},
      {},
  };
  for (const Args& args : bad) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
  }
}

TEST(ToolCommands, HelpListsEverySubcommand) {
  const Result r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const Command& c : commands()) EXPECT_NE(r.out.find(c.usage), std::string::npos) << c.name;
}

// Every subcommand, old or newly added, answers --help and -h on stdout with
// status 0, whatever else is on the line, without running.
TEST(ToolCommands, EverySubcommandAnswersHelp) {
  for (const Command& c : commands()) {
    const std::string usage = std::string("usage: tovrane ") + c.usage + "\n\n";
    const Args asked[] = {{c.name, "--help"}, {c.name, "-h"}, {c.name, "x", "--help", "--nonsense"}, {"help", c.name}};
    for (const Args& args : asked) {
      const Result r = run(args);
      EXPECT_EQ(r.status, 0) << c.name;
      EXPECT_EQ(r.err, "") << c.name;
      EXPECT_EQ(r.out.rfind(usage, 0), 0u) << c.name << ": " << r.out;
      EXPECT_GE(lineCount(r.out), 3) << c.name;
      EXPECT_EQ(r.out.back(), '\n') << c.name;
    }
  }
  EXPECT_EQ(run({"help", "frobnicate"}).status, 2);
}

}  // namespace
}  // namespace tovrane::cli
