// engine-pro's evaluation for x86 processors that have the POPCNT
// instruction (nearly all since 2008), chosen at start-up; older ones run
// the same code with a software bit count.

#include "eval/pro_eval.h"
#include "eval/pro_eval_body.h"

namespace tovrane {

namespace {

struct HardwareCount {
  [[gnu::always_inline]] static int32_t of(uint64_t bits) { return __builtin_popcountll(bits); }
};

[[gnu::target("popcnt")]] ProFeatures featuresWithPopcnt(const Occupancy& occ, RingMask rings, Side side) {
  return pro_eval_detail::computeProFeatures<HardwareCount>(occ, rings, side);
}

[[gnu::target("popcnt")]] int32_t scoreWithPopcnt(const Occupancy& occ, RingMask rings, Side side,
                                                  const ProWeights& weights) {
  return pro_eval_detail::computeProScore<HardwareCount>(occ, rings, side, weights);
}

}  // namespace

ProEvalFunctions proEvalWithBitCountInstruction() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("popcnt")) return {featuresWithPopcnt, scoreWithPopcnt};
  return {nullptr, nullptr};
}

}  // namespace tovrane
