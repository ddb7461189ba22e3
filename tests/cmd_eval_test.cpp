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

TEST(EvalCommand, PrintsOneScore) {
  EXPECT_EQ(run({"eval", kInitial, "2"}).out, "0\n");
  // Black on (1,0), white on (0,2) and (1,2).
  EXPECT_EQ(run({"eval", "001000201000000000000000000000000000", "2"}).out, "-310\n");
  EXPECT_EQ(run({"eval", "001000201000000000000000000000000000", "1"}).out, "9999999\n");
  // The classic profile: black on (1,1) alone.
  EXPECT_EQ(run({"eval", "000000020000000000000000000000000000", "2", "--classic"}).out, "9999999\n");
}

TEST(EvalCommand, RejectsBadArguments) {
  EXPECT_EQ(run({"eval", kInitial}).status, 2);
  EXPECT_EQ(run({"eval", kInitial, "3"}).status, 2);
  EXPECT_EQ(run({"eval", kInitial, "2", "--deep"}).status, 2);
  const Result bad = run({"eval", "2222", "2"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("tovrane eval:"), std::string::npos);
  EXPECT_EQ(run({"maps", kInitial, "2"}).status, 2);
}

TEST(MapsCommand, PrintsTheThreeMapsAndCounts) {
  const Result r = run({"maps", kInitial});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "threat\n"
            "0 1 1 1 1 0\n1 0 0 0 0 1\n1 1 1 1 1 1\n-1 -1 -1 -1 -1 -1\n-1 0 0 0 0 -1\n0 -1 -1 -1 -1 0\n"
            "balance\n"
            "0 0 -1 -1 0 0\n0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 1 1 0 0\n"
            "safety\n"
            "0 0 0 0 0 0\n0 0 0 0 0 0\n1 1 1 1 1 1\n2 2 2 2 2 2\n0 0 0 0 0 0\n0 0 0 0 0 0\n"
            "safe black 6 white 6\n");
}

TEST(MapsCommand, ClassicPrintsTheClassicMapAsBalance) {
  const Result r = run({"maps", "--classic", kInitial});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "balance\n"
            "0 6 2 2 6 0\n2 0 0 0 0 2\n4 4 4 4 4 4\n-4 -4 -4 -4 -4 -4\n-2 0 0 0 0 -2\n0 -6 -2 -2 -6 0\n"
            "safety\n"
            "0 0 0 0 0 0\n0 0 0 0 0 0\n1 1 1 1 1 1\n2 2 2 2 2 2\n0 0 0 0 0 0\n0 0 0 0 0 0\n"
            "safe black 6 white 6\n");
}

}  // namespace
}  // namespace tovrane::cli
