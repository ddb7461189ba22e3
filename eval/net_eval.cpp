#include "eval/net_eval.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace tovrane {

// The bytes of eval/default_net.tvnn, written into a source file by the build.
extern const unsigned char kDefaultNetBytes[];
extern const size_t kDefaultNetByteCount;

namespace {

void plainUpdate(const int16_t* before, int16_t* after, const int16_t* add, const int16_t* sub,
                 const int16_t* sub2, int hidden) {
  for (int i = 0; i < hidden; ++i) {
    int32_t v = before[i] + add[i] - sub[i];
    if (sub2 != nullptr) v -= sub2[i];
    after[i] = static_cast<int16_t>(v);
  }
}

int32_t clipped(int16_t v) { return std::clamp<int32_t>(v, 0, kNetActivationOne); }

int32_t plainOutput(const int16_t* us, const int16_t* them, const int16_t* weights, int hidden) {
  int32_t sum = 0;
  for (int i = 0; i < hidden; ++i) sum += clipped(us[i]) * weights[i] + clipped(them[i]) * weights[hidden + i];
  return sum;
}

const NetKernels kPlainKernels{"plain", plainUpdate, plainOutput};

uint32_t readWord(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
int16_t readHalf(const unsigned char* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

}  // namespace

const NetKernels& netPlainKernels() { return kPlainKernels; }

const NetKernels& netKernels() {
  static const NetKernels* const chosen = [] {
    if (const NetKernels* k = netAvx2Kernels()) return k;
    if (const NetKernels* k = netSse2Kernels()) return k;
    return &kPlainKernels;
  }();
  return *chosen;
}

bool parseNetBytes(const unsigned char* data, size_t size, NetWeights& net, std::string& error) {
  if (size < kNetHeaderBytes || std::memcmp(data, kNetFileMagic, 4) != 0) {
    error = size < kNetHeaderBytes ? "too short for a network file header" : "not a network file (wrong magic)";
    return false;
  }
  const uint32_t version = readWord(data + 4);
  const uint32_t inputs = readWord(data + 8);
  const uint32_t hidden = readWord(data + 12);
  if (version != kNetFileVersion) {
    error = "network file version " + std::to_string(version) + ", expected " + std::to_string(kNetFileVersion);
    return false;
  }
  if (inputs != kNetInputs || hidden == 0 || hidden > kNetMaxHidden || hidden % kNetHiddenStep != 0) {
    error = "network shape " + std::to_string(inputs) + "x" + std::to_string(hidden) + " not supported (inputs " +
            std::to_string(kNetInputs) + ", hidden a multiple of " + std::to_string(kNetHiddenStep) + " up to " +
            std::to_string(kNetMaxHidden) + ")";
    return false;
  }
  const int h = static_cast<int>(hidden);
  if (size != netFileBytes(h)) {
    error = "network file has " + std::to_string(size) + " bytes, its shape needs " + std::to_string(netFileBytes(h));
    return false;
  }
  net = NetWeights{};
  net.hidden = h;
  const unsigned char* p = data + kNetHeaderBytes;
  for (int f = 0; f < kNetInputs; ++f) {
    for (int i = 0; i < h; ++i, p += 2) net.input[f][i] = readHalf(p);
  }
  for (int i = 0; i < h; ++i, p += 2) net.inputBias[i] = readHalf(p);
  for (int i = 0; i < 2 * h; ++i, p += 2) net.output[i] = readHalf(p);
  net.outputBias = static_cast<int32_t>(readWord(p));
  return true;
}

bool loadNetFile(const std::string& path, NetWeights& net, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open network file " + path;
    return false;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!parseNetBytes(bytes.data(), bytes.size(), net, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

const NetWeights& defaultNet() {
  static const NetWeights* const net = [] {
    static NetWeights parsed;
    std::string error;
    if (!parseNetBytes(kDefaultNetBytes, kDefaultNetByteCount, parsed, error)) parsed.hidden = 0;
    return &parsed;
  }();
  return *net;
}

void netRefresh(const NetWeights& net, const Occupancy& occ, NetAccumulator& acc) {
  for (Side perspective : {kBlack, kWhite}) {
    int16_t* sums = acc.sums[netPerspectiveIndex(perspective)];
    for (int i = 0; i < kNetMaxHidden; ++i) sums[i] = i < net.hidden ? net.inputBias[i] : 0;
    for (Side pieceSide : {kBlack, kWhite}) {
      for (CellMask m = occ.of(pieceSide); m != 0; m &= m - 1) {
        const int16_t* row = net.input[netInput(perspective, pieceSide, lowestCell(m))];
        for (int i = 0; i < net.hidden; ++i) sums[i] = static_cast<int16_t>(sums[i] + row[i]);
      }
    }
  }
}

void netAfterMove(const NetWeights& net, const NetKernels& kernels, const NetAccumulator& before,
                  NetAccumulator& after, Side mover, int from, int to, bool capture) {
  const Side other = opponent(mover);
  for (Side perspective : {kBlack, kWhite}) {
    const int p = netPerspectiveIndex(perspective);
    const int16_t* taken = capture ? net.input[netInput(perspective, other, to)] : nullptr;
    kernels.update(before.sums[p], after.sums[p], net.input[netInput(perspective, mover, to)],
                   net.input[netInput(perspective, mover, from)], taken, net.hidden);
  }
}

int32_t netScore(const NetWeights& net, const NetKernels& kernels, const NetAccumulator& acc, Side side) {
  const int32_t sum = kernels.output(acc.sums[netPerspectiveIndex(side)], acc.sums[netPerspectiveIndex(opponent(side))],
                                     net.output, net.hidden);
  return (sum + net.outputBias) / (kNetActivationOne * kNetOutputOne);
}

int32_t netEvaluate(const NetWeights& net, const Occupancy& occ, Side side) {
  NetAccumulator acc;
  netRefresh(net, occ, acc);
  return netScore(net, netPlainKernels(), acc, side);
}

}  // namespace tovrane
