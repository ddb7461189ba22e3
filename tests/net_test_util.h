#pragma once
// A network of random weights in the ranges a trained one has (first-layer
// weights large enough that sums often leave 0..1 on both sides, so the
// clipping is exercised), and its file form.

#include <random>
#include <string>

#include "eval/net_eval.h"

namespace tovrane::test {

inline void randomNet(std::mt19937& rng, int hidden, NetWeights& net) {
  net = NetWeights{};
  net.hidden = hidden;
  std::uniform_int_distribution<int> first(-300, 300);
  std::uniform_int_distribution<int> second(-20000, 20000);
  for (auto& row : net.input) {
    for (int i = 0; i < hidden; ++i) row[i] = static_cast<int16_t>(first(rng));
  }
  for (int i = 0; i < hidden; ++i) net.inputBias[i] = static_cast<int16_t>(first(rng));
  for (int i = 0; i < 2 * hidden; ++i) net.output[i] = static_cast<int16_t>(second(rng));
  net.outputBias = second(rng) * 100;
}

// The bytes of a network file holding net.
inline std::string netFileBytesOf(const NetWeights& net) {
  std::string bytes(kNetFileMagic, 4);
  const auto word = [&bytes](uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
  };
  const auto half = [&bytes](int16_t v) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(v) & 0xFF));
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(v) >> 8));
  };
  word(kNetFileVersion);
  word(kNetInputs);
  word(static_cast<uint32_t>(net.hidden));
  for (const auto& row : net.input) {
    for (int i = 0; i < net.hidden; ++i) half(row[i]);
  }
  for (int i = 0; i < net.hidden; ++i) half(net.inputBias[i]);
  for (int i = 0; i < 2 * net.hidden; ++i) half(net.output[i]);
  word(static_cast<uint32_t>(net.outputBias));
  return bytes;
}

}  // namespace tovrane::test
