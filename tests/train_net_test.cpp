// The network trainer end to end, on a few thousand self-play positions:
// it writes a file the engine reads, whose integer scores agree with the
// trainer's float network, and it learns (the held-out loss falls).

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "eval/net_eval.h"
#include "tests/process_util.h"
#include "tests/temp_dir.h"

namespace tovrane {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

TEST(TrainNet, TrainsAFileTheEngineReadsAndAgreesWith) {
  if (test::runProgram(kPython, {"-c", "import torch, numpy"}, "").exitStatus != 0) {
    GTEST_SKIP() << "python3-torch and python3-numpy are not installed: the trainer is not tested";
  }
  test::TempDir dir;
  const std::string data = (dir.path() / "positions.txt").string();
  const std::string net = (dir.path() / "net.tvnn").string();
  const test::ProgramRun selfplay = test::runProgram(
      test::programPath("tovrane"), {"selfplay", "--out", data, "--games", "120", "--nodes", "300", "--hash", "1"}, "");
  ASSERT_EQ(selfplay.exitStatus, 0) << selfplay.err;
  const test::ProgramRun train = test::runProgram(
      kPython,
      {TOVRANE_SOURCE_DIR "/tools/net/train_net.py", "--out", net, "--epochs", "4", "--hidden", "16", "--batch", "256",
       "--seed", "3", "--tovrane", test::programPath("tovrane"), data},
      "", "", 300);
  ASSERT_EQ(train.exitStatus, 0) << train.out << train.err;

  NetWeights weights;
  std::string error;
  ASSERT_TRUE(loadNetFile(net, weights, error)) << error;
  EXPECT_EQ(weights.hidden, 16);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(train.out, m, std::regex("largest difference ([0-9.]+), mean ([0-9.]+)"))) << train.out;
  EXPECT_LE(std::stod(m[1]), 4.0) << train.out;  // rounding of the weights and of the final division
  EXPECT_LE(std::stod(m[2]), 1.0) << train.out;
  std::smatch first;
  std::smatch last;
  ASSERT_TRUE(std::regex_search(train.out, first, std::regex("epoch 0: held-out loss ([0-9.]+)"))) << train.out;
  ASSERT_TRUE(std::regex_search(train.out, last, std::regex("epoch 4: .*held-out loss ([0-9.]+)"))) << train.out;
  EXPECT_LT(std::stod(last[1]), std::stod(first[1])) << train.out;
  EXPECT_NE(train.out.find("held-out loss of the hand-made evaluation"), std::string::npos) << train.out;
}

}  // namespace
}  // namespace tovrane
