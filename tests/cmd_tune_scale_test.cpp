// tovrane tune on self-play position files: positions whose results follow a
// known model (a piece is worth much, a piece in a corner less) must give
// back that model's signs and ordering, in both rows, with repeated
// positions merged and a held-out loss that improves.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "eval/pro_eval.h"
#include "selfplay/position_file.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"
#include "tests/tool_run.h"

namespace tovrane {
namespace {

TEST(ToolTune, RecoversAKnownModelFromPositionFiles) {
  test::TempDir dir;
  const std::string path = (dir.path() / "positions.txt").string();
  std::set<std::string> distinct;
  {
    std::ofstream out(path);
    out << kSelfplayTitle << "\n# selfplay games 400 seed 1 (a synthetic run)\n";
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> uniform(0, 1);
    for (int game = 1; game <= 400; ++game) {
      for (int k = 0; k < 10; ++k) {
        const Board board = test::randomBoard(rng, 6 + static_cast<int>(rng() % 19));
        const Side side = rng() % 2 == 0 ? kBlack : kWhite;
        const ProFeatures f = proFeatures(board, side);
        const double score = 120.0 * f[kFeatMaterial] - 60.0 * f[kFeatCorner];
        const char* result = uniform(rng) < 1 / (1 + std::exp(-score / 100)) ? "1" : "0";
        std::ostringstream line;
        line << boardDigits(board) << " " << side << " " << std::lround(score) << " " << result << " " << 10 + k
             << " " << game << "\n";
        // Every position twice, as a game reaching it again would write it.
        out << line.str() << line.str();
        distinct.insert(boardDigits(board) + static_cast<char>('0' + side));
      }
      out << "game " << game << " result draw end ply-cap plies 0 opening 0 random - moves\n";
    }
  }
  const test::ToolResult r = test::runTovrane({"tune", path, "--iterations", "1500"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("positions read 8000 (8000 self-play"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("distinct positions " + std::to_string(distinct.size()) + " "), std::string::npos) << r.out;

  std::istringstream losses(r.out.substr(r.out.find("held-out loss before")));
  std::string word;
  double before = 0, after = 0;
  losses >> word >> word >> word >> before >> word >> after;
  EXPECT_LT(after, before) << r.out;

  auto tuned = [&](const char* name, bool endgame) {
    const size_t at = r.out.find(std::string("  ") + name + " ", r.out.find("weights (name"));
    std::istringstream row(r.out.substr(at));
    int openingNow = 0, opening = 0, endgameNow = 0, endgameTuned = 0;
    row >> word >> openingNow >> opening >> endgameNow >> endgameTuned;
    return endgame ? endgameTuned : opening;
  };
  for (const bool endgame : {false, true}) {
    const int material = tuned("material", endgame);
    const int corner = tuned("corner", endgame);
    EXPECT_LT(corner, 0) << r.out;
    EXPECT_GT(material, -corner) << r.out;
  }
  // Features the model leaves out stay small beside a piece, in the middle
  // of the game (the mean of the rows), which these positions determine
  // well; each row alone is an extrapolation that depends on the start.
  const int material = tuned("material", false) + tuned("material", true);
  EXPECT_LT(std::abs(tuned("mobility", false) + tuned("mobility", true)), material / 4) << r.out;
  // The weights as code: two rows of every feature.
  EXPECT_NE(r.out.find("const ProWeights kProWeights = {{"), std::string::npos);
  EXPECT_EQ(test::runTovrane({"tune", path, "--score-weight", "2"}).status, 2);
}

}  // namespace
}  // namespace tovrane
